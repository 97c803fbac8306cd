#include "support/LogFile.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorrelby {

namespace {

constexpr mode_t cLogFileMode = 0664;
constexpr qint64 cChunkSize = 1 << 20;

QByteArray processName()
{
    return QByteArray(program_invocation_short_name);
}

struct LogState {
    // Recursive so that a Qt message raised while the lock is held (by Qt
    // itself, say) cannot deadlock the handler.
    std::recursive_mutex mutex;
    QString path;
    int fd = -1;
    QString earlyBuffer;
    QString applicationName = QString::fromLocal8Bit(processName());
    bool logToStdErr = false;
    bool logAppName = false;
};

LogState &state()
{
    // Never destroyed: threads may still log while the process exits.
    static LogState *s = new LogState;
    return *s;
}

// Writes all of data; a regular file or a short line takes one write.
void writeAll(int fd, const QByteArray &data)
{
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        p += n;
        left -= n;
    }
}

// Caller holds the lock.
void keepEarly(LogState &s, const QString &line)
{
    if (s.earlyBuffer.size() > TRUVO_Log::cEarlyBufferLimit) {
        // Drop the oldest lines, up to a line end, so the buffer still starts
        // on a whole line.
        qsizetype cut = s.earlyBuffer.indexOf(QLatin1Char('\n'), TRUVO_Log::cEarlyBufferDrop - 1);
        cut = cut < 0 ? TRUVO_Log::cEarlyBufferDrop : cut + 1;
        s.earlyBuffer.remove(0, cut);
    }
    s.earlyBuffer.append(line);
}

QString letterFor(int level)
{
    switch (level) {
    case 0:
        return QStringLiteral("I");
    case 2:
        return QStringLiteral("D2");
    case 3:
        return QStringLiteral("E");
    case 4:
        return QStringLiteral("W");
    default:
        return QStringLiteral("D");
    }
}

QString labelFor(int level, const QString &appName)
{
    switch (level) {
    case 0:
        return QStringLiteral("INFO");
    case 2:
        return QStringLiteral("DEBUG2: ") + appName;
    case 3:
        return QStringLiteral("ERROR");
    case 4:
        return QStringLiteral("WARN");
    default:
        return QStringLiteral("DEBUG: ") + appName;
    }
}

void messageHandler(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    static const QByteArray name = processName();
    static const QByteArray pid = QByteArray::number(qint64(::getpid()));
    QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    line += ' ' + name + '[' + pid + ':' + QByteArray::number(qint64(::gettid())) + "] ";
    if (context.category && std::strcmp(context.category, "default") != 0)
        line += QByteArray(context.category) + ": ";
    line += message.toUtf8();
    line += '\n';
    writeAll(STDERR_FILENO, line);

    // Until the file is set these lines reach only the terminal, if any:
    // keep them so the file starts with them too.
    LogState &s = state();
    std::lock_guard lock(s.mutex);
    if (s.fd < 0)
        keepEarly(s, QString::fromUtf8(line));
}

// The old log and the current one read as a single stream.
class JoinedFiles {
public:
    JoinedFiles(int firstFd, qint64 firstSize, int secondFd, qint64 secondSize)
        : fFirstFd(firstFd)
        , fFirstSize(firstSize)
        , fSecondFd(secondFd)
        , fSize(firstSize + secondSize)
    { }

    qint64 size() const { return fSize; }

    // Reads up to n bytes at pos without crossing from one file into the other.
    qint64 readAt(qint64 pos, char *buffer, qint64 n) const
    {
        const bool first = pos < fFirstSize;
        const qint64 end = first ? fFirstSize : fSize;
        const qint64 count = std::min(n, end - pos);
        if (count <= 0)
            return 0;
        const ssize_t got = ::pread(first ? fFirstFd : fSecondFd, buffer, size_t(count), first ? pos : pos - fFirstSize);
        return got < 0 ? -1 : qint64(got);
    }

