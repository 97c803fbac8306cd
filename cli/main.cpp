// vemo-sorrelby: the commands run here, without a display and without the
// window's libraries; everything else is the window's, a program of its own
// that takes this process over (same process id, arguments and surroundings).

#include "cli/CommandLine.h"
#include "platform/BundleResources.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

bool mayHaveDisplay()
{
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY")
        || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char **argv)
{
    if (const auto status = sorrelby::cli::runIfCommandLine(argc, argv))
        return *status;
    if (!mayHaveDisplay()) {
        sorrelby::cli::printErr(
            QStringLiteral(SORRELBY_EXECUTABLE ": no display to open the window on; the commands work without one (see --help)"));
        return 1;
    }
    const QByteArray window = QFile::encodeName(sorrelby::helperExecutable(QStringLiteral(SORRELBY_WINDOW_EXECUTABLE)));
    ::execv(window.constData(), argv);
    sorrelby::cli::printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot start the window (%1): %2")
                                .arg(QFile::decodeName(window), QString::fromLocal8Bit(std::strerror(errno))));
    return 1;
}
