#include "platform/FaultPoints.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace sorrelby::faults {

namespace {

struct State {
    std::mutex mutex;
    Plan plan;
    QByteArray stepLog;
};

State &state()
{
    static State s;
    return s;
}

std::atomic<bool> g_armed{false};
std::atomic<int> g_steps{0};
std::once_flag g_fromEnvironment;

int intFromEnvironment(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

void arm(const Plan &plan)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.plan = plan;
    if (s.plan.error == 0)
        s.plan.error = ENOSPC;
    s.stepLog = QFile::encodeName(plan.stepLog);
    g_steps = 0;
    g_armed = plan.killAfter > 0 || plan.stopAfter > 0 || plan.failAfter >= 0 || !plan.stepLog.isEmpty();
}

void readEnvironment()
{
    std::call_once(g_fromEnvironment, [] {
        Plan plan;
        plan.killAfter = intFromEnvironment(cKillAfterVar, 0);
        plan.stopAfter = intFromEnvironment(cStopAfterVar, 0);
        plan.failAfter = intFromEnvironment(cFailAfterVar, -1);
        plan.error = errnoFromName(qEnvironmentVariable(cErrnoVar));
        plan.stepLog = qEnvironmentVariable(cStepLogVar);
        if (plan.killAfter > 0 || plan.stopAfter > 0 || plan.failAfter >= 0 || !plan.stepLog.isEmpty())
            arm(plan);
    });
}

// One line appended with one write(), so that a kill right after it keeps it.
void logStep(const QByteArray &log, int step, const char *what, const QByteArray &path)
{
    const int fd = ::open(log.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray line = QByteArray::number(step) + ' ' + what + ' ' + path + '\n';
    [[maybe_unused]] const ssize_t written = ::write(fd, line.constData(), size_t(line.size()));
    ::close(fd);
}

} // namespace

void setPlan(const Plan &plan)
{
    std::call_once(g_fromEnvironment, [] {});
    arm(plan);
}

int before()
{
    readEnvironment();
    if (!g_armed.load(std::memory_order_relaxed))
        return 0;
    State &s = state();
    std::lock_guard lock(s.mutex);
    return s.plan.failAfter >= 0 && g_steps >= s.plan.failAfter ? s.plan.error : 0;
}

void after(const char *what, const QByteArray &path)
{
    readEnvironment();
    if (!g_armed.load(std::memory_order_relaxed))
        return;
    State &s = state();
    std::unique_lock lock(s.mutex);
    const int step = ++g_steps;
    if (!s.stepLog.isEmpty())
        logStep(s.stepLog, step, what, path);
    const bool kill = s.plan.killAfter == step;
    const bool stop = s.plan.stopAfter == step;
    lock.unlock();
    if (kill)
        ::raise(SIGKILL);
    if (stop)
        ::raise(SIGSTOP);
}

int stepsTaken()
{
    return g_steps;
}

int errnoFromName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String("ENOSPC"))
        return ENOSPC;
    if (name == QLatin1String("EIO"))
        return EIO;
    if (name == QLatin1String("EROFS"))
        return EROFS;
    if (name == QLatin1String("ENOENT"))
        return ENOENT;
    if (name == QLatin1String("EACCES"))
        return EACCES;
    bool ok = false;
    const int number = name.toInt(&ok);
    return ok ? number : 0;
}

} // namespace sorrelby::faults