    // Where a copy must start to keep at most keep bytes and begin on a whole
    // line: just after the first line end at or after the last excess byte.
    // Without such a line end the last keep bytes are kept as they are.
    qint64 cutPoint(qint64 keep) const
    {
        const qint64 excess = fSize - keep;
        if (excess <= 0)
            return 0;
        std::vector<char> buffer(static_cast<size_t>(64 * 1024));
        for (qint64 pos = excess - 1; pos < fSize;) {
            const qint64 got = readAt(pos, buffer.data(), qint64(buffer.size()));
            if (got <= 0)
                break;
            if (const void *nl = std::memchr(buffer.data(), '\n', size_t(got))) {
                const qint64 cut = pos + (static_cast<const char *>(nl) - buffer.data()) + 1;
                return cut < fSize ? cut : excess;
            }
            pos += got;
        }
        return excess;
    }

    bool copyTo(QSaveFile &out, qint64 from) const
    {
        std::vector<char> buffer(static_cast<size_t>(cChunkSize));
        for (qint64 pos = from; pos < fSize;) {
            const qint64 got = readAt(pos, buffer.data(), cChunkSize);
            if (got <= 0 || out.write(buffer.data(), got) != got)
                return false;
            pos += got;
        }
        return true;
    }

private:
    int fFirstFd;
    qint64 fFirstSize;
    int fSecondFd;
    qint64 fSize;
};

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

qint64 sizeOf(int fd)
{
    struct stat st { };
    return ::fstat(fd, &st) == 0 ? qint64(st.st_size) : -1;
}

