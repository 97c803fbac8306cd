// `deliver [--verbose] SOURCE DEST`: delivers a sorted shoot as the finish
// button does, with DEST as the main folder of the run. Coded photos move from
// SOURCE into DEST's daily sub-folder (cPrefDailyFolderDateFormat; DEST itself
// without a pattern), card photos go to the trash (the newest are kept with
// cPrefKeepLastQRCodeFile or in hot folder mode), and photos without a code
// go into DEST/UNASSIGNED_PHOTOS (with the daily sub-folder) or stay, as the
// settings say. Nothing is created outside DEST, nor DEST itself:
// cPrefDestinationPath is not used. There is no pause between photos. Prints
// the summary (one per camera when delivering camera by camera); exit 0 when
// every allowed photo was moved, 3 when the summary reports possible issues or
// the run stopped at a full, read-only, failing or vanished drive (the rest
// stays in SOURCE) or files that are no photos to deliver stay in SOURCE
// (each named on standard error), 1 on an error.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "delivery/DeliveryRun.h"
#include "platform/FolderAbilities.h"
#include "platform/Log.h"
#include "roster/DeliveryReport.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/ShootEngine.h"

#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("deliver");

// The current photo on one line redrawn in place, on a terminal only.
void showProgress(const QString &line)
{
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    if (!terminal)
        return;
    const QByteArray text = QString(line).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified().toUtf8();
    std::fprintf(stderr, "\r\033[K%s", text.constData());
    std::fflush(stderr);
}

void endProgress()
{
    if (::isatty(STDERR_FILENO) == 1) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
}

} // namespace

int runDeliverCommand(const QStringList &args)
{
    // "--verbose" is taken (and honoured) before the command runs.
    const std::optional<QStringList> folders = plainOperands(args, kUsage, 2);
    if (!folders)
        return kExitUsage;

    const QString source = absolutePath((*folders)[0]);
    const QString destination = absolutePath((*folders)[1]);
    if (!QFileInfo(source).isDir()) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": the source \"%1\" is not a folder").arg(source));
        return kExitFailure;
    }
    // Made here it could only stand where a drive should be mounted.
    if (!QFileInfo(destination).isDir()) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE
                                ": the main folder \"%1\" is not a folder (is its drive mounted?); nothing is made in its place")
                     .arg(destination));
        return kExitFailure;
    }

    logOp(u"deliver", u"abilities", folderAbilities(source).describe());
    logOp(u"deliver", u"abilities", folderAbilities(destination).describe());

    Settings &settings = Settings::shared();
    // One moment for the daily sub-folder of both DEST and UNASSIGNED_PHOTOS.
    const QDateTime now = QDateTime::currentDateTime();
    QString dailyFolder = destination;
    if (const std::optional<QString> pattern = settings.optionalString(cPrefDailyFolderDateFormat)) {
        const QString name = preferenceops::performDateFormatString(*pattern, now);
        if (!name.isEmpty())
            dailyFolder = preferenceops::dailyFolderPath(destination, name);
    }
    ShootRequest request{ShootOperation::Deliver};
    request.destination = dailyFolder;
    request.mainFolder = destination;
    request.pauseSeconds = 0;
    request.deliveryTime = now;
    ShootEngine &engine = ShootEngines::shared().forFolder(source);
    // With a class list, the report of what went out lands beside the photos,
    // as it does from the window.
    const DeliveryReporter reporter(ShootEngines::shared(), settings);
    // On the engine's queue, while this thread waits for the result.
    const QMetaObject::Connection connection = QObject::connect(
        &engine, &ShootEngine::operationProgressed, &engine,
        [](const ShootProgress &p) {
            if (!p.text.isEmpty())
                showProgress(p.text);
        },
        Qt::DirectConnection);
    const ShootResult outcome = engine.run(std::move(request));
    QObject::disconnect(connection);
    endProgress();
    if (!outcome.delivery) {
        if (outcome.folderUnreadable)
            return unreadableFolder(source, outcome.reason);
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + outcome.reason);
        return kExitFailure;
    }
    const DeliveryRunResult &result = *outcome.delivery;

    switch (result.status) {
    case DeliveryStatus::Finished:
    case DeliveryStatus::Stopped:
        break;
    case DeliveryStatus::UnableToSort:
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.alert->messageText + QStringLiteral(": ")
                 + result.alert->informativeText);
        return kExitFailure;
    default:
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot read the source folder \"%1\"").arg(source));
        return kExitFailure;
    }

    bool issues = false;
    const bool hotFolderMode = settings.boolValue(cPrefEnableHotFolderMode);
    for (const DeliveryBatchResult &batch : result.batches) {
        // Camera by camera the dialog shows no summary; here each camera has one.
        const DeliverySummary summary = batch.summary.value_or(makeDeliverySummary(batch.counters, hotFolderMode));
        if (!batch.cameraKey.isEmpty())
            printOut(QStringLiteral("Camera ") + batch.cameraKey + QLatin1Char(':'));
        printOut(summary.title);
        printOut(summary.message);
        for (const QString &failure : batch.failures)
            printErr(failure);
        issues = issues || summary.reportsIssues();
    }
    for (auto camera = result.camerasLeftBehind.cbegin(); camera != result.camerasLeftBehind.cend(); ++camera) {
        const QString key = camera.key().isEmpty() ? QStringLiteral("(no camera key)") : camera.key();
        printOut(QStringLiteral("%1 photo(s) of camera %2 stay in the source folder").arg(camera.value()).arg(key));
    }
    // Something that stays behind unsaid would pass for delivered.
    const int leftAlone = reportLeftAlone(result.leftAlone, source);
    if (result.stop) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.stop->describe());
        return kExitIssues;
    }
    return issues || leftAlone > 0 ? kExitIssues : kExitOk;
}

} // namespace sorrelby::cli
