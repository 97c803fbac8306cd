#include "shoot/CopyToMainFolderController.h"

#include "naming/FileNameScheme.h"
#include "naming/PhotoRename.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "shoot/ShootEngine.h"

#include <QTimer>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("CopyToMainFolderViewController");

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

void postRefresh()
{
    NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
}

// Revert alone, undo, redo and a refresh are quick and have no dialog.
bool shownInTheDialog(ShootOperation operation)
{
    return operation != ShootOperation::Refresh && operation != ShootOperation::Revert && operation != ShootOperation::Undo
        && operation != ShootOperation::Redo;
}

bool delivers(ShootOperation operation)
{
    return operation == ShootOperation::Deliver || operation == ShootOperation::HotFolderBatch;
}

// What the watch command says of cameras it does not deliver, for the dialog.
QStringList describeCamerasLeftBehind(const DeliveryRunResult &result)
{
    QStringList lines;
    for (auto camera = result.camerasLeftBehind.cbegin(); camera != result.camerasLeftBehind.cend(); ++camera) {
        const QString key = camera.key().isEmpty() ? QStringLiteral("(no camera in the photo's data)") : camera.key();
        lines << QStringLiteral("%1 photo(s) of camera %2 stay in the source folder (camera not delivered)").arg(camera.value()).arg(key);
    }
    return lines;
}

} // namespace

CopyToMainFolderController::CopyToMainFolderController(ShootEngines &engines, QObject *parent)
    : QObject(parent)
    , m_engines(engines)
{
    // Queued to this thread: the engines report from their queue.
    connect(&engines, &ShootEngines::operationStarted, this, &CopyToMainFolderController::started, Qt::QueuedConnection);
    connect(&engines, &ShootEngines::operationProgressed, this, &CopyToMainFolderController::progressed, Qt::QueuedConnection);
    connect(&engines, &ShootEngines::operationFinished, this, &CopyToMainFolderController::finished, Qt::QueuedConnection);
}

CopyToMainFolderController::~CopyToMainFolderController() = default;

void CopyToMainFolderController::started(const ShootProgress &progress)
{
    if (!shownInTheDialog(progress.operation))
        return;
    note(u"viewDidLoad()", operationName(progress.operation) + QStringLiteral(" in ") + progress.folder);
    m_ticket = progress.ticket;
    m_folder = progress.folder;
    m_operation = progress.operation;
    fProcessing = true;
    busy = true;
    fItemsProcessed = 0;
    fMaxItemsToProcess = 0;
    fProgressItemString.clear();
    fCountString.clear();
    fPhotoInHand.clear();
    fTimeLeftString.clear();
    m_step.reset();
    m_timeLeft.restart();
    barVisible = true;
    if (delivers(progress.operation)) {
        buttonTitle = QString(cButtonTitleClose);
        fProgressString = QStringLiteral("Processing Files at:\n[") + progress.folder + QStringLiteral("]");
    } else {
        buttonTitle = QString(cButtonTitleAbort);
        fProgressString = QStringLiteral("Testing Testing Auto QRCode Detection...");
    }
    buttonEnabled = true;
    Q_EMIT changed();
    Q_EMIT presentRequested();
}

