#include "platform/SingleInstance.h"

#include "platform/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorrelby {

namespace {

const QByteArray cActivateRequest = "activate\n";

void note(QStringView operation, const QString &detail)
{
    logOp(u"SingleInstance", operation, detail);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The account's home, not $HOME: every process of the user must agree.
QString accountHome(uid_t uid)
{
    struct passwd entry { };
    struct passwd *found = nullptr;
    QByteArray buffer(16384, '\0');
    if (::getpwuid_r(uid, &entry, buffer.data(), size_t(buffer.size()), &found) != 0 || !found || !found->pw_dir)
        return {};
    return QFile::decodeName(found->pw_dir);
}

// The first line of the lock file: the holder's process id, 0 when it cannot
// be read (yet).
qint64 pidIn(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[32] = {};
    const ssize_t got = ::read(fd, text, sizeof(text) - 1);
    ::close(fd);
    if (got <= 0)
        return 0;
    bool ok = false;
    const qint64 pid = QByteArray(text, got).split('\n').first().trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

} // namespace

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(folder.isEmpty() ? defaultFolder() : folder)
{ }

SingleInstance::~SingleInstance()
{
    m_server.reset();
    // The file stays: removing it would let a copy that opened it just before
    // lock a name nobody else finds any more.
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::defaultFolder()
{
    const QString given = qEnvironmentVariable(cInstanceFolderVar);
    if (!given.isEmpty())
        return QDir::cleanPath(given);
    const uid_t uid = ::getuid();
    const QString home = accountHome(uid);
    const QString fallback = (home.isEmpty() ? QStringLiteral("/tmp") : home) + QStringLiteral("/.local/state/Vemo");
    // Not the runtime folder: it comes with the login session and goes with it,
    // while a `watch` started before the login must still be found after it.
    return folderForUser(QStringLiteral("/tmp"), uid, fallback);
}

QString SingleInstance::folderForUser(const QString &tmpRoot, uid_t uid, const QString &fallback)
{
    const QString path = tmpRoot + QStringLiteral("/" SORRELBY_BUNDLE_ID "-") + QString::number(uid);
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        note(u"folderForUser()", QStringLiteral("cannot make ") + path + QStringLiteral(": ") + errnoText(errno));
    } else {
        struct stat st { };
        // /tmp is everyone's: the name may have been taken by another user or
        // made a link to elsewhere before we came.
        if (::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid
            && ((st.st_mode & 077) == 0 || ::chmod(native.constData(), 0700) == 0))
            return path;
        note(u"folderForUser()",
             path + QStringLiteral(" is not a private folder of user ") + QString::number(uid) + QStringLiteral(": using ") + fallback);
    }
    QDir().mkpath(fallback);
    return fallback;
}

QString SingleInstance::lockFilePath() const
{
    return m_folder + QStringLiteral("/" SORRELBY_BUNDLE_ID ".lock");
}

QString SingleInstance::serverName() const
{
    return m_folder + QStringLiteral("/" SORRELBY_BUNDLE_ID ".") + QString::number(::getuid()) + QStringLiteral(".socket");
}

bool SingleInstance::tryToRun()
{
    const QString op = QStringLiteral("tryToRun()");
    m_otherPid = 0;
    QDir().mkpath(m_folder);
    const QString path = lockFilePath();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        note(op, QStringLiteral("cannot open the lock ") + path + QStringLiteral(": ") + errnoText(errno));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK) {
            note(op, QStringLiteral("cannot lock ") + path + QStringLiteral(": ") + errnoText(error));
            return false;
        }
        // The holder writes its id right after locking; give it that moment.
        QDeadlineTimer deadline(500);
        while ((m_otherPid = pidIn(path)) == 0 && !deadline.hasExpired())
            QThread::msleep(20);
        note(op, QStringLiteral("lock held by PID ") + QString::number(m_otherPid));
        return false;
    }
    m_lockFd = fd;
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) != pid.size())
        note(op, QStringLiteral("lock taken, but our PID could not be written into it: ") + errnoText(errno));

    // A socket left by a copy that died would block listening.
    QLocalServer::removeServer(serverName());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(serverName()))
        note(op, QStringLiteral("cannot listen at ") + serverName() + QStringLiteral(": ") + m_server->errorString());
    return true;
}

bool SingleInstance::activateOther(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(timeoutMs)) {
        note(u"activateOther()", QStringLiteral("cannot reach the running copy: ") + socket.errorString());
        return false;
    }
    socket.write(cActivateRequest);
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    // Wait for the running copy to close the connection: then it has read
    // the request.
    if (sent && socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(timeoutMs);
    return sent;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray request = socket->readLine();
            if (request == cActivateRequest) {
                note(u"onNewConnection()", QStringLiteral("another copy asks us to come to the front...."));
                Q_EMIT activationRequested();
            }
            socket->disconnectFromServer();
        });
    }
}

} // namespace sorrelby
