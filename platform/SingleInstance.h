#pragma once
// One running copy per user. The first copy holds a kernel lock (flock) on a
// lock file and listens on a local socket beside it; a later copy finds the
// lock held, reads the holder's process id from the file, and asks the
// holder over the socket to raise its window. The kernel drops the lock when
// its holder dies, however it dies, so a lock file left behind (even an empty
// one) never blocks a start; its content only names the holder.
//
// Every process of the user must meet at the same lock whatever its
// environment, so the folder comes from the user id alone, never from
// XDG_RUNTIME_DIR or TMPDIR (see defaultFolder()). Main thread only.

#include <QObject>
#include <QString>

#include <memory>
#include <sys/types.h>

class QLocalServer;

namespace sorrelby {

// Names a folder for the lock instead of the user's own; test runs set it so
// that they never meet the user's copy or each other.
inline constexpr char cInstanceFolderVar[] = "SORRELBY_INSTANCE_FOLDER";

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock file and the socket live (defaultFolder() when
    // empty).
    explicit SingleInstance(const QString &folder = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening; false when another process holds
    // it (or no lock could be made at all, which is logged).
    bool tryToRun();
    // The process id of the copy holding the lock (after tryToRun failed);
    // 0 when unknown.
    qint64 otherProcessId() const { return m_otherPid; }
    // Asks the running copy to come to the front; returns whether it got the
    // request.
    bool activateOther(int timeoutMs = 2000);

    QString lockFilePath() const;
    QString serverName() const;

    // $SORRELBY_INSTANCE_FOLDER when set, else folderForUser() for this user
    // under /tmp, falling back to the home folder of the user's account.
    static QString defaultFolder();
    // "<tmpRoot>/com.halvane.vemo.sorrelby-<uid>", made private to the user
    // when missing; when it is not a real folder owned by that user alone (a
    // name taken by someone else), the fallback.
    static QString folderForUser(const QString &tmpRoot, uid_t uid, const QString &fallback);

Q_SIGNALS:
    // Another copy asked this one to come to the front.
    void activationRequested();

private:
    void onNewConnection();

    QString m_folder;
    int m_lockFd = -1;
    std::unique_ptr<QLocalServer> m_server;
    qint64 m_otherPid = 0;
};

} // namespace sorrelby
