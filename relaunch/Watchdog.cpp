#include "relaunch/Watchdog.h"
#include "platform/BundleResources.h"

#include "platform/Log.h"
#include "settings/Settings.h"
#include "support/LogFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("Watchdog");

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

// The socket to the watchdog (its standard input); -1 while none runs. Read
// by the signal handlers, hence atomic.
std::atomic<int> g_controlFd{-1};
QPointer<QProcess> g_watchdog;
bool g_watching = false;

// Main-thread handlers of caught signals, fed through a pipe that the
// signal handler writes one byte into.
int g_signalPipe[2] = {-1, -1};
std::map<int, std::function<void()>> g_handlers;

// What the crash handler writes: prepared beforehand, since nothing may be
// formatted inside a signal handler.
struct CrashText {
    char logLine[160];
    size_t logLength;
    char control[24];
    size_t controlLength;
};
CrashText g_crashText[32];

QString signalName(int signo)
{
    const char *abbrev = ::sigabbrev_np(signo);
    return abbrev ? QStringLiteral("SIG") + QString::fromLatin1(abbrev) : QString::number(signo);
}

void sendControl(const char *text, size_t length)
{
    const int fd = g_controlFd.load();
    if (fd >= 0)
        ::send(fd, text, length, MSG_NOSIGNAL);
}

extern "C" void forwardSignal(int signo)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

extern "C" void exitOnSignal(int signo)
{
    const CrashText &text = g_crashText[signo];
    sendControl(text.control, text.controlLength);
    [[maybe_unused]] ssize_t ignored = ::write(2, text.logLine, text.logLength);
    ::_exit(signo);
}

bool install(int signo, void (*handler)(int))
{
    struct sigaction action { };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // On the alternate stack, so that a stack overflow on the main thread
    // still reaches the handler.
    action.sa_flags = SA_RESTART | SA_ONSTACK;
    if (::sigaction(signo, &action, nullptr) == 0)
        return true;
    note(u"catchSignal(_:withHandler:)",
         QStringLiteral("tried to ignore %1 but got '%2'").arg(signalName(signo), QString::fromLocal8Bit(std::strerror(errno))));
    return false;
}

void dispatchCaughtSignals()
{
    unsigned char byte = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1) {
        const auto it = g_handlers.find(byte);
        if (it != g_handlers.end())
            it->second();
    }
}

} // namespace

bool Watchdog::catchSignal(int signo, std::function<void()> handler)
{
    if (g_signalPipe[0] < 0) {
        if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            note(u"catchSignal(_:withHandler:)", QStringLiteral("no pipe for signals: ") + QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { dispatchCaughtSignals(); });
    }
    g_handlers[signo] = std::move(handler);
    return install(signo, forwardSignal);
}

void Watchdog::catchCrashSignals()
{
    static bool caught = false;
    if (caught)
        return;
    caught = true;
    const QString op = QStringLiteral("catchCrashSignals()");
    static char alternateStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);
    catchSignal(SIGHUP, [op] { note(op, QStringLiteral("Caught SIGHUP ... ignoring.")); });
    catchSignal(SIGTERM, [op] {
        note(op, QStringLiteral("Caught SIGTERM ... terminating."));
        QCoreApplication::quit();
    });
    for (int signo = 2; signo <= 14; ++signo) {
        if (signo == SIGKILL)
            continue;
        // A write to a closed pipe or socket is an error of that write (Qt's
        // sockets expect exactly that), never a reason to end in the middle
        // of a delivery.
        if (signo == SIGPIPE) {
            ::signal(SIGPIPE, SIG_IGN);
            continue;
        }
        CrashText &text = g_crashText[signo];
        // No time stamp: nothing may be formatted inside the handler.
        const QByteArray line = QByteArrayLiteral(SORRELBY_EXECUTABLE "[") + QByteArray::number(QCoreApplication::applicationPid()) + "] "
            + opLine(cClass, op, QStringLiteral("Caught %1 ... exiting with status %2.").arg(signalName(signo)).arg(signo)).toUtf8() + '\n';
        text.logLength = std::min(sizeof text.logLine, size_t(line.size()));
        std::memcpy(text.logLine, line.constData(), text.logLength);
        const QByteArray control = "signal " + QByteArray::number(signo) + '\n';
        text.controlLength = size_t(control.size());
        std::memcpy(text.control, control.constData(), text.controlLength);
        install(signo, exitOnSignal);
    }
}

