#include "browser/PhotoOpener.h"

#include <QElapsedTimer>
#include <QProcess>

#include <memory>

namespace sorrelby {

void openWithDesktopViewer(const QString &path, std::function<void(bool opened)> done, const QString &launcher)
{
    // No parent: closing the window must not kill the launcher, which waits
    // on the viewer on some desktops.
    auto *process = new QProcess;
    process->setProgram(launcher);
    process->setArguments({path});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    // Its complaint belongs in the log, which is our standard error.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    auto clock = std::make_shared<QElapsedTimer>();
    auto answer = std::make_shared<std::function<void(bool)>>(std::move(done));
    const auto finish = [process, answer](bool opened) {
        if (*answer) {
            const auto call = std::move(*answer);
            *answer = nullptr;
            call(opened);
        }
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::errorOccurred, process, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(false);
    });
    QObject::connect(process, &QProcess::finished, process, [finish, clock](int code, QProcess::ExitStatus status) {
        finish((status == QProcess::NormalExit && code == 0) || clock->elapsed() >= cViewerTookItAfterMs);
    });
    clock->start();
    process->start();
}

} // namespace sorrelby
