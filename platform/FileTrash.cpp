// The freedesktop trash: the home trash for files on the home volume, else
// $topdir/.Trash/$uid (a shared, sticky .Trash) or $topdir/.Trash-$uid on
// the file's own volume. A file never leaves its volume on the way to the
// trash, so trashing is one rename.

#include "platform/FileOps.h"

#include "platform/FaultPoints.h"
#include "platform/FileOpsPrivate.h"
#include "platform/UserFolders.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sorrelby::fileops {

using namespace detail;

namespace {

struct TrashLocation {
    QString folder; // holds files/ and info/
    QString topDir; // empty for the home trash (absolute paths in info files)
};

// The mount point of the volume holding `path`: the highest folder above it
// on the same device.
QString volumeTop(const QString &absolutePath, dev_t device)
{
    QString current = QFileInfo(absolutePath).path();
    while (current != QLatin1String("/")) {
        const QString parent = QFileInfo(current).path();
        struct stat st { };
        if (::stat(nativePath(parent).constData(), &st) != 0 || st.st_dev != device)
            break;
        current = parent;
    }
    return current;
}

// Makes a private folder, or accepts an existing real folder of ours.
int makePrivateFolder(const QString &path)
{
    const QByteArray native = nativePath(path);
    if (::mkdir(native.constData(), 0700) == 0) {
        faults::after("mkdir", native);
        return 0;
    }
    if (errno != EEXIST)
        return errno;
    struct stat st { };
    if (::lstat(native.constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return EPERM;
    return 0;
}

std::vector<TrashLocation> trashLocations(const QString &absolutePath, dev_t device)
{
    const QString dataHome = userfolders::dataHome();
    // Without the data folder the trash cannot be made at all; create it first.
    createFolder(dataHome);
    struct stat home { };
    if (::stat(nativePath(dataHome).constData(), &home) == 0 && home.st_dev == device)
        return {{dataHome + QStringLiteral("/Trash"), {}}};

    const QString top = volumeTop(absolutePath, device);
    const QString prefix = top == QLatin1String("/") ? QString() : top;
    const QString uid = QString::number(::getuid());
    std::vector<TrashLocation> locations;
    // A shared .Trash counts only when it is a real, sticky folder.
    struct stat shared { };
    const QString sharedTrash = prefix + QStringLiteral("/.Trash");
    if (::lstat(nativePath(sharedTrash).constData(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX))
        locations.push_back({sharedTrash + QLatin1Char('/') + uid, top});
    locations.push_back({prefix + QStringLiteral("/.Trash-") + uid, top});
    return locations;
}

QString candidateName(const QFileInfo &file, int attempt)
{
    if (attempt == 1)
        return file.fileName();
    const QString suffix = file.suffix();
    const QString base = suffix.isEmpty() ? file.fileName() : file.completeBaseName();
    return base + QLatin1Char('.') + QString::number(attempt) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

QByteArray trashInfo(const QString &absolutePath, const QString &topDir)
{
    QString recorded = absolutePath;
    if (!topDir.isEmpty())
        recorded = topDir == QLatin1String("/") ? absolutePath.mid(1) : absolutePath.mid(topDir.size() + 1);
    return QByteArrayLiteral("[Trash Info]\nPath=") + QUrl::toPercentEncoding(recorded, "/") + QByteArrayLiteral("\nDeletionDate=")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '\n';
}

// Takes the info file for a name in the trash: a new one (created
// exclusively, as the trash convention asks), or the orphan that a process
// killed between writing it and moving its file left behind. The descriptor
// stays locked until the file is in files/, so that nobody takes the info file
// for an orphan meanwhile. -EEXIST when the name is in use.
int claimInfoFile(const QByteArray &infoPath, const QByteArray &trashedFile)
{
    int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::flock(fd, LOCK_EX);
        faults::after("create", infoPath);
        return fd;
    }
    if (errno != EEXIST)
        return -errno;
    struct stat st { };
    if (::lstat(trashedFile.constData(), &st) == 0 || errno != ENOENT)
        return -EEXIST;
    fd = ::open(infoPath.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -EEXIST;
    // Looked at again under the lock: a trashing that just ended has its file
    // in place now.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::lstat(trashedFile.constData(), &st) == 0 || errno != ENOENT || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -EEXIST;
    }
    logOp(u"FileOps", u"moveToTrash", QString(QLatin1String("reusing the orphaned ") + QFile::decodeName(infoPath)));
    return fd;
}

// Reserves a name with its info file, then renames the file under files/.
int trashInto(const TrashLocation &location, const QString &absolutePath, QString &trashedPath)
{
    for (const QString &folder :
         QStringList{location.folder, location.folder + QStringLiteral("/files"), location.folder + QStringLiteral("/info")}) {
        if (const int error = makePrivateFolder(folder))
            return error;
    }
    const QFileInfo file(absolutePath);
    const QByteArray info = trashInfo(absolutePath, location.topDir);
    for (int attempt = 1; attempt < 10000; ++attempt) {
        const QString name = candidateName(file, attempt);
        const QByteArray infoPath = nativePath(location.folder + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        const QString target = location.folder + QStringLiteral("/files/") + name;
        const int fd = claimInfoFile(infoPath, nativePath(target));
        if (fd == -EEXIST)
            continue;
        if (fd < 0)
            return -fd;
        const bool written = ::write(fd, info.constData(), size_t(info.size())) == ssize_t(info.size());
        const int writeError = errno;
        if (!written) {
            ::unlink(infoPath.constData());
            ::close(fd);
            return writeError ? writeError : EIO;
        }
        faults::after("write", infoPath);
        killIfAt(KillPoint::TrashInfoWritten);
        const int error = renameNoReplace(nativePath(absolutePath), nativePath(target));
        if (error != 0)
            ::unlink(infoPath.constData()); // still locked: nobody else uses it
        ::close(fd);
        if (error == 0) {
            trashedPath = target;
            return 0;
        }
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

} // namespace

FileResult moveToTrash(const QString &path, QString *trashedPath)
{
    const QString context = QLatin1String("Could not move ") + quoted(path) + QLatin1String(" to the trash");
    if (path.isEmpty())
        return FileResult::fromErrno(ENOENT, context);
    // The folder is resolved (a linked folder may lead to another volume), the
    // name is not: a symbolic link goes to the trash itself.
    QString absolutePath = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QFileInfo file(absolutePath);
    const QString folder = QFileInfo(file.path()).canonicalFilePath();
    if (!folder.isEmpty())
        absolutePath = (folder == QLatin1String("/") ? QString() : folder) + QLatin1Char('/') + file.fileName();
    struct stat st { };
    if (::lstat(nativePath(absolutePath).constData(), &st) != 0)
        return FileResult::fromErrno(errno, context);
    if (const int injected = faults::before())
        return FileResult::fromErrno(injected, context);

    int error = ENOENT;
    for (const TrashLocation &location : trashLocations(absolutePath, st.st_dev)) {
        QString trashed;
        error = trashInto(location, absolutePath, trashed);
        if (error == 0) {
            if (trashedPath)
                *trashedPath = trashed;
            return FileResult::success();
        }
    }
    return FileResult::fromErrno(error, context);
}

} // namespace sorrelby::fileops
