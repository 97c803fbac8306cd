#include "delivery/CopyToMainFolderController.h"

#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/MainThreadObserver.h"
#include "settings/Settings.h"

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

// The end of a decode pass as the browser hears it.
void postDecodeEnded(bool detecting)
{
    if (detecting)
        NotificationCenter::defaultCenter().post(QStringLiteral("deselect"), {});
    postRefresh();
}

QStringList urlList(const Notification &notification)
{
    return notification.userInfo.value(QStringLiteral("fulSortedlUrlList")).toStringList();
}

std::optional<QString> textValue(const Notification &notification, const QString &key)
{
    const QString value = notification.userInfo.value(key).toString();
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

QString describeStop(const DeliveryRunResult &result)
{
    switch (result.status) {
    case DeliveryStatus::MissingSourcePath:
        return QStringLiteral("Nothing delivered: the source folder is not set.");
    case DeliveryStatus::MissingDestinationPath:
        return QStringLiteral("Nothing delivered: the destination folder is not set.");
    case DeliveryStatus::SourceUnreadable:
        return QStringLiteral("Nothing delivered: the source folder could not be read.");
    case DeliveryStatus::UnableToSort:
        return QStringLiteral("Nothing delivered: the photos could not be put in capture order.");
    case DeliveryStatus::Stopped:
        return result.stop ? result.stop->describe() : QString();
    case DeliveryStatus::Finished:
        break;
    }
    return {};
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

CopyToMainFolderController::CopyToMainFolderController(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    Q_ASSERT(m_options.workQueue);
}

CopyToMainFolderController::~CopyToMainFolderController()
{
    viewWillDisappear();
}

void CopyToMainFolderController::observe(const QString &name, void (CopyToMainFolderController::*handler)(const Notification &))
{
    m_observers.push_back(observeOnMainThread(this, name, handler));
}

void CopyToMainFolderController::viewDidLoad()
{
    note(u"viewDidLoad()");
    if (m_observers.empty()) {
        observe(QStringLiteral("mycopytomainfolder"), &CopyToMainFolderController::doNotification1);
        observe(QStringLiteral("doqrtest"), &CopyToMainFolderController::doNotification2);
        observe(QStringLiteral("doqrtest3"), &CopyToMainFolderController::doNotification3);
    }
    buttonTitle = QString(cButtonTitleClose);
    buttonEnabled = true;
    busy = true;
    fProgressString = QString(cWillStartShortly);
    Q_EMIT changed();
}

void CopyToMainFolderController::viewWillDisappear()
{
    if (!m_observers.empty())
        note(u"viewWillDisappear()", QStringLiteral("removing observers"));
    m_observers.clear();
}

void CopyToMainFolderController::setProgressString(const QString &text)
{
    fProgressString = text;
    Q_EMIT changed();
}

void CopyToMainFolderController::setButton1Title(const QString &title)
{
    buttonTitle = title;
    Q_EMIT changed();
}

void CopyToMainFolderController::startProgressindicator()
{
    busy = true;
    Q_EMIT changed();
}

void CopyToMainFolderController::stopsProgressindicator()
{
    busy = false;
    Q_EMIT changed();
}

// ---- delivery

void CopyToMainFolderController::doNotification1(const Notification &notification)
{
    note(u"doNotification1(_:)", QStringLiteral("command = ") + notification.userInfo.value(QStringLiteral("command")).toString());
    fSrcPath = textValue(notification, QStringLiteral("srcpath"));
    fDestPath = textValue(notification, QStringLiteral("destpath"));
    setProgressString(QStringLiteral("Processing Files at:\n[") + fSrcPath.value_or(QString()) + QStringLiteral("]"));
    ibDoMainStuff();
}

void CopyToMainFolderController::ibDoMainStuff()
{
    Settings &settings = Settings::shared();
    fDoKeepLastQRPhoto = DeliveryRun::keepLastQRPhotoSetting(settings);
    const QPointer<CopyToMainFolderController> self(this);
    const std::optional<QString> source = fSrcPath;
    const std::optional<QString> destination = fDestPath;
    const bool keep = fDoKeepLastQRPhoto;
    const double pause = m_options.pauseSeconds;
    m_options.workQueue->async([self, source, destination, keep, pause] {
        DeliveryRun run(Settings::shared());
        run.fSrcPath = source;
        run.fDestPath = destination;
        run.fDoKeepLastQRPhoto = keep;
        hostDelivery(self, run, pause);
    });
}

DeliveryRunResult CopyToMainFolderController::hostDelivery(QPointer<CopyToMainFolderController> self, DeliveryRun &run, double pauseSeconds)
{
    // Counted at once, so that a close already on its way does not take the
    // dialog from under this run.
    mainqueue::sync([&] {
        if (self)
            self->beginWork();
    });
    run.setPauseSeconds(pauseSeconds);
    run.setProgress([self](const QString &line) {
        mainqueue::async([self, line] {
            if (self)
                self->setProgressString(line);
        });
    });
    const DeliveryRunResult result = run.deliver();
    for (const DeliveryBatchResult &batch : result.batches) {
        for (const QString &failure : batch.failures)
            note(u"finishProcessxxx2(_:destPath:)", QStringLiteral("FAILED: ") + failure);
    }
    mainqueue::async([self, result] {
        if (!self) {
            postRefresh(); // the dialog was closed meanwhile; the folder changed all the same
            return;
        }
        self->endWork();
        self->deliveryEnded(result);
    });
    return result;
}

void CopyToMainFolderController::deliveryEnded(const DeliveryRunResult &result)
{
    QStringList failures;
    for (const DeliveryBatchResult &batch : result.batches)
        failures += batch.failures;
    if (result.status == DeliveryStatus::Stopped) {
        // The drive failed: the dialog says so until someone has read it.
        stopsProgressindicator();
        setProgressString(describeStop(result));
        showProblems(QStringLiteral("!!! Delivery Stopped !!!"), AlertStyle::Critical,
                     QStringList{describeStop(result)} + failures + describeCamerasLeftBehind(result));
        return;
    }
    if (result.status != DeliveryStatus::Finished) {
        // The dialog stays open on what went wrong.
        stopsProgressindicator();
        setProgressString(describeStop(result));
        if (result.alert)
            AlertPresenter::shared().beginSheet(*result.alert, m_sheetWindow.data(), {});
        return;
    }
    if (result.end == DeliveryEnd::ShowSummary && !result.batches.isEmpty() && result.batches.last().summary) {
        showSummary(*result.batches.last().summary);
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
    stopsProgressindicator();
    for (const QString &line : lines)
        note(u"finishProcessxxx2(_:destPath:)", QStringLiteral("REPORTED: ") + line);
    // One sheet at a time: in hot folder mode the next batch may end the same
    // way while nobody is at the desk.
    if (m_problemSheetOpen)
        return;
    Alert alert;
    alert.style = style;
    alert.messageText = title;
    alert.informativeText = QLatin1Char('\n') + lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n");
    const QPointer<CopyToMainFolderController> self(this);
    m_problemSheetOpen = true;
    beginWork(); // until someone has read it
    AlertPresenter::shared().beginSheet(alert, m_sheetWindow.data(), [self](AlertAnswer) {
        if (!self) {
            postRefresh();
            return;
        }
        self->m_problemSheetOpen = false;
        self->endWork();
        self->doButton1();
    });
}

void CopyToMainFolderController::showSummary(const DeliverySummary &summary)
{
    note(u"finishProcessxxx2(_:destPath:)", QStringLiteral("Showing ALERT Sheet beingSheetModal......"));
    stopsProgressindicator();
    Alert alert;
    alert.style = AlertStyle::Informational;
    alert.messageText = summary.title;
    alert.informativeText = summary.message;
    alert.autoDismissSeconds = summary.autoCloseSeconds;
    const QPointer<CopyToMainFolderController> self(this);
    beginWork(); // the sheet holds the dialog open
    AlertPresenter::shared().beginSheet(alert, m_sheetWindow.data(), [self](AlertAnswer) {
        if (!self) {
            postRefresh();
            return;
        }
        self->endWork();
        self->doButton1();
    });
}

void CopyToMainFolderController::doButton1(const std::optional<QString> &senderTitle)
{
    if (senderTitle && senderTitle->compare(cButtonTitleAbort, Qt::CaseInsensitive) == 0) {
        note(u"doButton1(_:)", QStringLiteral("Abort Process"));
        fAbortProcess.store(true);
        if (const std::shared_ptr<DetectingPass> pass = m_detecting.lock())
            pass->abort();
        return;
    }
    postRefresh();
    const bool byUser = senderTitle.has_value();
    const quint64 generation = ++m_dismissGeneration;
    QTimer::singleShot(int(m_options.dismissDelaySeconds * 1000), this, [this, byUser, generation] {
        // A close that ends one piece of work leaves the dialog to the next
        // one handed to it meanwhile; the user's close always closes.
        if (generation != m_dismissGeneration || (!byUser && m_pending > 0))
            return;
        Q_EMIT dismissRequested();
    });
}

// ---- decode passes

void CopyToMainFolderController::beginDecode(int count)
{
    buttonTitle = QString(cButtonTitleAbort);
    fProgressItemString.clear();
    barVisible = true;
    fItemsProcessed = 0;
    fProcessing = true;
    fProgressString = QStringLiteral("Testing Testing Auto QRCode Detection...");
    fMaxItemsToProcess = count;
    fAbortProcess.store(false);
    beginWork();
    Q_EMIT changed();
}

void CopyToMainFolderController::advanceDecode(const QString &itemText)
{
    ++fItemsProcessed;
    fProgressItemString = itemText;
    Q_EMIT changed();
}

void CopyToMainFolderController::endDecode(bool detecting)
{
    fProcessing = false;
    endWork();
    buttonTitle = QString(cButtonTitleClose);
    Q_EMIT changed();
    if (m_pending == 0)
        Q_EMIT dismissRequested();
    postDecodeEnded(detecting);
}

void CopyToMainFolderController::doNotification2(const Notification &notification)
{
    note(u"doNotification2(_:)");
    if (!DetectingPass::detectionAvailable())
        return;
    const QStringList urls = urlList(notification);
    note(u"doAutoDecodeQRAction(urls:)", QStringLiteral("%1 photos").arg(urls.size()));
    beginDecode(int(urls.size()));
    const QPointer<CopyToMainFolderController> self(this);
    auto pass = std::make_shared<DetectingPass>(m_options.detector);
    pass->setProgressHandler([self](int, int) {
        mainqueue::async([self] {
            if (self)
                self->advanceDecode(QStringLiteral("Decoding Item: ") + QString::number(self->fItemsProcessed + 1));
        });
    });
    pass->setFoundHandler([self](const QString &message) {
        mainqueue::async([self, message] {
            if (self)
                self->setProgressString(message);
        });
    });
    // "Abort Process" sets the pass's own flag: the photo in hand finishes
    // and the walk stops before the next.
    m_detecting = pass;
    m_options.workQueue->async([self, pass, urls] {
        pass->run(urls);
        mainqueue::async([self] {
            if (self)
                self->endDecode(true);
            else
                postDecodeEnded(true);
        });
    });
}

void CopyToMainFolderController::doNotification3(const Notification &notification)
{
    note(u"doNotification3(_:)");
    const QStringList urls = urlList(notification);
    beginDecode(int(urls.size()));
    const QPointer<CopyToMainFolderController> self(this);
    m_options.workQueue->async([self, urls] {
        NameCarryingPass pass;
        pass.doAutoDecodeQRAction3New(
            urls,
            [self](const std::optional<QString> &message, int, int) {
                const QString text = QStringLiteral("progressXXX = [") + message.value_or(QStringLiteral("<nothing>")) + QStringLiteral("]");
                mainqueue::async([self, text] {
                    if (self)
                        self->advanceDecode(text);
                });
            },
            [self] {
                mainqueue::async([self] {
                    if (self)
                        self->endDecode(false);
                    else
                        postDecodeEnded(false);
                });
            });
    });
}

} // namespace sorrelby
