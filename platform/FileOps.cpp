#include "platform/FileOps.h"

#include "platform/FaultPoints.h"
#include "platform/FileOpsPrivate.h"
#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace sorrelby {

FileResult FileResult::fromErrno(int errnum, const QString &context)
{
    const QString text = qt_error_string(errnum);
    return failure(context.isEmpty() ? text : context + QLatin1String(": ") + text, errnum);
}

namespace fileops {
namespace detail {

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QByteArray parentFolder(const QByteArray &path)
{
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return trimmed.left(slash);
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // some file systems refuse fsync on folders; nothing to do then
    ::close(fd);
}

namespace {

std::atomic<bool> g_noRenameFlags{false};
std::atomic<bool> g_noHardLinks{false};
std::atomic<bool> g_noUnnamedTemporaries{false};
std::atomic<bool> g_noRenameOntoExisting{false};
std::atomic<KillPoint> g_killPoint{KillPoint::None};

bool linksUnsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == EMLINK || error == ENOSYS || error == EINVAL;
}

// What a file system refused once, per device, so that every later move
// there goes straight to what works. Learned, not probed: a wrong guess in
// either direction still never replaces a file.
struct Learned {
    bool noRenameFlags = false;
    bool noHardLinks = false;
};
std::mutex g_learnedMutex;
QHash<dev_t, Learned> g_learned;

dev_t deviceOfFolder(const QByteArray &path)
{
    struct stat st { };
    return ::stat(parentFolder(path).constData(), &st) == 0 ? st.st_dev : dev_t(0);
}

Learned learnedFor(dev_t device)
{
    std::lock_guard lock(g_learnedMutex);
    return g_learned.value(device);
}

void learn(dev_t device, const QByteArray &path, bool renameFlags, int error)
{
    {
        std::lock_guard lock(g_learnedMutex);
        Learned &learned = g_learned[device];
        bool &flag = renameFlags ? learned.noRenameFlags : learned.noHardLinks;
        if (flag)
            return;
        flag = true;
    }
    logOp(u"FileOps", u"abilities",
          QString(QFile::decodeName(parentFolder(path))
                  + (renameFlags ? QLatin1String(": no never-replace rename (") : QLatin1String(": no hard links ("))
                  + qt_error_string(error) + QLatin1String("); moves there take the next way that never replaces")));
}

} // namespace

// Defined with the copies below: the last way to a name that never replaces.
int placeByClaim(const QByteArray &from, const QByteArray &to);

namespace {

// Takes `to` with an empty file or folder of our own (creation is exclusive),
// then renames over it. Only our placeholder can ever be replaced.
int renameOverPlaceholder(const QByteArray &from, const QByteArray &to, bool isFolder)
{
    if (isFolder) {
        if (::mkdir(to.constData(), 0700) != 0)
            return errno;
    } else {
        const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno;
        ::close(fd);
    }
    faults::after("create", to);
    struct stat placeholder { };
    ::lstat(to.constData(), &placeholder);
    if (::rename(from.constData(), to.constData()) == 0) {
        faults::after("rename", to);
        return 0;
    }
    const int error = errno;
    struct stat now { };
    if (::lstat(to.constData(), &now) == 0 && now.st_ino == placeholder.st_ino && now.st_dev == placeholder.st_dev)
        isFolder ? ::rmdir(to.constData()) : ::unlink(to.constData());
    return error;
}

} // namespace

void simulateLimitedFileSystem(bool noRenameFlags, bool noHardLinks)
{
    g_noRenameFlags = noRenameFlags;
    g_noHardLinks = noHardLinks;
}

void simulateNoRenameOntoExisting(bool on)
{
    g_noRenameOntoExisting = on;
}

void simulateNoUnnamedTemporaries(bool on)
{
    g_noUnnamedTemporaries = on;
}

void setKillPoint(KillPoint point)
{
    g_killPoint = point;
}

void killIfAt(KillPoint point)
{
    if (point != KillPoint::None && g_killPoint == point)
        ::raise(SIGKILL);
}

int hardLink(const QByteArray &from, const QByteArray &to)
{
    if (g_noHardLinks) {
        errno = EPERM;
        return -1;
    }
    return ::link(from.constData(), to.constData());
}

int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    const dev_t device = deviceOfFolder(to);
    const Learned learned = learnedFor(device);
    const bool tryFlags = !g_noRenameFlags && !learned.noRenameFlags;
    if (tryFlags && ::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        faults::after("rename", to);
        return 0;
    }
    const int error = tryFlags ? errno : EINVAL;
    if (error != EINVAL && error != ENOSYS)
        return error;
    if (tryFlags)
        learn(device, to, true, error);

