#include "platform/VolumeMonitor.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <algorithm>
#include <fcntl.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace sorrelby {

namespace {

const QString kClass = QStringLiteral("VolumeMonitor");

void note(QStringView operation, const QString &detail)
{
    logOp(kClass, operation, detail);
}

QString trueFalse(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// "sdb1" -> "sdb"; the disk itself when it is one.
QString diskOfBlockDevice(const QString &name)
{
    const QString partition = QStringLiteral("/sys/class/block/") + name;
    if (QFileInfo::exists(partition + QStringLiteral("/partition")))
        return QFileInfo(QFileInfo(partition).canonicalFilePath()).dir().dirName();
    return name;
}

bool isRemovableDevice(const QString &source)
{
    if (!source.startsWith(QLatin1String("/dev/")))
        return false;
    const QString device = QFileInfo(source).canonicalFilePath();
    const QString disk = diskOfBlockDevice(QFileInfo(device.isEmpty() ? source : device).fileName());
    QFile flag(QStringLiteral("/sys/block/") + disk + QStringLiteral("/removable"));
    return flag.open(QIODevice::ReadOnly) && flag.readAll().trimmed() == "1";
}

// Runs a program with arguments (never a shell line); true on exit status 0.
bool runTool(const QString &program, const QStringList &args, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(1000);
        *output = QStringLiteral("did not finish");
        return false;
    }
    *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

QMap<QString, QString> FileSystemInfo::toMap() const
{
    return {{QStringLiteral("volumepath"), volumePath},
            {QStringLiteral("description"), description},
            {QStringLiteral("type"), type},
            {QStringLiteral("isRemovable"), trueFalse(isRemovable)},
            {QStringLiteral("isWritable"), trueFalse(isWritable)},
            {QStringLiteral("isUnmountable"), trueFalse(isUnmountable)}};
}

bool isSystemMountPoint(const QString &mountPoint)
{
    static const QStringList exact
        = {QStringLiteral("/"),     QStringLiteral("/boot"), QStringLiteral("/boot/efi"), QStringLiteral("/usr"), QStringLiteral("/var"),
           QStringLiteral("/home"), QStringLiteral("/opt"),  QStringLiteral("/srv"),      QStringLiteral("/tmp"), QStringLiteral("/etc")};
    static const QStringList trees = {QStringLiteral("/proc"), QStringLiteral("/sys"),     QStringLiteral("/dev"),
                                      QStringLiteral("/run"),  QStringLiteral("/var/lib"), QStringLiteral("/snap")};
    if (exact.contains(mountPoint))
        return true;
    // /run/media holds removable volumes, the rest of /run belongs to the system.
    if (isInsideFolder(mountPoint, QStringLiteral("/run/media")))
        return false;
    return std::any_of(trees.begin(), trees.end(), [&](const QString &tree) { return isInsideFolder(mountPoint, tree); });
}

// ---------------------------------------------------------------------------

QStringList MountTableVolumeMonitor::defaultRoots()
{
    // Services, cron and some terminals set no USER: the account's own name
    // comes from the password database.
    QString user;
    std::vector<char> buffer(16384);
    struct passwd entry { };
    struct passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        user = QFile::decodeName(found->pw_name);
    if (user.isEmpty())
        user = qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME"));
    QStringList roots;
    if (!user.isEmpty())
        roots << QStringLiteral("/media/") + user << QStringLiteral("/run/media/") + user;
    roots << QStringLiteral("/media");
    return roots;
}

MountTableVolumeMonitor::MountTableVolumeMonitor(QStringList roots, QObject *parent)
    : VolumeMonitor(parent)
{
    for (const QString &root : roots)
        m_roots.append(QDir::cleanPath(root));
    m_volumes = volumesIn(readMountTable());
    // The kernel marks the open table exceptional (POLLPRI) when it changes.
    m_fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        note(u"MountTableVolumeMonitor", QStringLiteral("cannot watch /proc/self/mountinfo; no mount events"));
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { reread(); });
}

MountTableVolumeMonitor::~MountTableVolumeMonitor()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

QSet<QString> MountTableVolumeMonitor::volumesIn(const QList<MountEntry> &entries) const
{
    QSet<QString> volumes;
    for (const MountEntry &entry : entries) {
        if (m_roots.contains(QFileInfo(entry.mountPoint).path()))
            volumes.insert(entry.mountPoint);
    }
    return volumes;
}

void MountTableVolumeMonitor::reread()
{
    // The change is acknowledged by reading the table from its start.
    if (m_fd >= 0) {
        ::lseek(m_fd, 0, SEEK_SET);
        char buffer[4096];
        while (::read(m_fd, buffer, sizeof buffer) > 0) { }
    }
    const QSet<QString> now = volumesIn(readMountTable());
    const QSet<QString> before = std::exchange(m_volumes, now);
    QStringList gone(before.begin(), before.end());
    QStringList added(now.begin(), now.end());
    gone.removeIf([&](const QString &v) { return now.contains(v); });
    added.removeIf([&](const QString &v) { return before.contains(v); });
    std::sort(gone.begin(), gone.end());
    std::sort(added.begin(), added.end());
    for (const QString &volume : gone) {
        note(u"volumeDidUnmount", volume);
        Q_EMIT volumeDidUnmount(volume);
    }
    for (const QString &volume : added) {
        note(u"volumeDidMount", volume);
        Q_EMIT volumeDidMount(volume);
    }
}

QStringList MountTableVolumeMonitor::mountedVolumes() const
{
    const QSet<QString> volumes = volumesIn(readMountTable());
    QStringList result;
    for (const QString &root : m_roots) {
        QStringList inRoot;
        for (const QString &volume : volumes) {
            if (QFileInfo(volume).path() == root)
                inRoot.append(volume);
        }
        std::sort(inRoot.begin(), inRoot.end());
        result += inRoot;
    }
    return result;
}

std::optional<FileSystemInfo> MountTableVolumeMonitor::fileSystemInfo(const QString &path) const
{
    struct statvfs st { };
    if (::statvfs(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const std::optional<MountEntry> entry = mountEntryFor(readMountTable(), absolute);
    FileSystemInfo info;
    info.volumePath = path;
    if (entry) {
        info.type = entry->type;
        info.description = entry->type + QStringLiteral(" on ") + entry->source;
        info.isRemovable = isRemovableDevice(entry->source);
        info.isUnmountable = !isSystemMountPoint(entry->mountPoint);
    }
    info.isWritable = !(st.f_flag & ST_RDONLY) && (!entry || !entry->readOnly);
    return info;
}

bool MountTableVolumeMonitor::unmountAndEject(const QString &volumePath)
{
    const QString path = QDir::cleanPath(volumePath);
    const std::optional<MountEntry> entry = mountEntryFor(readMountTable(), path);
    if (!entry || entry->mountPoint != path) {
        note(u"unmountAndEject", QStringLiteral("not mounted: ") + path);
        return false;
    }
    QString output;
    const QString udisks = QStandardPaths::findExecutable(QStringLiteral("udisksctl"));
    bool unmounted = false;
    if (!udisks.isEmpty() && entry->source.startsWith(QLatin1String("/dev/"))) {
        unmounted = runTool(
            udisks, {QStringLiteral("unmount"), QStringLiteral("--no-user-interaction"), QStringLiteral("-b"), entry->source}, &output);
        note(u"unmountAndEject",
             QStringLiteral("udisksctl unmount ") + entry->source + QStringLiteral(": ") + (unmounted ? QStringLiteral("done") : output));
        if (unmounted) {
            // The drive may refuse to power off (a loop device, a built-in reader); the volume is safe to pull anyway.
            const bool off = runTool(
                udisks, {QStringLiteral("power-off"), QStringLiteral("--no-user-interaction"), QStringLiteral("-b"), entry->source},
                &output);
            note(u"unmountAndEject", QStringLiteral("udisksctl power-off: ") + (off ? QStringLiteral("done") : output));
        }
    }
    if (!unmounted) {
        unmounted = runTool(QStringLiteral("umount"), {path}, &output);
        note(u"unmountAndEject", QStringLiteral("umount ") + path + QStringLiteral(": ") + (unmounted ? QStringLiteral("done") : output));
    }
    return unmounted;
}

// ---------------------------------------------------------------------------

FakeVolumeMonitor::FakeVolumeMonitor(QString root, QObject *parent)
    : VolumeMonitor(parent)
    , m_root(QDir::cleanPath(root))
{ }

QStringList FakeVolumeMonitor::mountedVolumes() const
{
    std::lock_guard lock(m_mutex);
    QStringList volumes(m_mounted.begin(), m_mounted.end());
    std::sort(volumes.begin(), volumes.end());
    return volumes;
}

std::optional<FileSystemInfo> FakeVolumeMonitor::fileSystemInfo(const QString &path) const
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    FileSystemInfo info;
    info.volumePath = path;
    info.isWritable = true;
    for (const QString &volume : m_mounted) {
        if (isInsideFolder(QDir::cleanPath(path), volume)) {
            info.type = QStringLiteral("vfat");
            info.description = QStringLiteral("vfat on a folder standing for a card");
            info.isRemovable = true;
            info.isUnmountable = true;
        }
    }
    return info;
}

bool FakeVolumeMonitor::unmountAndEject(const QString &volumePath)
{
    const QString path = QDir::cleanPath(volumePath);
    {
        std::lock_guard lock(m_mutex);
        m_ejected.append(path);
        if (m_ejectFails || !m_mounted.contains(path))
            return false;
        m_mounted.remove(path);
    }
    QMetaObject::invokeMethod(
        this, [this, path] { Q_EMIT volumeDidUnmount(path); }, Qt::QueuedConnection);
    return true;
}

QString FakeVolumeMonitor::mount(const QString &name, bool announce)
{
    const QString path = m_root + QLatin1Char('/') + name;
    QDir().mkpath(path);
    {
        std::lock_guard lock(m_mutex);
        m_mounted.insert(path);
    }
    if (announce)
        Q_EMIT volumeDidMount(path);
    return path;
}

QStringList FakeVolumeMonitor::ejected() const
{
    std::lock_guard lock(m_mutex);
    return m_ejected;
}

} // namespace sorrelby
