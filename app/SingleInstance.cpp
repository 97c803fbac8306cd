#include "app/SingleInstance.h"

#include "platform/Log.h"
#include "platform/UserFolders.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QFile>
#include <QDeadlineTimer>
#include <QLockFile>
#include <QSysInfo>
#include <QThread>

#include <unistd.h>

namespace sorrelby {

namespace {

const QByteArray cActivateRequest = "activate\n";

void note(QStringView operation, const QString &detail)
{
    logOp(u"SingleInstance", operation, detail);
}

// A process that has ended but was not reaped yet (its parent is gone and
// nobody reaps orphans, as in some containers) still answers to kill(pid, 0),
// so the lock would look held by it for ever.
bool hasEnded(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.size() > close + 2 && text.at(close + 2) == 'Z';
}

} // namespace

SingleInstance::SingleInstance(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(folder.isEmpty() ? userfolders::runtimeDir() : folder)
{
}

SingleInstance::~SingleInstance() = default;

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
    m_lock = std::make_unique<QLockFile>(lockFilePath());
    // Never steal a lock because of its age: a copy may run for weeks.
    m_lock->setStaleLockTime(0);
    bool locked = m_lock->tryLock(0);
    qint64 holder = 0;
    QString holderHost, holderApp;
    if (!locked && m_lock->getLockInfo(&holder, &holderHost, &holderApp) && holder > 0
        && holderHost == QSysInfo::machineHostName() && hasEnded(holder)) {
        note(u"tryToRun()", QStringLiteral("lock left by PID ") + QString::number(holder) + QStringLiteral(", which has ended"));
        // Its last threads may still be closing its files for a moment.
        QDeadlineTimer deadline(2000);
        while (!(locked = m_lock->removeStaleLockFile() && m_lock->tryLock(0)) && !deadline.hasExpired())
            QThread::msleep(20);
    }
    if (!locked) {
        qint64 pid = 0;
        QString host, app;
        if (m_lock->getLockInfo(&pid, &host, &app))
            m_otherPid = pid;
        note(u"tryToRun()", QStringLiteral("lock held by PID ") + QString::number(m_otherPid) + QStringLiteral(" error = ") + QString::number(int(m_lock->error())));
        m_lock.reset();
        return false;
    }
    // A socket left by a copy that died would block listening.
    QLocalServer::removeServer(serverName());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(serverName()))
        note(u"tryToRun()", QStringLiteral("cannot listen at ") + serverName() + QStringLiteral(": ") + m_server->errorString());
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
