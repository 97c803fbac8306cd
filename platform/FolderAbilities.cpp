#include "platform/FolderAbilities.h"

#include "platform/FileOpsPrivate.h"
#include "platform/Log.h"
#include "platform/MountTable.h"

#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace sorrelby {

namespace {

// Refused character → stand-in. Full-width forms: visible, read as the
// character they stand for, and accepted by every file system above.
constexpr struct {
    char16_t refused;
    char16_t standIn;
} cStandIns[] = {
    {u':', u'\uFF1A'}, {u'\\', u'\uFF3C'}, {u'*', u'\uFF0A'}, {u'?', u'\uFF1F'},
    {u'"', u'\uFF02'}, {u'<', u'\uFF1C'},  {u'>', u'\uFF1E'}, {u'|', u'\uFF5C'},
};
constexpr char16_t cTrailingDot = u'\uFF0E';
constexpr char16_t cTrailingBlank = u'\u2423';

struct Cache {
    std::mutex mutex;
    QHash<QString, FolderAbilities> byFileSystem;
    bool standInsLogged = false;

    static Cache &shared()
    {
        static Cache *cache = new Cache; // outlives every thread that asks
        return *cache;
    }
};

bool unsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EPERM || error == EMLINK;
}

QByteArray probeName(const QByteArray &folder, const char *tail)
{
    return folder + "/.sorrelby-probe-" + QByteArray::number(::getpid()) + '-'
        + QByteArray::number(QRandomGenerator::global()->generate(), 36) + tail;
}

