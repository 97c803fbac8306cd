#pragma once
// The copies of the program and their watchdogs that a test started, found
// through /proc by this test process's HOME (which they all inherit), so
// that a test can end every one of them, also those a watchdog started.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace sorrelby::testkit {

struct AppProcess {
    qint64 pid = 0;
    bool watchdog = false;
};

inline QString binFolder()
{
    return QFileInfo(QStringLiteral(SORRELBY_APP_PATH)).absolutePath();
}

inline bool hasEnded(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.size() <= close + 2 || text.at(close + 2) == 'Z';
}

// Running (not ended) copies of the program and watchdogs from this HOME.
inline QList<AppProcess> processesStartedHere()
{
    const QByteArray home = "HOME=" + qgetenv("HOME");
    const QString app = QFileInfo(QStringLiteral(SORRELBY_APP_PATH)).canonicalFilePath();
    const QString watchdog = binFolder() + QStringLiteral("/watchdog");
    const QString relaunch = binFolder() + QStringLiteral("/relaunch");
    const QString probe = binFolder() + QStringLiteral("/quit-and-relaunch-probe");
    // The command line hands the window to its own program.
    const QString window = binFolder() + QStringLiteral("/vemo-sorrelby-window");
    QList<AppProcess> found;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || pid == ::getpid() || hasEnded(pid))
            continue;
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (exe != app && exe != window && exe != probe && exe != watchdog && exe != relaunch)
            continue;
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (!environ.open(QIODevice::ReadOnly) || !environ.readAll().split('\0').contains(home))
            continue;
        found.append({pid, exe == watchdog || exe == relaunch});
    }
    return found;
}

// Ends them all, the watchdogs first so that none starts a copy again.
inline void endProcessesStartedHere()
{
    for (int round = 0; round < 200; ++round) {
        const QList<AppProcess> left = processesStartedHere();
        if (left.isEmpty())
            return;
        for (const AppProcess &process : left) {
            if (process.watchdog)
                ::kill(pid_t(process.pid), SIGKILL);
        }
        for (const AppProcess &process : left) {
            if (!process.watchdog)
                ::kill(pid_t(process.pid), SIGKILL);
        }
        QThread::msleep(10);
    }
}

} // namespace sorrelby::testkit
