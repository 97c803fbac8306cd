// bench-delivery-window: "deliver" pressed in the browser window over 500
// photos (50 cards, each followed by 9 portraits), to the summary sheet.
// Prints
//   BENCH delivery_window_first_line   to the first progress line in the dialog
//   BENCH delivery_window_to_summary   to the summary sheet
//   BENCH delivery_window_paced        of which the 0.1 s pause after each photo
//   BENCH delivery_window_stall        longest GUI stall meanwhile
// The photos are small stand-ins: delivery moves files and never reads them.

#include "app/MainWindow.h"
#include "bench/BenchOutput.h"
#include "bench/GuiBench.h"
#include "browser/ViewController.h"
#include "browser/widgets/BrowserView.h"
#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/widgets/CopyToMainFolderViewController.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

using namespace sorrelby;
using namespace sorrelby::bench;

int main(int argc, char **argv)
{
    QTemporaryDir root;
    qputenv("HOME", QFile::encodeName(root.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + QStringLiteral("/data")));
    qInstallMessageHandler(quietLog);
    QApplication app(argc, argv);
    Settings &settings = Settings::shared();
    settings.registerFactoryDefaults();
    coresLine("delivery_window");

    const QString source = root.path() + QStringLiteral("/source");
    const QString main = root.path() + QStringLiteral("/main");
    QDir().mkpath(source);
    QDir().mkpath(main);
    settings.setValue(cPrefDestinationPath, main);
    const QDateTime start = QDateTime::currentDateTime().addDays(-1);
    constexpr int cSubjects = 50;
    constexpr int cPerSubject = 9;
    int shot = 0;
    for (int s = 0; s < cSubjects; ++s) {
        const QString code = QStringLiteral("S%1").arg(s + 1, 3, 10, QLatin1Char('0'));
        for (int i = 0; i <= cPerSubject; ++i) {
            ++shot;
            const QString camera = QStringLiteral("IMG_%1").arg(shot, 4, 10, QLatin1Char('0'));
            const QString name
                = code + QLatin1Char('_') + camera + (i == 0 ? QStringLiteral("-qrcode") : QString()) + QStringLiteral(".JPG");
            QFile file(source + QLatin1Char('/') + name);
            if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(4096, char(shot))) != 4096)
                return 1;
            file.setFileTime(start.addSecs(shot), QFileDevice::FileModificationTime);
        }
    }
    note(QStringLiteral("%1 photos in %2").arg(shot).arg(source));

    ScriptedAlertPresenter alerts;
    alerts.queueAnswer(0);
    AlertPresenter::setShared(&alerts);
    SerialQueue work(QStringLiteral("com.halvane.vemo.sorrelby.decodequeue"));
    MainWindow window(nullptr, &work);
    window.show();
    ViewController *controller = window.browser()->controller();
    controller->pathtophotos = source;

    QElapsedTimer clock;
    StallMeter stall;

    qint64 firstLine = -1;
    CopyToMainFolderController &progress = window.progress();
    QObject::connect(&progress, &CopyToMainFolderController::changed, [&] {
        if (firstLine < 0 && progress.fProgressString.startsWith(QStringLiteral("Validating")))
            firstLine = clock.elapsed();
    });
    clock.start();
    stall.start();
    controller->finishProcessAction();
    if (!spinUntil([&] { return !alerts.shown().empty(); }))
        return 1;
    const qint64 toSummary = clock.elapsed();
    const double worstStall = stall.stop();
    note(alerts.shown().front().messageText + QLatin1Char(' ') + alerts.shown().front().informativeText);
    benchLine("delivery_window_first_line", double(firstLine), "ms");
    benchLine("delivery_window_to_summary", toSummary / 1000.0, "s");
    benchLine("delivery_window_paced", (shot + 2) * 0.1, "s");
    benchLine("delivery_window_stall", worstStall, "ms");
    spinUntil([&] { return !window.findChild<CopyToMainFolderViewController *>(); }, 10000);
    AlertPresenter::setShared(nullptr);
    return 0;
}
