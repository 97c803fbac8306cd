#pragma once
// One running copy per user. The first copy holds a lock file in the user's
// runtime folder (the lock records its process id) and listens on a local
// socket named with the bundle identifier and the user id; a later copy finds
// the lock held, learns the holder's process id from it, and asks the holder
// over the socket to raise its window. Main thread only.

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace sorrelby {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock file and the socket live (the runtime folder when
    // empty).
    explicit SingleInstance(const QString &folder = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening; false when another process holds
    // it. A lock left by a process that died is taken over.
    bool tryToRun();
    // The process id of the copy holding the lock (after tryToRun failed);
    // 0 when unknown.
    qint64 otherProcessId() const { return m_otherPid; }
    // Asks the running copy to come to the front; returns whether it got the
    // request.
    bool activateOther(int timeoutMs = 2000);

    QString lockFilePath() const;
    QString serverName() const;

Q_SIGNALS:
    // Another copy asked this one to come to the front.
    void activationRequested();

private:
    void onNewConnection();

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    qint64 m_otherPid = 0;
};

} // namespace sorrelby