void Watchdog::keepUsRunning()
{
    static bool once = false;
    if (once)
        return;
    once = true;
    const QString op = QStringLiteral("keepUsRunning()");
    const QString path = helperExecutable(QStringLiteral("watchdog"));
    if (!QFileInfo(path).isExecutable()) {
        note(op, QStringLiteral("missing %1! Unexpected termination will not be monitored.").arg(path));
        return;
    }
    int control[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control) != 0) {
        note(op,
             QStringLiteral("no socket for the watchdog: ") + QString::fromLocal8Bit(std::strerror(errno))
                 + QStringLiteral(". Unexpected termination will not be monitored."));
        return;
    }
    // Before the watchdog watches: from then on no signal may end us
    // without it learning why.
    catchCrashSignals();
    auto *process = new QProcess(QCoreApplication::instance());
    process->setProgram(path);
    process->setArguments({QString::number(QCoreApplication::applicationPid()), TRUVO_Log::logFilePath()});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const int childEnd = control[1];
    process->setChildProcessModifier([childEnd] { ::dup2(childEnd, 0); });
    QObject::connect(process, &QProcess::finished, process, [path](int exitCode) {
        g_watching = false;
        note(u"keepUsRunning()", QStringLiteral("%1 has terminated with exit code %2").arg(path).arg(exitCode));
    });
    // Our end is in place before the watchdog can watch, so that a signal
    // from then on is reported to it.
    g_controlFd = control[0];
    process->start();
    ::close(childEnd);
    if (!process->waitForStarted(5000)) {
        note(op, QStringLiteral("cannot start %1: %2. Unexpected termination will not be monitored.").arg(path, process->errorString()));
        g_controlFd = -1;
        ::close(control[0]);
        delete process;
        return;
    }
    g_watchdog = process;
    // It answers once it holds our pidfd; only then may we vanish.
    pollfd pfd{control[0], POLLIN, 0};
    char answer[16] = {};
    if (::poll(&pfd, 1, 5000) == 1 && ::recv(control[0], answer, sizeof answer - 1, 0) > 0 && qstrcmp(answer, "watching\n") == 0) {
        g_watching = true;
        note(op, QStringLiteral("watchdog PID %1 is watching us").arg(process->processId()));
    } else {
        note(op, QStringLiteral("the watchdog did not answer; unexpected termination may not be monitored"));
    }

    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, process, [] { stopKeepingUsRunning(); });
}

void Watchdog::stopKeepingUsRunning()
{
    const int fd = g_controlFd.exchange(-1);
    g_watching = false;
    if (fd >= 0) {
        static const char cQuit[] = "quit\n";
        ::send(fd, cQuit, sizeof cQuit - 1, MSG_NOSIGNAL);
        ::close(fd);
    }
    QProcess *process = g_watchdog;
    if (!process || process->state() == QProcess::NotRunning)
        return;
    note(u"stopKeepingUsRunning()");
    // Wait for it, or our own end could still look like a crash to it.
    if (!process->waitForFinished(2000)) {
        process->terminate();
        if (!process->waitForFinished(2000))
            process->kill();
    }
}

bool Watchdog::isKeepingUsRunning()
{
    return g_watching && g_watchdog && g_watchdog->state() == QProcess::Running;
}

bool Watchdog::shouldKeepRunning(const QStringList &arguments, const QDateTime &now, int launches, double seconds,
                                 const EscapeBlock &escape)
{
    const QString op = QStringLiteral("autoRelaunchUnless(_:relaunchesWithin:secondsThenEscape:)");
    Settings &settings = Settings::shared();
    const QString key = QString::fromLatin1(cRecentLaunchDatesKey);
    if (launches != 0 && !arguments.contains(QLatin1String(cAutorelaunchedArgument))) {
        settings.remove(key);
        settings.flush();
        return true;
    }
    QVariantList dates = settings.value(key).toList();
    double interval = seconds;
    if (launches > 0 && dates.size() >= launches) {
        const QVariant &nth = dates.at(dates.size() - launches);
        if (nth.typeId() == QMetaType::QDateTime && nth.toDateTime().isValid())
            interval = double(nth.toDateTime().msecsTo(now)) / 1000.0;
    }
    note(op, QStringLiteral("automatically relaunched due to unexpected termination"));
    bool watch = true;
    if (launches == 0 || interval < seconds) {
        watch = escape && escape(launches, interval);
        note(op,
             QStringLiteral("%1setting auto-relaunch because interval since %2 previous launches is less than %3 sec (%4)")
                 .arg(watch ? QString() : QStringLiteral("NOT "))
                 .arg(launches)
                 .arg(seconds, 0, 'f', 1)
                 .arg(interval, 0, 'f', 0));
    }
    dates.append(now);
    // Only the last `launches` dates are ever looked at.
    while (dates.size() > std::max(launches, 1))
        dates.removeFirst();
    settings.setValue(key, dates);
    // A crash right after this must not lose the count.
    settings.flush();
    return watch;
}

void Watchdog::autoRelaunchUnless(int launches, double seconds, const EscapeBlock &escape)
{
    if (shouldKeepRunning(QCoreApplication::arguments(), QDateTime::currentDateTime(), launches, seconds, escape))
        keepUsRunning();
}

bool Watchdog::quitAndRelaunch()
{
    const QString op = QStringLiteral("quitAndRelaunch()");
    keepUsRunning();
    if (!isKeepingUsRunning()) {
        note(op, QStringLiteral("no watchdog runs to start us again: not quitting"));
        return false;
    }
    note(op, QStringLiteral("exiting now; the watchdog starts us again"));
    Settings::shared().flush();
    static const char cRelaunch[] = "relaunch\n";
    sendControl(cRelaunch, sizeof cRelaunch - 1);
    ::_exit(0);
}

} // namespace sorrelby
