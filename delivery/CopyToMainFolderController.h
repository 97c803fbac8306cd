#pragma once
// What the delivery and decode progress dialog shows and does, without the
// window: one progress line, a per-item line, a busy indicator, a bar and one
// button ("close" or "Abort Process"). It answers "mycopytomainfolder"
// (delivery), "doqrtest" (the detecting pass) and "doqrtest3" (the
// name-carrying pass, camera by camera when asked) while its view is on
// screen, runs the work on the browser's work queue and shows what it
// reports. The summary of a delivery is a sheet that ends by itself; a
// delivery stopped by its drive, photos not delivered and cameras left
// behind are sheets that wait for the user.
//
// Owned by the dialog; lives on the GUI thread. Work already handed to the
// queue goes to its end when the dialog goes away; the browser is then still
// told to reload.

#include "delivery/DeliveryRun.h"
#include "naming/DecodePass.h"
#include "platform/NotificationCenter.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace sorrelby {

class SerialQueue;

inline constexpr QLatin1StringView cButtonTitleClose{"close"};
inline constexpr QLatin1StringView cButtonTitleAbort{"Abort Process"};
inline constexpr QLatin1StringView cWillStartShortly{"Will start shortly.. Click close to close..."};

struct CopyToMainFolderOptions {
    // The browser's work queue. Required.
    SerialQueue *workQueue = nullptr;
    // The pause after each delivered photo and opening line, which paces the
    // window.
    double pauseSeconds = 0.1;
    // The delay between the refresh a close posts and the dismissal.
    double dismissDelaySeconds = 0.1;
    // Code detection of the detecting pass (doAutoQRCode when empty).
    DetectingPass::Detector detector;
};

class CopyToMainFolderController : public QObject {
    Q_OBJECT
public:
    using Options = CopyToMainFolderOptions;

    explicit CopyToMainFolderController(Options options, QObject *parent = nullptr);
    ~CopyToMainFolderController() override;

    // The sheets' window (none in tests).
    void setSheetWindow(QObject *window) { m_sheetWindow = window; }

    // The view on screen: observers on, "close", busy, "Will start shortly..".
    void viewDidLoad();
    // The view leaving the screen: every observer off.
    void viewWillDisappear();
    bool isObserving() const { return !m_observers.empty(); }

    // Notification handlers (any thread; the work starts on the GUI thread).
    void doNotification1(const Notification &notification);
    void doNotification2(const Notification &notification);
    void doNotification3(const Notification &notification);

    // The delivery of fSrcPath into fDestPath on the work queue.
    void ibDoMainStuff();
    // The button: "Abort Process" stops a detecting pass before its next
    // photo; anything else (or no sender) posts the refresh and dismisses.
    void doButton1(const std::optional<QString> &senderTitle = std::nullopt);

    // Runs a prepared delivery here, on the calling thread (the work queue),
    // showing its progress and its end in this dialog: what the hot folder
    // delivery uses, so that it follows its refresh with nothing in between.
    static DeliveryRunResult hostDelivery(QPointer<CopyToMainFolderController> self, DeliveryRun &run, double pauseSeconds);

    // The state the window shows.
    QString fProgressString;
    QString fProgressItemString;
    QString buttonTitle;
    bool buttonEnabled = false;
    bool busy = false;
    bool barVisible = false;
    int fMaxItemsToProcess = 0;
    int fItemsProcessed = 0;
    bool fProcessing = false;
    bool fDoKeepLastQRPhoto = false;
    std::optional<QString> fSrcPath;
    std::optional<QString> fDestPath;
    // Set by "Abort Process"; read by the detecting pass.
    std::atomic<bool> fAbortProcess{false};

    // Work handed to the queue and not yet ended.
    int pendingWork() const { return m_pending; }

    // Main-queue setters.
    void setProgressString(const QString &text);
    void setButton1Title(const QString &title);
    void startProgressindicator();
    void stopsProgressindicator();

Q_SIGNALS:
    void changed();
    // The dialog is to close.
    void dismissRequested();

private:
    void observe(const QString &name, void (CopyToMainFolderController::*handler)(const Notification &));
    void beginDecode(int count);
    void advanceDecode(const QString &itemText);
    void endDecode(bool detecting);
    void deliveryEnded(const DeliveryRunResult &result);
    void showSummary(const DeliverySummary &summary);
    // A sheet that waits for the user (never more than one at a time).
    void showProblems(const QString &title, AlertStyle style, const QStringList &lines);
    void beginWork() { ++m_pending; }
    void endWork() { --m_pending; }

    Options m_options;
    QPointer<QObject> m_sheetWindow;
    std::vector<ObserverRegistration> m_observers;
    std::weak_ptr<DetectingPass> m_detecting;
    int m_pending = 0;
    bool m_problemSheetOpen = false;
    quint64 m_dismissGeneration = 0;
};

} // namespace sorrelby