    struct stat st { };
    if (::lstat(from.constData(), &st) != 0)
        return errno;
    const bool isFolder = S_ISDIR(st.st_mode);
    if (!isFolder && !learnedFor(device).noHardLinks) {
        if (hardLink(from, to) == 0) {
            faults::after("link", to);
            if (::unlink(from.constData()) != 0) {
                const int unlinkError = errno;
                ::unlink(to.constData());
                return unlinkError;
            }
            faults::after("unlink", from);
            return 0;
        }
        if (!linksUnsupported(errno))
            return errno;
        if (!g_noHardLinks)
            learn(device, to, false, errno);
    }
    return isFolder ? renameOverPlaceholder(from, to, true) : placeByClaim(from, to);
}

} // namespace detail

using namespace detail;

namespace {

// Not an errno value: the copy came out with another size than its source
// (typically a file still being written).
constexpr int cSizeMismatch = 100000;
// Not an errno value: the source is a FIFO, device or socket, which a copy
// would wait on for ever.
constexpr int cNotRegularSource = 100002;

// Opens a copy's source without waiting on a FIFO; its type is checked by the
// caller's fstat.
int openSource(const QByteArray &from)
{
    const int fd = ::open(from.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0)
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

FileResult failed(int error, const QString &context)
{
    if (error == cCopyNotVerified)
        return FileResult::failure(context + QLatin1String(": the copy's content differs from the original's"), error);
    if (error == cNotRegularSource)
        return FileResult::failure(context + QLatin1String(": ") + cNotRegularFileReason);
    if (error == cSizeMismatch)
        return FileResult::failure(context + QLatin1String(": the copy's size differs from the original's"));
    return FileResult::fromErrno(error, context);
}

// Not an errno value: the file system cannot give an unnamed temporary file a
// name here, so the copy goes through a hidden named one instead.
constexpr int cNoUnnamedTemporaries = 100001;
constexpr qsizetype cTemporarySuffixLength = 8;

// Closes a descriptor held for its lock when it goes out of scope.
struct HeldLock {
    int fd = -1;
    HeldLock() = default;
    HeldLock(const HeldLock &) = delete;
    HeldLock &operator=(const HeldLock &) = delete;
    ~HeldLock() { release(); }
    void release()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

QByteArray folderPrefix(const QByteArray &folder)
{
    return folder == "/" ? QByteArray() : folder;
}

// ".NAME.sorrelby-": how the hidden copies in progress for `target` begin.
QByteArray temporaryPrefix(const QByteArray &target)
{
    return '.' + target.mid(target.lastIndexOf('/') + 1).left(64) + ".sorrelby-";
}

// A hidden name beside `target` for a copy in progress.
QByteArray temporarySibling(const QByteArray &target)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray suffix(cTemporarySuffixLength, 'x');
    for (char &c : suffix)
        c = alphabet[QRandomGenerator::global()->bounded(int(sizeof(alphabet) - 1))];
    return folderPrefix(parentFolder(target)) + '/' + temporaryPrefix(target) + suffix;
}

// Creates a fresh hidden file beside `target`; returns the descriptor or -errno.
int createTemporaryBeside(const QByteArray &target, mode_t mode, QByteArray &temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporarySibling(target);
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            return -errno;
    }
    return -EEXIST;
}

int writeAll(int fd, const char *data, qint64 size)
{
    if (const int error = faults::before())
        return error;
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= written;
    }
    return 0;
}

// Copies the content of `in` into the new file `out`, then gives it the
// source's permissions and times, flushes it and checks its size.
int copyOpenFile(int in, const struct stat &source, int out)
{
    if (const int error = faults::before())
        return error;
    ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    qint64 copied = 0;
    // In the kernel where it can (no pass through our memory), so a card
    // copies at the reader's speed; a refusal before the first byte falls
    // back to read and write. A file that ends early shows in the size check.
    bool readAndWrite = false;
    for (;;) {
        const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (moved > 0) {
            copied += moved;
            continue;
        }
        if (moved == 0) {
            // Some file systems answer 0 instead of refusing.
            readAndWrite = copied == 0;
            break;
        }
        if (errno == EINTR)
            continue;
        if (copied == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
            readAndWrite = true;
            break;
        }
        return errno;
    }
    std::vector<char> buffer(readAndWrite ? (1 << 20) : 0);
    while (readAndWrite) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            break;
        if (const int error = writeAll(out, buffer.data(), got))
            return error;
        copied += got;
    }
    // Permissions are best effort (FAT volumes refuse them); the times are not,
    // because photos are ordered by them.
    ::fchmod(out, source.st_mode & 07777);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (::futimens(out, times) != 0)
        return errno;
    if (::fsync(out) != 0)
        return errno;
    struct stat written { };
    if (::fstat(out, &written) != 0)
        return errno;
    if (copied != source.st_size || written.st_size != source.st_size)
        return cSizeMismatch;
    return 0;
}

