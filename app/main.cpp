// vemo-sorrelby: command-line requests run without a display; everything else
// opens the window.

#include "app/cli/CommandLine.h"
#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    if (const auto status = sorrelby::cli::runIfCommandLine(argc, argv))
        return *status;

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vemo"));
    QApplication::setApplicationName(QStringLiteral(SORRELBY_BUNDLE_NAME));
    QApplication::setApplicationVersion(QStringLiteral(SORRELBY_VERSION));
    sorrelby::MainWindow window;
    window.show();
    return app.exec();
}
