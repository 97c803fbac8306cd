// The application object's part of the daily quit and relaunch and of the
// watchdog.

#include "app/AppDelegate.h"

#include "app/MainWindow.h"
#include "hotfolder/HotFolderChain.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "preferences/widgets/PreferencesViewController.h"
#include "relaunch/Relaunch.h"
#include "relaunch/SetQuitRelaunchViewController.h"
#include "relaunch/Watchdog.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QAction>
#include <QMenu>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("AppDelegate");

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

} // namespace

QDateTime AppDelegate::now() const
{
    return fOptions.clock ? fOptions.clock() : QDateTime::currentDateTime();
}

void AppDelegate::setupWatchdog()
{
    if (!fOptions.watchdog) {
        note(u"setupWatchdog()", QStringLiteral("no watchdog for this run"));
        return;
    }
    Relaunch::setupWatchdog();
}

void AppDelegate::setupDefaultLaunchCtlDate()
{
    Relaunch::setupDefaultLaunchCtlDate(now());
}

void AppDelegate::setupDailyQuitRelaunchTimer()
{
    if (!mainqueue::isCurrent()) {
        const QPointer<AppDelegate> self(this);
        mainqueue::async([self] {
            if (self)
                self->setupDailyQuitRelaunchTimer();
        });
        return;
    }
    const QString op = QStringLiteral("setupDailyQuitRelaunchTimer()");
    Settings &settings = Settings::shared();
    // A new time, or none: a relaunch still waiting for a quiet moment is
    // not wanted any more either.
    fRelaunchWait.reset();
    if (!settings.boolValue(cPrefDoDailyQuitRelaunch)) {
        fDailyQuitRelaunchTimer.reset();
        settings.setValue(cPrefNextScheduledDisplay, QString::fromLatin1(Relaunch::cDisabledDisplayString));
        note(op, QStringLiteral("daily quit and relaunch is off"));
        return;
    }
    setupDefaultLaunchCtlDate();
    const QDateTime next = settings.dateValue(cPrefNextScheduledTime);
    if (!next.isValid())
        return;
    fDailyQuitRelaunchTimer = std::make_unique<DailyRelaunchTimer>(
        next, [this] { return now(); }, [this] { ibQuitAndRelaunch(); });
    note(op, QStringLiteral("quit and relaunch armed for ") + Relaunch::displayString(next));
}

QDateTime AppDelegate::nextQuitRelaunchDate() const
{
    return fDailyQuitRelaunchTimer ? fDailyQuitRelaunchTimer->dueDate() : QDateTime();
}

void AppDelegate::ibQuitAndRelaunch()
{
    const QString op = QStringLiteral("ibQuitAndRelaunch(_:)");
    note(op);
    note(op, QStringLiteral(".... AUTO QUIT and RELAUNCH...."));
    // Usually called from the timer's own signal: it goes once that is over.
    if (fDailyQuitRelaunchTimer)
        fDailyQuitRelaunchTimer.release()->deleteLater();
    if (fRelaunchWait)
        return;
    // Never in the middle of a delivery, an intake pass or any other work of
    // the work queue: first a moment when it has nothing to do, held so that
    // nothing starts until the process has ended.
    SerialQueue &queue = fOptions.workQueue ? *fOptions.workQueue : sharedWorkingQueue();
    const double longestWait = fOptions.relaunchTiming.longestWait;
    const auto idle = [this, op] {
        note(op, QStringLiteral("the work queue is idle"));
        closeSheets(op);
        const bool ended = fOptions.quitAndRelaunch ? fOptions.quitAndRelaunch() : Watchdog::quitAndRelaunch();
        if (!ended)
            note(op, QStringLiteral("the process could not be relaunched; it keeps running"));
        mainqueue::async([self = QPointer<AppDelegate>(this)] {
            if (self)
                self->setupDailyQuitRelaunchTimer();
        });
    };
    const auto gaveUp = [this, op, longestWait] {
        note(op,
             QStringLiteral("the work queue was not idle for %1 minutes: no quit and relaunch today").arg(longestWait / 60.0, 0, 'g', 3));
        mainqueue::async([self = QPointer<AppDelegate>(this)] {
            if (self)
                self->setupDailyQuitRelaunchTimer();
        });
    };
    fRelaunchWait = std::make_unique<QuietMoment>(queue, fIsProcessingHotFolder, fOptions.relaunchTiming, idle, gaveUp);
}

void AppDelegate::ibToggleQuitRelaunch(bool on)
{
    note(u"ibToggleQuitRelaunch(_:)", on ? QStringLiteral("on") : QStringLiteral("off"));
    Settings::shared().setValue(cPrefDoDailyQuitRelaunch, on);
    setupDailyQuitRelaunchTimer();
}

void AppDelegate::ibSetQuitRelaunchTime(QWidget *parent)
{
    note(u"ibSetQuitRelaunchTime(_:)");
    auto *dialog = new SetQuitRelaunchViewController([this] { return now(); }, parent ? parent : fMainWindow);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void AppDelegate::installRelaunchMenu()
{
    // Beside Quit, until the preferences window offers them.
    QAction *quit = fMainWindow->quitAction();
    QMenu *menu = nullptr;
    for (QObject *object : quit->associatedObjects()) {
        if ((menu = qobject_cast<QMenu *>(object)))
            break;
    }
    if (!menu)
        return;
    auto *toggle = new QAction(tr("Quit and Relaunch Daily"), menu);
    toggle->setObjectName(QStringLiteral("dailyQuitRelaunchAction"));
    toggle->setCheckable(true);
    toggle->setChecked(Settings::shared().boolValue(cPrefDoDailyQuitRelaunch));
    connect(toggle, &QAction::triggered, this, &AppDelegate::ibToggleQuitRelaunch);
    auto *setTime = new QAction(tr("Relaunch Time..."), menu);
    setTime->setObjectName(QStringLiteral("setQuitRelaunchTimeAction"));
    connect(setTime, &QAction::triggered, this, [this] { ibSetQuitRelaunchTime(); });
    menu->insertActions(quit, {toggle, setTime});
    menu->insertSeparator(quit);
    // The preferences window's "Set Relaunch Time..." opens the same dialog.
    PreferencesViewController::setRelaunchTimeOpener([self = QPointer<AppDelegate>(this)](QWidget *parent) {
        if (self)
            self->ibSetQuitRelaunchTime(parent);
    });
}

} // namespace sorrelby
