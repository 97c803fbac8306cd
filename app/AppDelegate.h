#pragma once
// The application object. It runs the start-up sequence in its fixed order
// (one instance only, the log file, the settings in force, the folder checks,
// the hot folder set-up, the settings it keeps watching), turns the menu
// commands into notifications for the browser, and quits. One per process,
// created by main() before any window; lives on the main thread and owns the
// hot folder monitor and the daily relaunch timer.

#include "hotfolder/HotFolderMonitorFactory.h"
#include "relaunch/DailyRelaunch.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace sorrelby {

class MainWindow;
class SingleInstance;
class AppDelegate;
class SerialQueue;

// How the application object meets its surroundings; tests replace them.
struct AppDelegateOptions {
    // Makes the hot folder monitor; without one hot folder mode cannot run.
    HotFolderMonitorFactory monitorFactory;
    // The modifier keys held now (QGuiApplication::queryKeyboardModifiers
    // when empty).
    std::function<Qt::KeyboardModifiers()> keyboardModifiers;
    // The executable's name, which tells a stand-alone installation.
    QString executableName = QStringLiteral(SORRELBY_EXECUTABLE);
    // Route the log into the log file.
    bool routeLog = true;
    // Folder of the single-instance lock and socket (the runtime folder
    // when empty).
    QString instanceFolder;
    // Ends the application (QCoreApplication::quit when empty).
    std::function<void()> terminate;

    // Whether setupWatchdog() starts the watchdog. It acts on the whole
    // process (it starts the program again when the process ends), so only
    // main() switches it on.
    bool watchdog = false;
    // Ends the process for the daily relaunch; false when it cannot
    // (Watchdog::quitAndRelaunch when empty).
    std::function<bool()> quitAndRelaunch;
    // The clock of the daily relaunch (the system's when empty).
    std::function<QDateTime()> clock;
    // The queue whose work a relaunch waits for (the browser's work queue
    // when null), and how long it waits.
    SerialQueue *workQueue = nullptr;
    QuietMomentTiming relaunchTiming;
};

class AppDelegate : public QObject {
    Q_OBJECT
public:
    using Options = AppDelegateOptions;

    // Construction is the first start-up phase: the single-instance check
    // and everything that settles which settings are in force.
    explicit AppDelegate(Options options = {}, QObject *parent = nullptr);
    ~AppDelegate() override;

    // True when another copy runs: this one showed the alert and must end at
    // once, without windows.
    bool isRefused() const { return fRefused; }

    // The main window: its menu commands come here, dropped folders too, and
    // it is raised when another copy asks.
    void setMainWindow(MainWindow *window);

    // The later start-up phases, in this order, once the window exists.
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
    // Folders given on the command line or dropped on the window: the first
    // one holding a JPEG anywhere below it becomes the source folder.
    void openFiles(const QStringList &paths);

    static QString getTemporaryDirectoryForThisApp();
    static void doTestStuff();

    // Folder validation that also shows the failure alert.
    bool validateFolderPath(const QVariantMap &params);
    // The two background folder checks of the start, and how many of them
    // have not finished yet (their alerts are queued on the main queue by
    // then).
    void checkStartUpStuff();
    int pendingStartUpChecks() const { return fPendingStartUpChecks->load(); }
    // Finishes a card copy that a kill interrupted, on the work queue (before
    // any pass there): its photos go where the copy was taking them, the
    // browser reloads and an alert says how many came back.
    void recoverInterruptedCardCopy();

    // Menu commands.
    void ibQuitCommand();
    void doLoadNewCard();
    void doOpenPref();
    void doSelectAll();

    // The daily quit and relaunch: the default date, the timer (armed while
    // cPrefDoDailyQuitRelaunch is on), what it does when it fires (waits
    // for the work queue to be idle, then ends the process for the watchdog
    // to start again), the menu toggle and the relaunch time dialog.
    void setupDefaultLaunchCtlDate();
    void setupDailyQuitRelaunchTimer();
    void ibQuitAndRelaunch();
    void ibToggleQuitRelaunch(bool on);
    // Opens the relaunch time dialog over parent (the main window when none).
    void ibSetQuitRelaunchTime(QWidget *parent = nullptr);
    // The date the armed timer fires at; invalid while none is armed.
    QDateTime nextQuitRelaunchDate() const;
    // A fired relaunch waits for the work queue to be idle.
    bool isWaitingToRelaunch() const { return fRelaunchWait != nullptr; }
    void setupWatchdog();

    // Hot folder mode.
    bool configureHotFolderStuff();
    bool createHotFolderStuff();
    bool destroyHotFolderStuff();
    HotFolderMonitor *currentMonitor() const { return filemonitor.get(); }

    // Watches cPrefEnableHotFolderMode, cPrefHotFolderPath and
    // cPrefDailyRelaunchTime for the rest of the process; each change is
    // handled on the main thread by observeValue.
    void setupObservers();
    void observeValue(const QString &keyPath, const QVariant &oldValue, const QVariant &newValue);

    // True while one hot folder intake pass runs; read and written by the
    // hot folder chain on the browser's work queue.
    std::atomic<bool> fIsProcessingHotFolder{false};

private:
    void doInitializeStuff();
    void checkForDuplicateRunningInstances();
    void offerToDisableHotFolderMode();
    void applyCompanionFlags();
    void useCompanionSavePath();
    void terminate();
    void bringToFront();
    void closeSheets(const QString &operation);
    void installRelaunchMenu();
    QDateTime now() const;

    Options fOptions;
    std::unique_ptr<SingleInstance> fSingleInstance;
    // The hot folder monitor; present only while hot folder mode runs.
    std::unique_ptr<HotFolderMonitor> filemonitor;
    std::unique_ptr<DailyRelaunchTimer> fDailyQuitRelaunchTimer;
    std::unique_ptr<QuietMoment> fRelaunchWait;
    QPointer<MainWindow> fMainWindow;
    std::vector<quint64> fObserverTokens;
    std::shared_ptr<std::atomic<int>> fPendingStartUpChecks = std::make_shared<std::atomic<int>>(0);
    bool fRefused = false;
};

} // namespace sorrelby
