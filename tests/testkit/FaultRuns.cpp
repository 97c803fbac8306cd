#include "tests/testkit/FaultRuns.h"

#include "platform/FaultPoints.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace sorrelby::testkit {

namespace {

ProgramRun finish(QProcess &process, const QString &program, int timeoutMs)
{
    const bool ended = process.waitForFinished(timeoutMs);
    EXPECT_TRUE(ended) << program.toStdString() << " did not end in time";
    if (!ended) {
        process.kill();
        process.waitForFinished(5000);
    }
    return {process.exitCode(), process.exitStatus() == QProcess::CrashExit, QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// 'T' (stopped) in /proc/<pid>/stat.
bool isStopped(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.size() > close + 2 && (text.at(close + 2) == 'T' || text.at(close + 2) == 't');
}

QString stepWhat(const QStringList &steps, int point)
{
    return point >= 1 && point <= steps.size() ? steps.at(point - 1).section(QLatin1Char(' '), 1) : QString();
}

} // namespace

QProcessEnvironment faultEnvironment(const FaultPlan &plan, const QProcessEnvironment &base)
{
    QProcessEnvironment env = base.isEmpty() ? QProcessEnvironment::systemEnvironment() : base;
    for (const char *var : {faults::cKillAfterVar, faults::cStopAfterVar, faults::cFailAfterVar, faults::cErrnoVar, faults::cStepLogVar})
        env.remove(QString::fromLatin1(var));
    if (plan.killAfter > 0)
        env.insert(QString::fromLatin1(faults::cKillAfterVar), QString::number(plan.killAfter));
    if (plan.stopAfter > 0)
        env.insert(QString::fromLatin1(faults::cStopAfterVar), QString::number(plan.stopAfter));
    if (plan.failAfter >= 0) {
        env.insert(QString::fromLatin1(faults::cFailAfterVar), QString::number(plan.failAfter));
        env.insert(QString::fromLatin1(faults::cErrnoVar), plan.error.isEmpty() ? QStringLiteral("ENOSPC") : plan.error);
    }
    if (!plan.stepLog.isEmpty())
        env.insert(QString::fromLatin1(faults::cStepLogVar), plan.stepLog);
    return env;
}

ProgramRun runWithFaults(const QString &program, const QStringList &args, const FaultPlan &plan, int timeoutMs,
                         const QProcessEnvironment &base)
{
    QProcess process;
    process.setProcessEnvironment(faultEnvironment(plan, base));
    process.start(program, args);
    return finish(process, program, timeoutMs);
}

QStringList stepsOf(const QString &program, const QStringList &args, int timeoutMs, const QProcessEnvironment &base)
{
    const QString log = makeTempFolder(QStringLiteral("steps")) + QStringLiteral("/steps.log");
    FaultPlan plan;
    plan.stepLog = log;
    runWithFaults(program, args, plan, timeoutMs, base);
    QStringList steps = QString::fromUtf8(readFile(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QFile::remove(log);
    return steps;
}

ProgramRun runStoppedAfter(const QString &program, const QStringList &args, int step, const std::function<void()> &meanwhile, int timeoutMs,
                           const QProcessEnvironment &base)
{
    FaultPlan plan;
    plan.stopAfter = step;
    QProcess process;
    process.setProcessEnvironment(faultEnvironment(plan, base));
    process.start(program, args);
    EXPECT_TRUE(process.waitForStarted(timeoutMs));
    const qint64 pid = process.processId();
    QDeadlineTimer deadline(timeoutMs);
    while (process.state() == QProcess::Running && !isStopped(pid) && !deadline.hasExpired())
        process.waitForFinished(5);
    if (process.state() == QProcess::Running && isStopped(pid)) {
        meanwhile();
        ::kill(pid_t(pid), SIGCONT);
    }
    return finish(process, program, timeoutMs);
}

KillSweepReport runKillSweep(const KillSweep &sweep)
{
    KillSweepReport report;
    sweep.prepare();
    report.steps = stepsOf(sweep.program, sweep.args, sweep.timeoutMs, sweep.environment);
    report.points = int(report.steps.size());
    EXPECT_GT(report.points, 0) << "the command took no file-changing step";
    EXPECT_LE(report.points, sweep.maxPoints);
    const int points = std::min(report.points, sweep.maxPoints);
    for (int point = 1; point <= points; ++point) {
        sweep.prepare();
        FaultPlan plan;
        plan.killAfter = point;
        const ProgramRun run = runWithFaults(sweep.program, sweep.args, plan, sweep.timeoutMs, sweep.environment);
        const QString where = QStringLiteral("point %1 (%2): ").arg(point).arg(stepWhat(report.steps, point));
        if (run.crashed && run.exitCode == SIGKILL)
            ++report.killed;
        else
            report.problems << where + QStringLiteral("not killed (exit %1): %2").arg(run.exitCode).arg(run.err.left(400));
        for (const QString &problem : sweep.restartAndCheck(point))
            report.problems << where + problem;
    }
    return report;
}

QByteArray contentDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result().toHex();
}

QMultiMap<QByteArray, QString> contentCensus(const QStringList &folders)
{
    QMultiMap<QByteArray, QString> census;
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            // A FIFO would block the read for ever; it holds no photo anyway.
            if (!it.fileInfo().isSymLink() && it.fileInfo().isFile())
                census.insert(contentDigest(path), path);
        }
    }
    return census;
}

void resetFolder(const QString &folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

} // namespace sorrelby::testkit