// Writes old + current, cut from the front to keep at most keep bytes, into
// the old file by an atomic replace, so a failure leaves the old file as it was.
bool writeOldLog(const QString &currentPath, const QString &oldPath, qint64 keep)
{
    Fd current{::open(QFile::encodeName(currentPath).constData(), O_RDONLY | O_CLOEXEC)};
    if (current.fd < 0)
        return false;
    Fd old{::open(QFile::encodeName(oldPath).constData(), O_RDONLY | O_CLOEXEC)};
    if (old.fd < 0 && errno != ENOENT)
        return false; // never replace an old log we could not read
    const qint64 currentSize = sizeOf(current.fd);
    const qint64 oldSize = old.fd >= 0 ? sizeOf(old.fd) : 0;
    if (currentSize < 0 || oldSize < 0)
        return false;

    const JoinedFiles joined(old.fd, oldSize, current.fd, currentSize);
    QSaveFile out(oldPath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    ::fchmod(out.handle(), cLogFileMode);
    if (!joined.copyTo(out, joined.cutPoint(keep))) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace

bool TRUVO_Log::setLogFile(const QString &path, qint64 rollOverSize)
{
    const QString standardPath = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    LogState &s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.fd >= 0 && s.path == standardPath)
            return true;
    }
    rollLogFile(standardPath, QString(), rollOverSize, rollOverSize);

    const int fd = ::open(QFile::encodeName(standardPath).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, cLogFileMode);
    if (fd < 0) {
        const int error = errno;
        qWarning().noquote() << QStringLiteral("Failed to open log file at %1; error %2 \"%3\"")
                                    .arg(standardPath)
                                    .arg(error)
                                    .arg(QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    ::fchmod(fd, cLogFileMode);

    std::lock_guard lock(s.mutex);
    writeAll(fd, s.earlyBuffer.toUtf8());
    s.earlyBuffer.clear();
    s.earlyBuffer.squeeze();
    if (!s.logToStdErr) {
        std::fflush(stderr);
        ::dup2(fd, STDERR_FILENO);
    }
    if (s.fd >= 0)
        ::close(s.fd);
    s.fd = fd;
    s.path = standardPath;
    return true;
}

void TRUVO_Log::rollLogFileIfNecessary(const QString &path)
{
    rollLogFile(path, QString(), cRollOverSize);
}

bool TRUVO_Log::rollLogFile(const QString &path, const QString &toPath, qint64 atSize, qint64 keepAtMost)
{
    struct stat st { };
    const QByteArray currentName = QFile::encodeName(path);
    if (::stat(currentName.constData(), &st) != 0 || !S_ISREG(st.st_mode) || qint64(st.st_size) < atSize)
        return false;

    logLevel(0, QStringLiteral("Rolling log file."));
    const QString target = toPath.isEmpty() ? oldLogFilePath(path) : toPath;
    if (!writeOldLog(path, target, keepAtMost)) {
        // Keep the current file: emptying it now would lose its lines.
        logLevel(3, QStringLiteral("Error writing old log file to %1").arg(target));
        return false;
    }
    logLevel(0, QStringLiteral("Rolled previous log file into %1").arg(target));

    const int fd = ::open(currentName.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        logLevel(3,
                 QStringLiteral("Failed to truncate log file at %1; error %2 \"%3\"")
                     .arg(path)
                     .arg(error)
                     .arg(QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
    ::fchmod(fd, cLogFileMode);
    ::close(fd);
    logLevel(0, QStringLiteral("Starting new log file at %1").arg(path));
    return true;
}

QString TRUVO_Log::oldLogFilePath(const QString &path)
{
    // The extension is what follows the last dot of the file name, unless
    // that dot starts the name (a hidden file) or ends it.
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > slash + 1 && dot < path.size() - 1)
        return path.left(dot) + QStringLiteral("_old.") + path.mid(dot + 1);
    return path + QStringLiteral("_old.log");
}

void TRUVO_Log::logLevel(int level, const QString &message)
{
    const QString stamp = logDateString();
    LogState &s = state();
    std::lock_guard lock(s.mutex);
    if (s.logToStdErr)
        writeAll(STDERR_FILENO, (labelFor(level, s.applicationName) + QStringLiteral(": ") + message + QLatin1Char('\n')).toUtf8());
    const QString line = letterFor(level) + QLatin1Char(' ') + stamp
        + (s.logAppName ? QLatin1Char(' ') + s.applicationName + QLatin1Char(':') : QString()) + QLatin1Char(' ') + message
        + QLatin1Char('\n');
    if (s.fd >= 0)
        writeAll(s.fd, line.toUtf8());
    else
        keepEarly(s, line);
}

void TRUVO_Log::debug(const QString &message)
{
    const QStringList lines = message.split(QLatin1Char('\n'));
    for (const QString &line : lines)
        logLevel(1, line);
}

void TRUVO_Log::err(const QString &message)
{
    logLevel(3, message);
}

void TRUVO_Log::fatal(const QString &message)
{
    logLevel(3, message);
    std::fflush(nullptr);
    std::_Exit(1);
}

void TRUVO_Log::setShouldLogToStdErr(bool on)
{
    LogState &s = state();
    std::lock_guard lock(s.mutex);
    s.logToStdErr = on;
}

void TRUVO_Log::setShouldLogAppName(bool on)
{
    LogState &s = state();
    std::lock_guard lock(s.mutex);
    s.logAppName = on;
}

void TRUVO_Log::setApplicationName(const QString &name)
{
    LogState &s = state();
    std::lock_guard lock(s.mutex);
    s.applicationName = name;
}

QString TRUVO_Log::logDateString()
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QLatin1Char('[') + now.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss.zzz ")) + QLatin1Char(offset < 0 ? '-' : '+')
        + QStringLiteral("%1%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0')) + QLatin1Char(']');
}

QString TRUVO_Log::logFilePath()
{
    LogState &s = state();
    std::lock_guard lock(s.mutex);
    return s.fd >= 0 ? s.path : QString();
}

void installLogMessageHandler()
{
    qInstallMessageHandler(messageHandler);
}

bool routeLogToFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return TRUVO_Log::setLogFile(path);
}

} // namespace sorrelby
