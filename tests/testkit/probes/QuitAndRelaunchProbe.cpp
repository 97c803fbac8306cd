// A stand-in for the application in the test of the daily relaunch's exit:
// started plainly, it changes a setting, is watched, and quits for the
// relaunch; started again by the watchdog, it writes what it finds of that
// setting into the file named by its first argument and ends.

#include "platform/UserFolders.h"
#include "relaunch/Watchdog.h"
#include "settings/Settings.h"
#include "support/LogFile.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char **argv)
{
    sorrelby::installLogMessageHandler();
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vemo"));
    QCoreApplication::setApplicationName(QStringLiteral(SORRELBY_BUNDLE_NAME));
    sorrelby::routeLogToFile(sorrelby::userfolders::logFilePath());
    const QStringList args = QCoreApplication::arguments();
    sorrelby::Settings &settings = sorrelby::Settings::shared();
    if (args.contains(QLatin1String(sorrelby::Watchdog::cAutorelaunchedArgument))) {
        QFile out(args.value(1));
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        out.write(settings.stringValue(QStringLiteral("probeValue")).toUtf8());
        return 0;
    }
    settings.setValue(QStringLiteral("probeValue"), QStringLiteral("written just before"));
    sorrelby::Watchdog::keepUsRunning();
    sorrelby::Watchdog::quitAndRelaunch();
    return 3; // no watchdog
}
