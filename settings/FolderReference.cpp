#include "settings/FolderReference.h"

#include "platform/Log.h"
#include "platform/MountTable.h"
#include "platform/UserFolders.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("MyBookmarkDataKit");

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

const QString cKind = QStringLiteral("sorrelby-folder-reference");
constexpr int cVersion = 1;
// Directories listed at most while looking for a moved item, so a lost
// folder on a huge volume costs a bounded time.
constexpr int cSearchBudget = 5000;

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// What identifies one item on one file system.
struct Identity {
    quint64 inode = 0;
    quint64 device = 0;
    QString fsid;      // statfs f_fsid in hex; "" when the file system gives none
    QString birthTime; // "sec.nsec"; "" where the file system keeps none
    bool isDirectory = false;
};

QString fsidOf(const QString &path)
{
    struct statfs fs { };
    if (::statfs(native(path).constData(), &fs) != 0)
        return {};
    unsigned int parts[2];
    static_assert(sizeof(parts) == sizeof(fs.f_fsid));
    std::memcpy(parts, &fs.f_fsid, sizeof(parts));
    if (parts[0] == 0 && parts[1] == 0)
        return {};
    return QStringLiteral("%1%2").arg(parts[0], 8, 16, QLatin1Char('0')).arg(parts[1], 8, 16, QLatin1Char('0'));
}

