#pragma once
// What the progress dialog shows, without the window: one progress line, a
// per-item line, a busy indicator, a bar and one button ("close" or "Abort
// Process"). It follows the shoot engines and starts no work of its own:
// when a decode, a delivery or a hot folder batch begins it asks to be on
// screen, shows the operation's progress, and when it ends shows its outcome
// (the summary of a delivery as a sheet that ends by itself; a stopped
// delivery, photos not delivered or not renamed as sheets that wait for the
// user) before asking to be closed. "Abort Process" asks the engines to stop
// the decode under way after the photo in hand.
//
// One per main window, living as long as it; GUI thread. Whether the dialog
// is on screen changes nothing in what runs.

#include "shoot/ShootOperations.h"
#include "shoot/TimeLeft.h"

#include "platform/AlertPresenter.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

namespace sorrelby {

class ShootEngines;

inline constexpr QLatin1StringView cButtonTitleClose{"close"};
inline constexpr QLatin1StringView cButtonTitleAbort{"Abort Process"};
inline constexpr QLatin1StringView cWillStartShortly{"Will start shortly.. Click close to close..."};

class CopyToMainFolderController : public QObject {
    Q_OBJECT
public:
    explicit CopyToMainFolderController(ShootEngines &engines, QObject *parent = nullptr);
    ~CopyToMainFolderController() override;

    // The window sheets are shown on (none: application-modal).
    void setSheetWindow(QObject *window) { m_sheetWindow = window; }

    // The button: "Abort Process" stops the decode under way after its
    // photo; anything else (or no sender) posts the refresh and asks to close.
    void doButton1(const std::optional<QString> &senderTitle = std::nullopt);

    // The state the window shows.
    QString fProgressString = QString(cWillStartShortly);
    QString fProgressItemString;
    QString buttonTitle = QString(cButtonTitleClose);
    bool buttonEnabled = true;
    bool busy = false;
    bool barVisible = false;
    int fMaxItemsToProcess = 0;
    int fItemsProcessed = 0;
    // Where the step stands, for a person: "37 of 122", the photo in hand
    // and the time left (empty until a few photos are done).
    QString fCountString;
    QString fPhotoInHand;
    QString fTimeLeftString;
    // An operation the dialog shows is under way.
    bool fProcessing = false;
    // The operation shown, and the result of the last one that ended.
    std::optional<ShootOperation> operation() const { return m_operation; }
    std::optional<ShootResult> lastResult() const { return m_lastResult; }

    // The clock of the time left (tests).
    void setClock(TimeLeft::Clock clock) { m_timeLeft = TimeLeft(std::move(clock)); }

    // Shows a state set by hand (screenshots).
    void showChanged() { Q_EMIT changed(); }

Q_SIGNALS:
    void changed();
    // An operation the dialog shows began: it is to be on screen.
    void presentRequested();
    // Nothing more to show: the dialog is to close.
    void dismissRequested();

private:
    void started(const ShootProgress &progress);
    void progressed(const ShootProgress &progress);
    void finished(const ShootResult &result);
    void decodeEnded(const ShootResult &result);
    void deliveryEnded(const DeliveryRunResult &result);
    void showSummary(const DeliverySummary &summary);
    // A sheet that waits for the user (never more than one at a time).
    void showProblems(const QString &title, AlertStyle style, const QStringList &lines);
    void dismissWhenIdle();

    ShootEngines &m_engines;
    QPointer<QObject> m_sheetWindow;
    std::optional<quint64> m_ticket;
    QString m_folder;
    std::optional<ShootOperation> m_operation;
    std::optional<ShootResult> m_lastResult;
    int m_sheetsOpen = 0;
    TimeLeft m_timeLeft;
    std::optional<ShootStep> m_step;
    quint64 m_dismissGeneration = 0;
};

} // namespace sorrelby