void CopyToMainFolderController::progressed(const ShootProgress &progress)
{
    if (!m_ticket || progress.ticket != *m_ticket || progress.folder != m_folder)
        return;
    fItemsProcessed = progress.done;
    fMaxItemsToProcess = progress.total;
    if (m_step != progress.step) {
        m_step = progress.step;
        m_timeLeft.restart();
    }
    if (progress.step == ShootStep::Listing || progress.total <= 0) {
        fCountString.clear();
        fPhotoInHand.clear();
        fTimeLeftString.clear();
    } else {
        fCountString = QStringLiteral("%1 of %2").arg(progress.done).arg(progress.total);
        fPhotoInHand = fileNameOf(progress.photo);
        m_timeLeft.update(progress.done, progress.total);
        fTimeLeftString = m_timeLeft.text();
    }
    switch (progress.step) {
    case ShootStep::Listing:
        break;
    case ShootStep::Reverting:
        fProgressItemString = QStringLiteral("Reverting Item: %1").arg(progress.done);
        break;
    case ShootStep::Restoring:
        fProgressItemString = QStringLiteral("Restoring Item: %1").arg(progress.done);
        break;
    case ShootStep::Detecting:
        fProgressItemString = QStringLiteral("Decoding Item: %1").arg(progress.done);
        if (!progress.text.isEmpty())
            fProgressString = progress.text;
        break;
    case ShootStep::CarryingCodes:
        fProgressItemString = QStringLiteral("progressXXX = [") + (progress.text.isEmpty() ? QStringLiteral("<nothing>") : progress.text)
            + QLatin1Char(']');
        break;
    case ShootStep::Delivering:
        if (!progress.text.isEmpty())
            fProgressString = progress.text;
        fProgressItemString = progress.total > 0 ? QStringLiteral("Photo %1 of %2").arg(progress.done).arg(progress.total) : QString();
        break;
    }
    Q_EMIT changed();
}

void CopyToMainFolderController::finished(const ShootResult &result)
{
    if (!m_ticket || result.ticket != *m_ticket || result.folder != m_folder)
        return;
    m_ticket.reset();
    m_lastResult = result;
    fProcessing = false;
    busy = false;
    buttonTitle = QString(cButtonTitleClose);
    fTimeLeftString.clear();
    Q_EMIT changed();
    if (result.delivery)
        deliveryEnded(*result.delivery);
    else
        decodeEnded(result);
}

void CopyToMainFolderController::decodeEnded(const ShootResult &result)
{
    if (result.outcome == ShootResult::Outcome::NotRun && result.folderUnreadable) {
        fProgressString = QStringLiteral("The folder %1 could not be read: %2").arg(result.folder, result.reason);
        Q_EMIT changed();
        showProblems(QStringLiteral("!!! Unable to Read the Folder !!!"), AlertStyle::Critical, {fProgressString});
        return;
    }
    if (!result.problems.isEmpty()) {
        showProblems(QStringLiteral("!!! Some Photos Kept Their Names !!!"), AlertStyle::Warning,
                     {keptNamesText(result.problems, QString()).trimmed()});
        return;
    }
    dismissWhenIdle();
}

void CopyToMainFolderController::deliveryEnded(const DeliveryRunResult &result)
{
    QStringList failures;
    for (const DeliveryBatchResult &batch : result.batches)
        failures += batch.failures;
    if (result.status == DeliveryStatus::Stopped) {
        // The drive failed: the dialog says so until someone has read it.
        fProgressString = describeDeliveryStop(result);
        Q_EMIT changed();
        showProblems(QStringLiteral("!!! Delivery Stopped !!!"), AlertStyle::Critical,
                     QStringList{describeDeliveryStop(result)} + failures + describeCamerasLeftBehind(result));
        return;
    }
    if (result.status != DeliveryStatus::Finished) {
        // The dialog stays open on what went wrong.
        fProgressString = describeDeliveryStop(result);
        Q_EMIT changed();
        if (result.alert)
            AlertPresenter::shared().beginSheet(*result.alert, m_sheetWindow.data(), {});
        return;
    }
    if (result.end == DeliveryEnd::ShowSummary && !result.batches.isEmpty() && result.batches.last().summary) {
        DeliverySummary summary = *result.batches.last().summary;
        // Files that are no photos stay behind; a summary that left them out
        // would read as a folder delivered whole.
        if (!result.leftAlone.isEmpty()) {
            constexpr qsizetype cShown = 12;
            QStringList lines = describeLeftAlone(result.leftAlone.mid(0, cShown));
            if (result.leftAlone.size() > cShown)
                lines << QStringLiteral("... and %1 more").arg(result.leftAlone.size() - cShown);
            summary.message += QStringLiteral("\n\n%1 file(s) left in the source folder, not delivered:\n").arg(result.leftAlone.size())
                + lines.join(QLatin1Char('\n'));
        }
        showSummary(summary);
        return;
    }
    // Camera by camera there is no summary; photos that could not be moved
    // or were not meant to be must not pass in silence all the same.
    if (!failures.isEmpty()) {
        showProblems(QStringLiteral("!!! Some Photos Were NOT Delivered !!!"), AlertStyle::Critical,
                     QStringList{QStringLiteral("They stay in the source folder:")} + failures + describeCamerasLeftBehind(result));
        return;
    }
    if (!result.camerasLeftBehind.isEmpty()) {
        showProblems(QStringLiteral("Some Photos Stay in the Source Folder"), AlertStyle::Warning,
                     describeCamerasLeftBehind(result)
                         + QStringList{QStringLiteral("Camera by camera, only Nikon and Canon cameras are delivered.")});
        return;
    }
    doButton1();
}

