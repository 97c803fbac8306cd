#include "support/CommandRunner.h"

#include "platform/Log.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <algorithm>

namespace sorrelby {

namespace {

void keepUpToLimit(QByteArray &output, const QByteArray &chunk)
{
    const qsizetype room = cMaxCommandOutput - output.size();
    if (room > 0)
        output.append(chunk.left(room));
}

} // namespace

std::optional<QString> runCommand(const QString &program, const QStringList &arguments, int timeoutMs)
{
    const QString className = QStringLiteral("CommandRunner");
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs)) {
        logOp(className, QStringLiteral("runCommand"), QStringLiteral("could not start %1: %2").arg(program, process.errorString()));
        return std::nullopt;
    }

    // Keep reading past the limit so a talkative program never blocks on a
    // full pipe; only the first cMaxCommandOutput bytes are kept.
    QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    bool timedOut = false;
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            timedOut = true;
            break;
        }
        const int slice = int(std::min<qint64>(deadline.remainingTime(), 100));
        if (!process.waitForReadyRead(slice) && process.state() != QProcess::NotRunning)
            process.waitForFinished(slice); // output closed early: wait for the end
        keepUpToLimit(output, process.readAllStandardOutput());
    }
    if (timedOut) {
        process.kill();
        process.waitForFinished(5000);
        logOp(className, QStringLiteral("runCommand"), QStringLiteral("%1 still running after %2 ms, stopped").arg(program).arg(timeoutMs));
        return std::nullopt;
    }
    keepUpToLimit(output, process.readAllStandardOutput());
    if (output.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(output);
}

} // namespace sorrelby