int copySymLink(const QByteArray &from, const QByteArray &to)
{
    QByteArray target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(from.constData(), target.data(), size_t(target.size()));
    if (length < 0)
        return errno;
    target.truncate(length);
    if (::symlink(target.constData(), to.constData()) != 0)
        return errno;
    faults::after("symlink", to);
    return 0;
}

int removeTree(const QByteArray &path)
{
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(path.toStdString()), ec);
    return ec.value();
}

// With `lockFd`, the new file stays locked (flock) through *lockFd after the
// copy, so that nobody takes it for a crash's leftover while it is in use.
int copyRegularFile(const QByteArray &from, const QByteArray &to, bool &created, int *lockFd)
{
    const int in = openSource(from);
    if (in < 0)
        return errno;
    struct stat st { };
    const bool stated = ::fstat(in, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        const int error = stated ? cNotRegularSource : errno;
        ::close(in);
        return error;
    }
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    created = true;
    faults::after("create", to);
    if (lockFd) {
        ::flock(out, LOCK_EX);
        *lockFd = ::fcntl(out, F_DUPFD_CLOEXEC, 0);
    }
    int error = copyOpenFile(in, st, out);
    if (::close(out) != 0 && error == 0)
        error = errno;
    ::close(in);
    if (error == 0)
        faults::after("flush", to);
    return error;
}

// Copies a file, a symbolic link or a folder with everything in it to the new
// name `to`; `created` tells whether `to` was made (a clash leaves it false).
// Names are copied byte for byte, whatever their encoding. With `lockFd`, a
// new file or folder is locked as copyRegularFile() does.
int copyEntry(const QByteArray &from, const QByteArray &to, bool &created, int *lockFd = nullptr)
{
    created = false;
    struct stat st { };
    if (::lstat(from.constData(), &st) != 0)
        return errno;
    if (S_ISREG(st.st_mode))
        return copyRegularFile(from, to, created, lockFd);
    if (S_ISLNK(st.st_mode)) {
        const int error = copySymLink(from, to);
        created = error == 0;
        return error;
    }
    if (!S_ISDIR(st.st_mode))
        return EOPNOTSUPP;

    if (::mkdir(to.constData(), 0700) != 0)
        return errno;
    created = true;
    faults::after("mkdir", to);
    if (lockFd) {
        *lockFd = ::open(to.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (*lockFd >= 0)
            ::flock(*lockFd, LOCK_EX);
    }
    DIR *dir = ::opendir(from.constData());
    if (!dir)
        return errno;
    int error = 0;
    errno = 0;
    while (dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        bool childCreated = false;
        error = copyEntry(from + '/' + name, to + '/' + name, childCreated);
        if (error != 0)
            break;
        errno = 0;
    }
    if (error == 0 && errno != 0)
        error = errno;
    ::closedir(dir);
    if (error != 0)
        return error;
    ::chmod(to.constData(), st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, to.constData(), times, AT_SYMLINK_NOFOLLOW);
    syncFolder(to);
    return 0;
}

// The hidden copies (and claim markers) for `target` in its folder.
QList<QByteArray> hiddenCopiesOf(const QByteArray &target)
{
    const QByteArray folder = parentFolder(target);
    const QByteArray prefix = temporaryPrefix(target);
    QList<QByteArray> paths;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name.size() == prefix.size() + cTemporarySuffixLength && name.startsWith(prefix))
                paths.append(folderPrefix(folder) + '/' + name);
        }
        ::closedir(dir);
    }
    return paths;
}

int hiddenCopiesFor(const QByteArray &target)
{
    return int(hiddenCopiesOf(target).size());
}

// A claim's marker: names the file that holds the target's name for a
// placement in progress, so that what a killed placement left under the
// name can be told from anyone else's file.
constexpr char cClaimMagic[] = "sorrelby-claim ";

QByteArray claimText(const struct stat &placeholder, const QByteArray &from)
{
    return QByteArray(cClaimMagic) + QByteArray::number(quint64(placeholder.st_dev)) + ' ' + QByteArray::number(quint64(placeholder.st_ino))
        + '\n' + from + '\n';
}

// Whether a claim's text names the file `now` (the placeholder it made).
bool claimNames(const QByteArray &text, const struct stat &now)
{
    const QList<QByteArray> fields = text.left(text.indexOf('\n')).split(' ');
    return text.startsWith(cClaimMagic) && fields.size() == 3 && quint64(now.st_dev) == fields[1].toULongLong()
        && quint64(now.st_ino) == fields[2].toULongLong();
}