void CopyToMainFolderController::showProblems(const QString &title, AlertStyle style, const QStringList &lines)
{
    for (const QString &line : lines)
        note(u"finishProcessxxx2(_:destPath:)", QStringLiteral("REPORTED: ") + line);
    // One sheet at a time: in hot folder mode the next batch may end the same
    // way while nobody is at the desk.
    if (m_sheetsOpen > 0)
        return;
    Alert alert;
    alert.style = style;
    alert.messageText = title;
    alert.informativeText = QLatin1Char('\n') + lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n");
    const QPointer<CopyToMainFolderController> self(this);
    ++m_sheetsOpen;
    AlertPresenter::shared().beginSheet(alert, m_sheetWindow.data(), [self](AlertAnswer) {
        if (!self) {
            postRefresh();
            return;
        }
        --self->m_sheetsOpen;
        self->doButton1();
    });
}

void CopyToMainFolderController::showSummary(const DeliverySummary &summary)
{
    note(u"finishProcessxxx2(_:destPath:)", QStringLiteral("Showing ALERT Sheet beingSheetModal......"));
    Alert alert;
    // A summary with something to act on waits until someone has read it.
    alert.style = summary.problem ? AlertStyle::Warning : AlertStyle::Informational;
    alert.messageText = summary.title;
    alert.informativeText = summary.message;
    if (!summary.whereabouts.isEmpty())
        alert.informativeText += QStringLiteral("\n\n") + summary.whereabouts.join(QLatin1Char('\n'));
    alert.autoDismissSeconds = summary.problem ? 0 : summary.autoCloseSeconds;
    const QPointer<CopyToMainFolderController> self(this);
    ++m_sheetsOpen; // the sheet holds the dialog open
    AlertPresenter::shared().beginSheet(alert, m_sheetWindow.data(), [self](AlertAnswer) {
        if (!self) {
            postRefresh();
            return;
        }
        --self->m_sheetsOpen;
        self->doButton1();
    });
}

void CopyToMainFolderController::doButton1(const std::optional<QString> &senderTitle)
{
    if (senderTitle && senderTitle->compare(cButtonTitleAbort, Qt::CaseInsensitive) == 0) {
        note(u"doButton1(_:)", QStringLiteral("Abort Process"));
        m_engines.abort();
        return;
    }
    postRefresh();
    const bool byUser = senderTitle.has_value();
    const quint64 generation = ++m_dismissGeneration;
    QTimer::singleShot(100, this, [this, byUser, generation] {
        // The end of one operation leaves the dialog to the next one begun
        // meanwhile; the user's close always closes.
        if (generation != m_dismissGeneration || (!byUser && (fProcessing || m_sheetsOpen > 0)))
            return;
        Q_EMIT dismissRequested();
    });
}

void CopyToMainFolderController::dismissWhenIdle()
{
    if (!fProcessing && m_sheetsOpen == 0)
        Q_EMIT dismissRequested();
}

} // namespace sorrelby