// A few hidden files made and removed at once; nothing else in the folder is
// touched.
void probe(FolderAbilities &a, const QByteArray &folder)
{
    const QByteArray first = probeName(folder, "a");
    const int fd = ::open(first.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    ::close(fd);
    a.probed = true;
    QByteArray current = first;
    const QByteArray renamed = probeName(folder, "b");
    if (::syscall(SYS_renameat2, AT_FDCWD, current.constData(), AT_FDCWD, renamed.constData(), RENAME_NOREPLACE) == 0)
        current = renamed;
    else
        a.renameNoReplace = !(errno == EINVAL || errno == ENOSYS);
    const QByteArray linked = probeName(folder, "c");
    if (::link(current.constData(), linked.constData()) == 0)
        ::unlink(linked.constData());
    else
        a.hardLinks = !unsupported(errno);
    const int unnamed = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (unnamed >= 0)
        ::close(unnamed);
    else
        a.unnamedTemporaries = !(errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
    if (!a.refusesWindowsNames && a.type.startsWith(QLatin1String("fuse"))) {
        // A FUSE file system says what it accepts only when asked.
        const QByteArray odd = probeName(folder, ":*?|");
        const int oddFd = ::open(odd.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (oddFd >= 0) {
            ::close(oddFd);
            ::unlink(odd.constData());
        } else {
            a.refusesWindowsNames = errno != EEXIST;
        }
    }
    ::unlink(current.constData());
}

} // namespace

QString FolderAbilities::describe() const
{
    const auto yesNo = [this](bool ability) {
        return !probed ? QStringLiteral("not probed") : ability ? QStringLiteral("yes") : QStringLiteral("no");
    };
    return QStringLiteral("%1 (%2 at %3): names %4; never-replace rename %5; hard links %6; unnamed temporaries %7")
        .arg(folder, type.isEmpty() ? QStringLiteral("unknown type") : type, mountPoint.isEmpty() ? QStringLiteral("?") : mountPoint,
             refusesWindowsNames ? QStringLiteral("without : \\ * ? \" < > | or trailing dots and blanks") : QStringLiteral("as given"),
             yesNo(renameNoReplace), yesNo(hardLinks), yesNo(unnamedTemporaries));
}

bool typeRefusesWindowsNames(const QString &type)
{
    static const QStringList refusing{QStringLiteral("vfat"),       QStringLiteral("msdos"),        QStringLiteral("exfat"),
                                      QStringLiteral("ntfs"),       QStringLiteral("ntfs3"),        QStringLiteral("cifs"),
                                      QStringLiteral("smb3"),       QStringLiteral("smbfs"),        QStringLiteral("fuseblk"),
                                      QStringLiteral("fuse.exfat"), QStringLiteral("fuse.ntfs-3g"), QStringLiteral("fuseblk.exfat")};
    // FUSE on a block device is exFAT or NTFS in practice.
    return refusing.contains(type) || type.startsWith(QLatin1String("fuseblk"));
}

FolderAbilities folderAbilities(const QString &folder)
{
    FolderAbilities a;
    a.folder = folder;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QByteArray native = fileops::detail::nativePath(canonical.isEmpty() ? folder : canonical);
    struct stat st { };
    const bool present = ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    if (const std::optional<MountEntry> entry = mountEntryFor(readMountTable(), canonical.isEmpty() ? folder : canonical)) {
        a.mountPoint = entry->mountPoint;
        a.type = entry->type;
    }
    a.refusesWindowsNames = typeRefusesWindowsNames(a.type);
    if (!present)
        return a; // nothing learned, nothing kept
    const QString key = QString::number(quint64(st.st_dev)) + QLatin1Char(' ') + a.mountPoint + QLatin1Char(' ') + a.type;
    Cache &cache = Cache::shared();
    {
        std::lock_guard lock(cache.mutex);
        if (const auto known = cache.byFileSystem.constFind(key); known != cache.byFileSystem.cend()) {
            FolderAbilities found = *known;
            found.folder = folder;
            return found;
        }
    }
    probe(a, native);
    std::lock_guard lock(cache.mutex);
    if (!cache.byFileSystem.contains(key)) {
        cache.byFileSystem.insert(key, a);
        logOp(u"FolderAbilities", u"folderAbilities()", a.describe());
        if (a.refusesWindowsNames && !cache.standInsLogged) {
            cache.standInsLogged = true;
            QString table;
            for (const auto &pair : cStandIns)
                table += QChar(pair.refused) + QStringLiteral(" -> ") + QChar(pair.standIn) + QStringLiteral("  ");
            table
                += QStringLiteral("trailing . -> ") + QChar(cTrailingDot) + QStringLiteral("  trailing blank -> ") + QChar(cTrailingBlank);
            logOp(u"FolderAbilities", u"folderAbilities()", QString(QStringLiteral("names there are written with stand-ins: ") + table));
        }
    }
    return a;
}

QString windowsSafeName(const QString &name)
{
    QString safe = name;
    for (QChar &c : safe) {
        for (const auto &pair : cStandIns) {
            if (c.unicode() == pair.refused)
                c = QChar(pair.standIn);
        }
    }
    for (qsizetype i = safe.size() - 1; i >= 0; --i) {
        if (safe[i] == QLatin1Char('.'))
            safe[i] = QChar(cTrailingDot);
        else if (safe[i] == QLatin1Char(' '))
            safe[i] = QChar(cTrailingBlank);
        else
            break;
    }
    return safe;
}

QString fromWindowsSafeName(const QString &name)
{
    QString text = name;
    for (QChar &c : text) {
        for (const auto &pair : cStandIns) {
            if (c.unicode() == pair.standIn)
                c = QChar(pair.refused);
        }
        if (c.unicode() == cTrailingDot)
            c = QLatin1Char('.');
        else if (c.unicode() == cTrailingBlank)
            c = QLatin1Char(' ');
    }
    return text;
}

bool holdsWindowsStandIn(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        if (c.unicode() == cTrailingDot || c.unicode() == cTrailingBlank)
            return true;
        for (const auto &pair : cStandIns) {
            if (c.unicode() == pair.standIn)
                return true;
        }
        return false;
    });
}

QString nameForFolder(const QString &folder, const QString &name)
{
    const QString safe = windowsSafeName(name);
    if (safe == name)
        return name;
    return folderAbilities(folder).refusesWindowsNames ? safe : name;
}

void forgetFolderAbilities()
{
    Cache &cache = Cache::shared();
    std::lock_guard lock(cache.mutex);
    cache.byFileSystem.clear();
}

} // namespace sorrelby