bool isClaim(int fd)
{
    char text[sizeof(cClaimMagic)] = {};
    const ssize_t length = ssize_t(sizeof(cClaimMagic) - 1);
    return ::pread(fd, text, size_t(length), 0) == length && std::memcmp(text, cClaimMagic, size_t(length)) == 0;
}

// When the stale hidden file open at `fd` is a claim on `target` and the
// file under that name is still the one claimed, it is the unfinished
// placement of a killed process: it goes, but only while it is empty or the
// file being placed is still there, so that no photo goes that is not safe
// elsewhere (a file system may give a new file the number of an old one).
void removeClaimedPlaceholder(int fd, const QByteArray &target)
{
    QByteArray text(PATH_MAX + 100, '\0');
    const ssize_t got = ::pread(fd, text.data(), size_t(text.size()), 0);
    if (got <= 0)
        return;
    text.truncate(got);
    const QList<QByteArray> lines = text.split('\n');
    struct stat now {
    }, from{};
    if (::lstat(target.constData(), &now) != 0 || !S_ISREG(now.st_mode) || !claimNames(text, now))
        return;
    const bool safeElsewhere = lines.size() > 1 && !lines[1].isEmpty() && ::lstat(lines[1].constData(), &from) == 0;
    if ((now.st_size == 0 || safeElsewhere) && ::unlink(target.constData()) == 0)
        logOp(u"FileOps", u"removeStaleTemporaries", QString(QLatin1String("removed the unfinished ") + QFile::decodeName(target)));
}

// Removes the hidden copies for `target` that a killed process left behind.
// A copy in progress is locked by the process making it; only unlocked ones
// are leftovers.
void removeStaleTemporaries(const QByteArray &target)
{
    const QList<QByteArray> candidates = hiddenCopiesOf(target);
    // Claims first: one may name a hidden copy below as the file it placed.
    for (const bool claims : {true, false}) {
        for (const QByteArray &path : candidates) {
            HeldLock lock;
            lock.fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (claims != (lock.fd >= 0 && isClaim(lock.fd)))
                continue;
            // A link is made in one step, so a leftover one is never in progress.
            const bool stale = lock.fd >= 0 ? ::flock(lock.fd, LOCK_EX | LOCK_NB) == 0 : errno == ELOOP;
            if (stale && claims)
                removeClaimedPlaceholder(lock.fd, target);
            if (stale && removeTree(path) == 0)
                logOp(u"FileOps", u"removeStaleTemporaries", QString(QLatin1String("removed the leftover ") + QFile::decodeName(path)));
        }
    }
}

// Every unlocked hidden copy in `folder`, whatever its target.
int removeStaleTemporariesIn(const QByteArray &folder)
{
    QList<QByteArray> targets;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            const qsizetype marker = name.lastIndexOf(".sorrelby-");
            if (name.startsWith('.') && marker > 1 && name.size() == marker + 10 + cTemporarySuffixLength)
                targets.append(name.mid(1, marker - 1));
        }
        ::closedir(dir);
    }
    int removed = 0;
    for (const QByteArray &target : std::as_const(targets)) {
        const QByteArray path = folderPrefix(folder) + '/' + target;
        const int before = hiddenCopiesFor(path);
        removeStaleTemporaries(path);
        removed += before - hiddenCopiesFor(path);
    }
    return removed;
}

// A complete, flushed copy of `from` under a hidden name beside `target`,
// locked through `lock` until the caller has put it in place.
int makeTemporaryCopy(const QByteArray &from, const QByteArray &target, QByteArray &temporary, HeldLock &lock)
{
    removeStaleTemporaries(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporarySibling(target);
        bool created = false;
        lock.release();
        const int error = copyEntry(from, temporary, created, &lock.fd);
        if (error == EEXIST && !created)
            continue;
        if (error != 0 && created)
            removeTree(temporary);
        return error;
    }
    return EEXIST;
}