std::optional<Identity> identityOf(const QString &path)
{
    struct statx sx { };
    if (::statx(AT_FDCWD, native(path).constData(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return std::nullopt;
    Identity id;
    id.inode = sx.stx_ino;
    id.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    id.isDirectory = S_ISDIR(sx.stx_mode);
    if (sx.stx_mask & STATX_BTIME)
        id.birthTime = QStringLiteral("%1.%2").arg(sx.stx_btime.tv_sec).arg(sx.stx_btime.tv_nsec);
    id.fsid = fsidOf(path);
    return id;
}

// The mount that holds the canonical path (the deepest mount point above it).
MountEntry mountOf(const QString &canonicalPath, const QList<MountEntry> &mounts)
{
    MountEntry root;
    root.mountPoint = QStringLiteral("/");
    return mountEntryFor(mounts, canonicalPath).value_or(root);
}

bool isNetworkType(const QString &type)
{
    static const QStringList network = {
        QStringLiteral("nfs"),
        QStringLiteral("nfs4"),
        QStringLiteral("cifs"),
        QStringLiteral("smb3"),
        QStringLiteral("smbfs"),
        QStringLiteral("afpfs"),
        QStringLiteral("ncpfs"),
        QStringLiteral("9p"),
        QStringLiteral("ceph"),
        QStringLiteral("glusterfs"),
        QStringLiteral("afs"),
        QStringLiteral("coda"),
        QStringLiteral("lustre"),
        QStringLiteral("davfs"),
        QStringLiteral("fuse.sshfs"),
        QStringLiteral("fuse.afpfs"),
        QStringLiteral("fuse.glusterfs"),
        QStringLiteral("fuse.davfs2"),
        QStringLiteral("fuse.s3fs"),
        QStringLiteral("fuse.rclone"),
    };
    return network.contains(type);
}

// smb://server/share for "//server/share", nfs://server/export for
// "server:/export"; empty for local volumes.
QString remountUrl(const MountEntry &m)
{
    const QString &src = m.source;
    if (m.type == QLatin1String("cifs") || m.type == QLatin1String("smb3") || m.type == QLatin1String("smbfs")) {
        QString rest = src;
        while (rest.startsWith(QLatin1Char('/')) || rest.startsWith(QLatin1Char('\\')))
            rest.remove(0, 1);
        return QStringLiteral("smb://") + rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    if (m.type == QLatin1String("afpfs") || m.type == QLatin1String("fuse.afpfs"))
        return src.startsWith(QLatin1String("afp://"))
            ? src
            : QStringLiteral("afp://") + QString(src).replace(QLatin1String(":/"), QLatin1String("/"));
    if (m.type.startsWith(QLatin1String("nfs")))
        return QStringLiteral("nfs://") + QString(src).replace(QLatin1String(":/"), QLatin1String("/"));
    if (m.type == QLatin1String("fuse.sshfs"))
        return QStringLiteral("sftp://") + QString(src).replace(QLatin1String(":/"), QLatin1String("/"));
    if (isNetworkType(m.type))
        return src.contains(QLatin1String("://")) ? src : QString();
    return {};
}

QString readSysFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
}

// Removable and USB-attached disks count as ejectable, not internal.
void blockDeviceFacts(quint64 device, bool *removable, bool *external)
{
    *removable = false;
    *external = false;
    const QString sys = QFileInfo(QStringLiteral("/sys/dev/block/%1:%2").arg(major(device)).arg(minor(device))).canonicalFilePath();
    if (sys.isEmpty())
        return;
    QString disk = sys;
    if (QFileInfo::exists(sys + QStringLiteral("/partition")))
        disk = QFileInfo(sys).path();
    *removable = readSysFile(disk + QStringLiteral("/removable")) == QLatin1String("1");
    *external = *removable || disk.contains(QLatin1String("/usb"));
}

// The UUID and label links under /dev/disk that point at the source device.
std::pair<QString, QString> uuidAndLabel(const QString &source)
{
    std::pair<QString, QString> result;
    if (!source.startsWith(QLatin1String("/dev/")))
        return result;
    const QString device = QFileInfo(source).canonicalFilePath();
    auto find = [&](const QString &folder) {
        const QFileInfoList links = QDir(folder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        for (const QFileInfo &link : links) {
            if (link.canonicalFilePath() == device)
                return link.fileName();
        }
        return QString();
    };
    result.first = find(QStringLiteral("/dev/disk/by-uuid"));
    result.second = find(QStringLiteral("/dev/disk/by-label"));
    return result;
}

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// The parsed reference.
struct Record {
    QString path;
    quint64 inode = 0;
    quint64 device = 0;
    QString fsid;
    QString birthTime;
    QString mountPoint;
    QString source;
    QString volumeUUID;
    bool isDirectory = false;
    QJsonObject resources;
};

std::optional<Record> parse(const QByteArray &data)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    if (o.value(QLatin1String("kind")).toString() != cKind)
        return std::nullopt;
    Record r;
    r.path = o.value(QLatin1String("path")).toString();
    bool inodeOk = false;
    r.inode = o.value(QLatin1String("inode")).toString().toULongLong(&inodeOk);
    r.device = o.value(QLatin1String("device")).toString().toULongLong();
    r.fsid = o.value(QLatin1String("fsid")).toString();
    r.birthTime = o.value(QLatin1String("birthTime")).toString();
    r.mountPoint = o.value(QLatin1String("mountPoint")).toString();
    r.source = o.value(QLatin1String("source")).toString();
    r.volumeUUID = o.value(QLatin1String("volumeUUID")).toString();
    r.resources = o.value(QLatin1String("resources")).toObject();
    r.isDirectory = r.resources.value(QLatin1String("isDirectory")).toBool();
    if (r.path.isEmpty() || !inodeOk)
        return std::nullopt;
    return r;
}

// Whether the item at path is the recorded one. An inode can be reused once
// its item is gone, so the birth time must agree where both sides have one,
// and without birth times the name or the parent folder must still agree.
bool isRecordedItem(const QString &path, const Record &r)
{
    const auto id = identityOf(path);
    if (!id || id->inode != r.inode || id->isDirectory != r.isDirectory)
        return false;
    const bool sameFs = (!r.fsid.isEmpty() && id->fsid == r.fsid) || id->device == r.device;
    if (!sameFs)
        return false;
    if (!r.birthTime.isEmpty() && !id->birthTime.isEmpty())
        return r.birthTime == id->birthTime;
    const QFileInfo now(path), then(r.path);
    return now.fileName() == then.fileName() || now.absolutePath() == then.absolutePath();
}

// Looks for the recorded inode below root without leaving root's file
// system: first the given folders' own entries, then breadth first from
// each starting folder, nearest first.
class InodeSearch {
public:
    InodeSearch(const Record &r, quint64 device)
        : m_record(r)
        , m_device(device)
    { }

    // Checks the entries of one folder.
    std::optional<QString> scanEntries(const QString &folder) { return list(folder, nullptr); }

    std::optional<QString> breadthFirst(const QString &start)
    {
        std::deque<QString> queue{start};
        while (!queue.empty() && m_budget > 0) {
            const QString folder = queue.front();
            queue.pop_front();
            std::vector<QString> children;
            if (auto found = list(folder, &children))
                return found;
            for (QString &child : children)
                queue.push_back(std::move(child));
        }
        return std::nullopt;
    }

private:
    // Lists folder once; with subfolders it also hands out the folders below
    // it, once per search (a subtree already walked is not walked again).
    std::optional<QString> list(const QString &folder, std::vector<QString> *subfolders)
    {
        struct stat st { };
        if (::stat(native(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != m_device)
            return std::nullopt;
        if (m_expanded.count(st.st_ino) || (!subfolders && m_scanned.count(st.st_ino)))
            return std::nullopt;
        (subfolders ? m_expanded : m_scanned).insert(st.st_ino);
        --m_budget;
        DIR *dir = ::opendir(native(folder).constData());
        if (!dir)
            return std::nullopt;
        std::optional<QString> found;
        const QString prefix = folder == QLatin1String("/") ? folder : folder + QLatin1Char('/');
        while (struct dirent *e = ::readdir(dir)) {
            const char *name = e->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            const QString child = prefix + QFile::decodeName(name);
            if (quint64(e->d_ino) == m_record.inode && isRecordedItem(child, m_record)) {
                found = child;
                break;
            }
            if (!subfolders)
                continue;
            bool isDir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN) {
                struct stat cst { };
                isDir = ::lstat(native(child).constData(), &cst) == 0 && S_ISDIR(cst.st_mode);
            }
            if (isDir)
                subfolders->push_back(child);
        }
        ::closedir(dir);
        return found;
    }

    const Record &m_record;
    quint64 m_device;
    int m_budget = cSearchBudget;
    std::set<quint64> m_scanned;
    std::set<quint64> m_expanded;
};

// The nearest folder at or above path that exists.
QString existingAncestor(QString path)
{
    while (!path.isEmpty() && path != QLatin1String("/") && !QFileInfo(path).isDir())
        path = QFileInfo(path).path();
    return path.isEmpty() ? QStringLiteral("/") : path;
}

// Where the recorded volume is mounted now: its recorded mount point when
// that still carries the same file system, else another mount point of the
// same file system (a volume mounted again under another name).
std::optional<QString> currentMountPoint(const Record &r)
{
    if (!r.fsid.isEmpty() && fsidOf(r.mountPoint) == r.fsid)
        return r.mountPoint;
    if (r.fsid.isEmpty()) {
        if (const auto id = identityOf(r.mountPoint); id && id->device == r.device)
            return r.mountPoint;
    }
    const QString type = r.resources.value(QLatin1String("volumeLocalizedFormatDescription")).toString();
    const QString uuidDevice
        = r.volumeUUID.isEmpty() ? QString() : QFileInfo(QStringLiteral("/dev/disk/by-uuid/") + r.volumeUUID).canonicalFilePath();
    for (const MountEntry &m : readMountTable()) {
        if (m.type != type)
            continue;
        if (!uuidDevice.isEmpty() && QFileInfo(m.source).canonicalFilePath() == uuidDevice)
            return m.mountPoint;
        // Network mounts are asked only when they are the same share: a stat
        // of an unrelated, dead network mount could hang.
        if (isNetworkType(type) && m.source != r.source)
            continue;
        if (!r.fsid.isEmpty() && fsidOf(m.mountPoint) == r.fsid)
            return m.mountPoint;
    }
    return std::nullopt;
}

std::optional<QString> searchVolume(const Record &r, const QString &mountPoint, const QString &pathOnVolume)
{
    struct stat st { };
    if (::stat(native(mountPoint).constData(), &st) != 0)
        return std::nullopt;
    InodeSearch search(r, st.st_dev);
    // Renamed in place.
    const QString parent = QFileInfo(pathOnVolume).path();
    if (auto found = search.scanEntries(parent))
        return found;
    // Thrown away: the trashes of this volume.
    const QString uid = QString::number(::getuid());
    const QStringList trashes = {
        userfolders::dataHome() + QStringLiteral("/Trash/files"),
        mountPoint + QStringLiteral("/.Trash-") + uid + QStringLiteral("/files"),
        mountPoint + QStringLiteral("/.Trash/") + uid + QStringLiteral("/files"),
    };
    for (const QString &trash : trashes) {
        if (auto found = search.scanEntries(trash))
            return found;
    }
    // Moved elsewhere on the volume: widen the search one level at a time,
    // up to the volume's root, or the home folder for a folder inside it
    // (folders are moved about within the home folder, and the system's own
    // folders above it are many).
    const QString home = QDir::cleanPath(userfolders::home());
    const QString ceiling = isInsideFolder(pathOnVolume, home) && isInsideFolder(home, mountPoint) ? home : mountPoint;
    QString start = existingAncestor(parent);
    for (;;) {
        if (!isInsideFolder(start, ceiling))
            break;
        if (auto found = search.breadthFirst(start))
            return found;
        if (start == ceiling || start == QLatin1String("/"))
            break;
        start = QFileInfo(start).path();
    }
    return std::nullopt;
}

} // namespace

const QStringList &MyBookmarkDataKit::resourceKeys()
{
    static const QStringList keys = {
        QStringLiteral("volumeIsLocal"),
        QStringLiteral("volumeIsInternal"),
        QStringLiteral("volumeIsEjectable"),
        QStringLiteral("volumeIsAutomounted"),
        QStringLiteral("volumeIsReadOnly"),
        QStringLiteral("volumeIsRemovable"),
        QStringLiteral("isMountTrigger"),
        QStringLiteral("volumeIdentifier"),
        QStringLiteral("volumeLocalizedFormatDescription"),
        QStringLiteral("volumeName"),
        QStringLiteral("volumeURLForRemounting"),
        QStringLiteral("volumeURL"),
        QStringLiteral("parentDirectoryURL"),
        QStringLiteral("isDirectory"),
        QStringLiteral("name"),
        QStringLiteral("localizedName"),
    };
    return keys;
}

std::optional<QByteArray> MyBookmarkDataKit::bookmarkForURL(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const auto id = path.isEmpty() ? std::nullopt : identityOf(absolute);
    if (!id) {
        note(QStringLiteral("bookmarkForURL:"), QStringLiteral("WHAT - FAILED to create bookmark ???? path=[") + path + QLatin1Char(']'));
        return std::nullopt;
    }
    const QString canonical = QFileInfo(absolute).canonicalFilePath();
    const QList<MountEntry> mounts = readMountTable();
    const MountEntry mount = mountOf(canonical.isEmpty() ? absolute : canonical, mounts);
    const bool local = !isNetworkType(mount.type);
    bool removable = false, external = false;
    if (local)
        blockDeviceFacts(mount.device ? mount.device : id->device, &removable, &external);
    const auto [uuid, label] = uuidAndLabel(mount.source);
    struct statvfs vfs { };
    const bool readOnly = ::statvfs(native(absolute).constData(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY);
    const bool automounted
        = mount.mountPoint.startsWith(QLatin1String("/media/")) || mount.mountPoint.startsWith(QLatin1String("/run/media/"));
    const QString volumeName = !label.isEmpty()  ? label
        : mount.mountPoint == QLatin1String("/") ? QStringLiteral("/")
                                                 : QFileInfo(mount.mountPoint).fileName();
    const QFileInfo info(absolute);

    QJsonObject resources;
    resources.insert(QLatin1String("volumeIsLocal"), local);
    resources.insert(QLatin1String("volumeIsInternal"), local && !external);
    resources.insert(QLatin1String("volumeIsEjectable"), external);
    resources.insert(QLatin1String("volumeIsAutomounted"), automounted);
    resources.insert(QLatin1String("volumeIsReadOnly"), readOnly);
    resources.insert(QLatin1String("volumeIsRemovable"), removable);
    resources.insert(QLatin1String("isMountTrigger"), mount.type == QLatin1String("autofs"));
    resources.insert(QLatin1String("volumeIdentifier"), uuid.isEmpty() ? orNull(id->fsid) : QJsonValue(uuid));
    resources.insert(QLatin1String("volumeLocalizedFormatDescription"), mount.type);
    resources.insert(QLatin1String("volumeName"), volumeName);
    resources.insert(QLatin1String("volumeURLForRemounting"), orNull(remountUrl(mount)));
    resources.insert(QLatin1String("volumeURL"), QUrl::fromLocalFile(mount.mountPoint).toString());
    resources.insert(QLatin1String("parentDirectoryURL"), QUrl::fromLocalFile(info.path()).toString());
    resources.insert(QLatin1String("isDirectory"), id->isDirectory);
    resources.insert(QLatin1String("name"), info.fileName());
    resources.insert(QLatin1String("localizedName"), info.fileName());

    QJsonObject o;
    o.insert(QLatin1String("kind"), cKind);
    o.insert(QLatin1String("version"), cVersion);
    o.insert(QLatin1String("path"), absolute);
    // 64-bit numbers as text: JSON numbers are doubles.
    o.insert(QLatin1String("inode"), QString::number(id->inode));
    o.insert(QLatin1String("device"), QString::number(id->device));
    o.insert(QLatin1String("fsid"), id->fsid);
    o.insert(QLatin1String("birthTime"), orNull(id->birthTime));
    o.insert(QLatin1String("mountPoint"), mount.mountPoint);
    o.insert(QLatin1String("source"), mount.source);
    o.insert(QLatin1String("volumeUUID"), orNull(uuid));
    o.insert(QLatin1String("volumeLabel"), orNull(label));
    o.insert(QLatin1String("resources"), resources);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<QString> MyBookmarkDataKit::urlForBookmark(const QByteArray &data, bool *isStale)
{
    const QString op = QStringLiteral("urlForBookmark:isStale:");
    bool stale = false;
    std::optional<QString> result;
    const auto record = parse(data);
    if (!record) {
        note(op, QStringLiteral("bookmarkURL[(null)]\n==> ERROR occurred = the data is not a folder reference"));
    } else if (isRecordedItem(record->path, *record)) {
        result = record->path;
    } else {
        const Record &r = *record;
        if (const auto mountPoint = currentMountPoint(r)) {
            QString pathOnVolume = r.path;
            if (*mountPoint != r.mountPoint && isInsideFolder(r.path, r.mountPoint)) {
                const QString relative = r.path.mid(r.mountPoint == QLatin1String("/") ? 0 : r.mountPoint.size());
                pathOnVolume = QDir::cleanPath(*mountPoint + QLatin1Char('/') + relative);
            }
            if (pathOnVolume != r.path && isRecordedItem(pathOnVolume, r))
                result = pathOnVolume;
            else
                result = searchVolume(r, *mountPoint, pathOnVolume);
        }
        // The item itself is gone but something of its kind stands at its
        // path again (re-created there): that is the folder now.
        if (!result) {
            const QFileInfo there(r.path);
            if (there.exists() && there.isDir() == r.isDirectory)
                result = r.path;
        }
        stale = result.has_value();
        if (!result)
            note(op, QStringLiteral("bookmarkURL[") + r.path + QStringLiteral("]\n==> ERROR occurred = no such file or folder"));
    }
    if (stale)
        note(op, QStringLiteral("Bookmarkdata is stale - so we need to create new bookmarkdata..."));
    if (isStale)
        *isStale = stale;
    return result;
}

bool MyBookmarkDataKit::resolveAliasFromData(const QByteArray &data, QString *resolvedPath, bool *isStale)
{
    const QString op = QStringLiteral("resolveAliasFromData:resolvedPath:isStale:");
    bool stale = false;
    const auto url = urlForBookmark(data, &stale);
    if (isStale)
        *isStale = stale;
    if (!url) {
        note(op, QStringLiteral("Unable to resolve as bookmark data...."));
        return false;
    }
    if (isInTrash(*url)) {
        note(op, QStringLiteral("resolved into a trash, counts as not found: ") + *url);
        return false;
    }
    if (resolvedPath)
        *resolvedPath = *url;
    return true;
}

QVariant MyBookmarkDataKit::getResourceObjectForKey(const QString &key, const QByteArray &data)
{
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(data, &error).object();
    if (error.error != QJsonParseError::NoError || o.value(QLatin1String("kind")).toString() != cKind)
        return {};
    QJsonValue value = o.value(QLatin1String("resources")).toObject().value(key);
    if (value.isUndefined() && key != QLatin1String("resources"))
        value = o.value(key);
    if (value.isNull() || value.isUndefined())
        return {};
    return value.toVariant();
}

bool MyBookmarkDataKit::isLocal(bool *answer, const QByteArray &data)
{
    const QVariant value = getResourceObjectForKey(QStringLiteral("volumeIsLocal"), data);
    if (value.typeId() != QMetaType::Bool)
        return false;
    if (answer)
        *answer = value.toBool();
    return true;
}

namespace {

bool remountSchemeIs(bool *answer, const QByteArray &data, QLatin1StringView scheme)
{
    const QVariant value = MyBookmarkDataKit::getResourceObjectForKey(QStringLiteral("volumeURLForRemounting"), data);
    if (value.typeId() != QMetaType::QString)
        return false;
    if (answer)
        *answer = QUrl(value.toString()).scheme().compare(scheme, Qt::CaseInsensitive) == 0;
    return true;
}

} // namespace

bool MyBookmarkDataKit::isSMB(bool *answer, const QByteArray &data)
{
    return remountSchemeIs(answer, data, QLatin1StringView("smb"));
}

bool MyBookmarkDataKit::isAFP(bool *answer, const QByteArray &data)
{
    return remountSchemeIs(answer, data, QLatin1StringView("afp"));
}

bool MyBookmarkDataKit::savePath(const QString &path, const QString &key)
{
    const QString op = QStringLiteral("savePath:forKey:");
    if (path.isEmpty()) {
        note(op, QStringLiteral("path is NIL??????...."));
        return false;
    }
    const auto bookmark = bookmarkForURL(path);
    if (!bookmark) {
        note(op, QStringLiteral("WHAT - UNABLE to create bookmarkdata from url ???? [") + path + QLatin1Char(']'));
        return false;
    }
    Settings::shared().setValue(key, *bookmark);
    note(op, QStringLiteral("as BookmarkData withPath=[") + path + QStringLiteral("] forKey=[") + key + QLatin1Char(']'));
    return true;
}

QString MyBookmarkDataKit::fileSystemId(const QString &path)
{
    return fsidOf(path);
}

bool MyBookmarkDataKit::isInTrash(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    if (isInsideFolder(clean, QDir::cleanPath(userfolders::dataHome() + QStringLiteral("/Trash"))))
        return true;
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString lower = part.toLower();
        if (lower == QLatin1String(".trash") || lower == QLatin1String(".trashes") || lower.startsWith(QLatin1String(".trash-")))
            return true;
    }
    return false;
}

} // namespace sorrelby
