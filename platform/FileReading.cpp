#include "platform/FileOps.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorrelby::fileops {

namespace {

// A descriptor of a regular file opened for reading, or a failure. O_NONBLOCK
// keeps open() of a FIFO without writer from waiting; it means nothing for a
// regular file, and is cleared anyway so later reads behave as usual.
int openRegular(const QString &path, FileResult &result)
{
    if (path.isEmpty()) {
        result = FileResult::fromErrno(ENOENT);
        return -1;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result = FileResult::fromErrno(errno);
        return -1;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        result = FileResult::fromErrno(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        result = FileResult::failure(QString(cNotRegularFileReason));
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    result = FileResult::success();
    return fd;
}

} // namespace

FileResult openForReading(const QString &path, QFile &file)
{
    FileResult result;
    const int fd = openRegular(path, result);
    if (fd < 0)
        return result;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FileResult::failure(file.errorString());
    }
    return result;
}

FileResult checkReadableFile(const QString &path)
{
    FileResult result;
    const int fd = openRegular(path, result);
    if (fd >= 0)
        ::close(fd);
    return result;
}

} // namespace sorrelby::fileops