int linkUnnamed(int fd, const QByteArray &target)
{
    // AT_EMPTY_PATH needs a privilege; the /proc path works for everyone.
    if (::linkat(fd, "", AT_FDCWD, target.constData(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Copies a regular file to the new name `target` through an unnamed file in
// the target's folder, which gets its name only once complete and flushed: a
// copy cut short by a crash leaves nothing behind. cNoUnnamedTemporaries where
// the file system cannot do that.
int copyFileUnnamed(const QByteArray &from, const QByteArray &target)
{
    if (g_noUnnamedTemporaries || g_noHardLinks)
        return cNoUnnamedTemporaries;
    const int out = ::open(parentFolder(target).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (out < 0)
        return errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL ? cNoUnnamedTemporaries : errno;
    int error = 0;
    const int in = openSource(from);
    struct stat st { };
    if (in < 0 || ::fstat(in, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = cNotRegularSource;
    else
        error = copyOpenFile(in, st, out);
    if (in >= 0)
        ::close(in);
    if (error == 0) {
        faults::after("flush", target);
        killIfAt(KillPoint::CopyFlushed);
        error = linkUnnamed(out, target);
        if (error == 0)
            faults::after("link", target);
        if (error != 0 && error != EEXIST && (linksUnsupported(error) || error == ENOENT))
            error = cNoUnnamedTemporaries;
    }
    ::close(out);
    if (error == 0)
        syncFolder(parentFolder(target));
    return error;
}

void removeTemporary(const QByteArray &temporary)
{
    if (removeTree(temporary) != 0)
        logOp(u"FileOps", u"removeTemporary", QString(QLatin1String("could not remove ") + QFile::decodeName(temporary)));
}

// Puts a finished temporary copy under its final name without replacing
// anything; the temporary name is gone afterwards either way.
int placeTemporary(const QByteArray &temporary, const struct stat &source, const QByteArray &target)
{
    int error = 0;
    if (S_ISDIR(source.st_mode)) {
        error = renameNoReplace(temporary, target);
    } else if (hardLink(temporary, target) == 0) {
        faults::after("link", target);
        if (::unlink(temporary.constData()) == 0)
            faults::after("unlink", temporary);
    } else {
        error = errno;
        if (linksUnsupported(error))
            error = renameNoReplace(temporary, target);
    }
    if (error != 0)
        removeTemporary(temporary);
    else
        syncFolder(parentFolder(target));
    return error;
}

// Removes what a copy placed at `target`, but only while it is still ours.
void withdrawCopy(const QByteArray &target, const struct stat &placed)
{
    struct stat now { };
    if (::lstat(target.constData(), &now) == 0 && now.st_ino == placed.st_ino && now.st_dev == placed.st_dev)
        removeTree(target);
}

// Copies a file, link or folder to `dst`, which must not exist, through a
// flushed temporary beside it; `source` receives what `src` is. Other kinds
// of entry fail with `unsupported`.
int copyIntoPlace(const QByteArray &src, const QByteArray &dst, int unsupported, struct stat &source)
{
    if (::lstat(src.constData(), &source) != 0)
        return errno;
    if (!S_ISREG(source.st_mode) && !S_ISDIR(source.st_mode) && !S_ISLNK(source.st_mode))
        return unsupported;
    struct stat existing { };
    if (::lstat(dst.constData(), &existing) == 0)
        return EEXIST;
    if (S_ISREG(source.st_mode)) {
        if (const int error = copyFileUnnamed(src, dst); error != cNoUnnamedTemporaries)
            return error;
    }
    QByteArray temporary;
    HeldLock lock;
    if (const int error = makeTemporaryCopy(src, dst, temporary, lock))
        return error;
    killIfAt(KillPoint::CopyFlushed);
    return placeTemporary(temporary, source, dst);
}

// 0 when both descriptors hold the same bytes, else cCopyNotVerified (or an
// errno). The copy is dropped from the page cache first where the kernel
// allows, so that it is read back from the drive rather than from memory.
int compareContent(int original, int copy)
{
    struct stat a {
    }, b{};
    if (::fstat(original, &a) != 0 || ::fstat(copy, &b) != 0)
        return errno;
    if (a.st_size != b.st_size)
        return cCopyNotVerified;
    ::posix_fadvise(copy, 0, 0, POSIX_FADV_DONTNEED);
    std::vector<char> left(1 << 20), right(left.size());
    for (off_t offset = 0; offset < a.st_size;) {
        const ssize_t got = ::pread(original, left.data(), left.size(), offset);
        if (got <= 0)
            return got < 0 ? errno : cCopyNotVerified;
        for (ssize_t done = 0; done < got;) {
            const ssize_t other = ::pread(copy, right.data() + done, size_t(got - done), offset + done);
            if (other <= 0)
                return other < 0 ? errno : cCopyNotVerified;
            done += other;
        }
        if (std::memcmp(left.data(), right.data(), size_t(got)) != 0)
            return cCopyNotVerified;
        offset += got;
    }
    return 0;
}

int comparePaths(const QByteArray &original, const QByteArray &copy)
{
    const int a = ::open(original.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int b = ::open(copy.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int error = a < 0 || b < 0 ? errno : compareContent(a, b);
    if (a >= 0)
        ::close(a);
    if (b >= 0)
        ::close(b);
    return error;
}

} // namespace

// Where neither renameat2's no-replace flag nor hard links exist (exFAT and
// FAT through FUSE, some shares): the name is claimed by an exclusive create,
// with a hidden marker beside it that names the claimed file, so a killed
// placement's leftover is known for one (removeClaimedPlaceholder). Then the
// file is renamed over its own placeholder; where the file system refuses
// even that, it is copied into the placeholder, flushed, compared byte for
// byte and only then removed from its old name.
int detail::placeByClaim(const QByteArray &from, const QByteArray &to)
{
    struct stat source { };
    if (::lstat(from.constData(), &source) != 0)
        return errno;
    if (const int injected = faults::before())
        return injected;
    removeStaleTemporaries(to);
    QByteArray markerPath;
    HeldLock marker;
    marker.fd = createTemporaryBeside(to, 0600, markerPath);
    if (marker.fd < 0)
        return -marker.fd;
    ::flock(marker.fd, LOCK_EX);
    faults::after("create", markerPath);
    const auto dropMarker = [&] {
        if (::unlink(markerPath.constData()) == 0)
            faults::after("unlink", markerPath);
        marker.release();
    };
    if (const int injected = faults::before()) {
        dropMarker();
        return injected;
    }
    const int placeholder = ::open(to.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (placeholder < 0) {
        const int error = errno;
        dropMarker();
        return error;
    }
    struct stat claimed { };
    ::fstat(placeholder, &claimed);
    const QByteArray claim = claimText(claimed, from);
    const bool marked = ::pwrite(marker.fd, claim.constData(), size_t(claim.size()), 0) == claim.size();
    faults::after("create", to);
    const auto withdraw = [&](int error) {
        ::close(placeholder);
        struct stat now { };
        if (::lstat(to.constData(), &now) == 0 && now.st_ino == claimed.st_ino && now.st_dev == claimed.st_dev)
            ::unlink(to.constData());
        dropMarker();
        return error;
    };
    if (!marked)
        return withdraw(EIO);

    if (const int injected = faults::before())
        return withdraw(injected);
    if (!g_noRenameOntoExisting && ::rename(from.constData(), to.constData()) == 0) {
        faults::after("rename", to);
        ::close(placeholder);
        dropMarker();
        return 0;
    }
    const int renameError = g_noRenameOntoExisting ? EEXIST : errno;
    if (renameError == ENOENT || !S_ISREG(source.st_mode))
        return withdraw(renameError);

    // The file system will not rename onto a name that exists: copy instead.
    const int in = openSource(from);
    if (in < 0)
        return withdraw(errno);
    int error = copyOpenFile(in, source, placeholder);
    if (error == 0)
        error = compareContent(in, placeholder);
    ::close(in);
    if (error != 0)
        return withdraw(error);
    faults::after("flush", to);
    if (const int injected = faults::before(); injected != 0 || ::unlink(from.constData()) != 0)
        return withdraw(injected != 0 ? injected : errno); // a move that cannot remove its source did not happen
    faults::after("unlink", from);
    ::close(placeholder);
    dropMarker();
    syncFolder(parentFolder(to));
    return 0;
}

namespace {

FileResult moveAcrossFileSystems(const QByteArray &src, const QByteArray &dst, const QString &context)
{
    struct stat source { };
    if (const int error = copyIntoPlace(src, dst, EXDEV, source))
        return failed(error, context);
    struct stat placed { };
    ::lstat(dst.constData(), &placed);
    // The source goes only for a copy read back equal to it.
    if (S_ISREG(source.st_mode)) {
        if (const int error = comparePaths(src, dst)) {
            withdrawCopy(dst, placed);
            return failed(error, context);
        }
    }

    if (S_ISDIR(source.st_mode)) {
        // The complete copy is in place; what cannot be removed of the source
        // stays as a duplicate, never as a loss.
        if (const int error = removeTree(src))
            return failed(error, context + QLatin1String(" (copied, but the source could not be removed completely)"));
        faults::after("remove", src);
        syncFolder(parentFolder(src));
        return FileResult::success();
    }
    if (const int injected = faults::before(); injected != 0 || ::unlink(src.constData()) != 0) {
        // A move that cannot remove its source did not happen: take the copy back.
        const int error = injected != 0 ? injected : errno;
        withdrawCopy(dst, placed);
        return failed(error, context);
    }
    faults::after("unlink", src);
    syncFolder(parentFolder(src));
    return FileResult::success();
}

int makeFolder(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0777) == 0) {
        faults::after("mkdir", path);
        return 0;
    }
    const int error = errno;
    struct stat st { };
    if (error == EEXIST && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return 0;
    return error;
}

QDateTime toDateTime(const struct statx_timestamp &t)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
}

bool earlier(const struct statx_timestamp &a, const struct statx_timestamp &b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

bool exists(const QString &path)
{
    struct stat st { };
    return !path.isEmpty() && ::lstat(nativePath(path).constData(), &st) == 0;
}

std::optional<FileAttributes> attributes(const QString &path)
{
    const QByteArray native = nativePath(path);
    struct statx sx { };
    if (path.isEmpty() || ::statx(AT_FDCWD, native.constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return std::nullopt;
    FileAttributes a;
    a.size = qint64(sx.stx_size);
    a.mode = sx.stx_mode;
    a.isDirectory = S_ISDIR(sx.stx_mode);
    a.isRegularFile = S_ISREG(sx.stx_mode);
    a.isSymLink = S_ISLNK(sx.stx_mode);
    a.isWritable = ::access(native.constData(), W_OK) == 0;
    a.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    a.inode = sx.stx_ino;
    a.modificationDate = toDateTime(sx.stx_mtime);
    const bool hasBirth = (sx.stx_mask & STATX_BTIME) && (sx.stx_btime.tv_sec != 0 || sx.stx_btime.tv_nsec != 0);
    a.creationDate = hasBirth && earlier(sx.stx_btime, sx.stx_mtime) ? toDateTime(sx.stx_btime) : a.modificationDate;
    return a;
}

FileResult moveNoReplace(const QString &from, const QString &to)
{
    const QString context = QLatin1String("Could not move ") + quoted(from) + QLatin1String(" to ") + quoted(to);
    if (from.isEmpty() || to.isEmpty())
        return failed(ENOENT, context);
    if (const int injected = faults::before())
        return failed(injected, context);
    const QByteArray src = nativePath(from);
    const QByteArray dst = nativePath(to);
    const int error = renameNoReplace(src, dst);
    if (error == 0)
        return FileResult::success();
    if (error != EXDEV)
        return failed(error, context);
    return moveAcrossFileSystems(src, dst, context);
}

bool placementInProgress(const QString &path)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat now { };
    if (::lstat(target.constData(), &now) != 0)
        return false;
    for (const QByteArray &marker : hiddenCopiesOf(target)) {
        HeldLock lock;
        lock.fd = ::open(marker.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (lock.fd < 0 || !isClaim(lock.fd))
            continue;
        // Its maker holds the lock until the placement is done or withdrawn.
        if (::flock(lock.fd, LOCK_SH | LOCK_NB) == 0)
            continue;
        QByteArray text(200, '\0');
        const ssize_t got = ::pread(lock.fd, text.data(), size_t(text.size()), 0);
        if (claimNames(text.left(std::max<ssize_t>(got, 0)), now))
            return true;
    }
    return false;
}

bool sameContent(const QString &a, const QString &b)
{
    const int fa = ::open(nativePath(a).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int fb = ::open(nativePath(b).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat sa {
    }, sb{};
    bool same = fa >= 0 && fb >= 0 && ::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 && S_ISREG(sa.st_mode) && S_ISREG(sb.st_mode)
        && sa.st_size == sb.st_size && !(sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino);
    std::vector<char> bufferA(same ? 1 << 20 : 0), bufferB(bufferA.size());
    for (off_t offset = 0; same && offset < sa.st_size;) {
        const ssize_t got = ::pread(fa, bufferA.data(), bufferA.size(), offset);
        if (got <= 0) {
            same = false;
            break;
        }
        for (ssize_t done = 0; same && done < got;) {
            const ssize_t other = ::pread(fb, bufferB.data() + done, size_t(got - done), offset + done);
            same = other > 0;
            done += std::max<ssize_t>(other, 0);
        }
        same = same && std::memcmp(bufferA.data(), bufferB.data(), size_t(got)) == 0;
        offset += got;
    }
    if (fa >= 0)
        ::close(fa);
    if (fb >= 0)
        ::close(fb);
    return same;
}

FileResult copyNoReplace(const QString &from, const QString &to)
{
    const QString context = QLatin1String("Could not copy ") + quoted(from) + QLatin1String(" to ") + quoted(to);
    if (from.isEmpty() || to.isEmpty())
        return failed(ENOENT, context);
    if (const int injected = faults::before())
        return failed(injected, context);
    struct stat source { };
    if (const int error = copyIntoPlace(nativePath(from), nativePath(to), EOPNOTSUPP, source)) {
        const bool special = source.st_mode != 0 && !S_ISREG(source.st_mode) && !S_ISDIR(source.st_mode) && !S_ISLNK(source.st_mode);
        return special ? FileResult::failure(context + QLatin1String(": ") + cNotRegularFileReason, error) : failed(error, context);
    }
    return FileResult::success();
}

FileResult removeFile(const QString &path)
{
    const QString context = QLatin1String("Could not remove ") + quoted(path);
    const QByteArray native = nativePath(path);
    struct stat st { };
    if (path.isEmpty() || ::lstat(native.constData(), &st) != 0)
        return failed(path.isEmpty() ? ENOENT : errno, context);
    if (const int injected = faults::before())
        return failed(injected, context);
    const int result = S_ISDIR(st.st_mode) ? ::rmdir(native.constData()) : ::unlink(native.constData());
    if (result != 0)
        return failed(errno, context);
    faults::after("remove", native);
    return FileResult::success();
}

FileResult removeRecursively(const QString &path)
{
    const QString context = QLatin1String("Could not remove ") + quoted(path);
    const QByteArray native = nativePath(path);
    struct stat st { };
    if (path.isEmpty() || ::lstat(native.constData(), &st) != 0)
        return failed(path.isEmpty() ? ENOENT : errno, context);
    if (const int injected = faults::before())
        return failed(injected, context);
    if (const int error = removeTree(native))
        return failed(error, context);
    faults::after("remove", native);
    return FileResult::success();
}

namespace {

// The folder at `path`, with the folders above it too when `withParents`.
FileResult makeFolderAt(const QString &path, bool withParents)
{
    const QString context = QLatin1String("Could not create the folder ") + quoted(path);
    if (path.isEmpty())
        return failed(ENOENT, context);
    const QByteArray native = nativePath(QDir::cleanPath(path));
    struct stat st { };
    if (::stat(native.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? FileResult::success() : failed(EEXIST, context);
    if (const int injected = faults::before())
        return failed(injected, context);
    for (qsizetype slash = withParents ? native.indexOf('/', 1) : -1; slash > 0; slash = native.indexOf('/', slash + 1)) {
        if (const int error = makeFolder(native.left(slash)))
            return failed(error, context);
    }
    if (const int error = makeFolder(native))
        return failed(error, context);
    return FileResult::success();
}

} // namespace

FileResult createFolder(const QString &path)
{
    return makeFolderAt(path, true);
}

FileResult makeOneFolder(const QString &path)
{
    return makeFolderAt(path, false);
}

FileResult setModificationDate(const QString &path, const QDateTime &date)
{
    const QString context = QLatin1String("Could not set the modification date of ") + quoted(path);
    if (!date.isValid())
        return failed(EINVAL, context);
    const qint64 ms = date.toMSecsSinceEpoch();
    struct timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(ms / 1000);
    times[1].tv_nsec = long((ms % 1000) * 1000000);
    if (times[1].tv_nsec < 0) {
        times[1].tv_sec -= 1;
        times[1].tv_nsec += 1000000000L;
    }
    if (const int injected = faults::before())
        return failed(injected, context);
    if (::utimensat(AT_FDCWD, nativePath(path).constData(), times, 0) != 0)
        return failed(errno, context);
    faults::after("touch", nativePath(path));
    return FileResult::success();
}

FileResult clearWriteProtection(const QString &path)
{
    const QString context = QLatin1String("Could not remove the write protection of ") + quoted(path);
    const QByteArray native = nativePath(path);
    struct stat st { };
    if (path.isEmpty() || ::stat(native.constData(), &st) != 0)
        return failed(path.isEmpty() ? ENOENT : errno, context);

    // The immutable attribute only goes with privileges; without them the file
    // stays locked, and that is reported rather than hidden.
    int immutableError = 0;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
            flags &= ~FS_IMMUTABLE_FL;
            if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
                immutableError = errno;
        }
        ::close(fd);
    }
    if (immutableError != 0)
        return failed(immutableError, context + QLatin1String(" (immutable)"));
    if (!(st.st_mode & S_IWUSR)) {
        if (const int injected = faults::before())
            return failed(injected, context);
        if (::chmod(native.constData(), (st.st_mode & 07777) | S_IWUSR) != 0)
            return failed(errno, context);
        faults::after("chmod", native);
    }
    return FileResult::success();
}

int removeLeftoverTemporaries(const QString &folder)
{
    return folder.isEmpty() ? 0 : removeStaleTemporariesIn(nativePath(QDir::cleanPath(folder)));
}

FileResult writeFileAtomically(const QString &path, const QByteArray &data)
{
    const QString context = QLatin1String("Could not write ") + quoted(path);
    if (path.isEmpty())
        return failed(ENOENT, context);
    const QByteArray dst = nativePath(path);
    struct stat existing { };
    const bool replacing = ::stat(dst.constData(), &existing) == 0;
    if (const int injected = faults::before())
        return failed(injected, context);
    removeStaleTemporaries(dst);
    QByteArray temporary;
    const int fd = createTemporaryBeside(dst, 0666, temporary);
    if (fd < 0)
        return failed(-fd, context);
    // Locked while in use, so that only a killed writer's temporary counts as a leftover.
    ::flock(fd, LOCK_EX);
    faults::after("create", temporary);
    int error = writeAll(fd, data.constData(), data.size());
    if (error == 0 && replacing)
        ::fchmod(fd, existing.st_mode & 07777);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), dst.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return failed(error, context);
    }
    faults::after("rename", dst);
    syncFolder(parentFolder(dst));
    return FileResult::success();
}

} // namespace fileops
} // namespace sorrelby
