#include "app/AppDelegate.h"

#include "app/MainWindow.h"
#include "hotfolder/HotFolderChain.h"
#include "intake/CardStaging.h"
#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SingleInstance.h"
#include "platform/UserFolders.h"
#include "settings/CompanionSettings.h"
#include "settings/FolderReference.h"
#include "settings/FolderValidation.h"
#include "settings/PreferenceOps.h"
#include "settings/ReassignModeValidation.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "settings/VersionInfo.h"
#include "shoot/ShootEngine.h"
#include "support/LogFile.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

#include <filesystem>
#include <unistd.h>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("AppDelegate");

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

// A value as one log text; bytes are only counted.
QString describe(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QStringList parts;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            parts << it.key() + QStringLiteral(" = ") + describe(it.value());
        return QStringLiteral("{ ") + parts.join(QStringLiteral("; ")) + QStringLiteral(" }");
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList parts;
        for (const QVariant &item : value.toList())
            parts << describe(item);
        return QStringLiteral("( ") + parts.join(QStringLiteral(", ")) + QStringLiteral(" )");
    }
    case QMetaType::QByteArray:
        return QStringLiteral("<%1 bytes>").arg(value.toByteArray().size());
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODate);
    default:
        return value.isValid() ? value.toString() : QStringLiteral("(null)");
    }
}

QVariantMap bundleInfo()
{
    return {
        {QStringLiteral("CFBundleName"), QStringLiteral(SORRELBY_BUNDLE_NAME)},
        {QStringLiteral("CFBundleIdentifier"), QStringLiteral(SORRELBY_BUNDLE_ID)},
        {QStringLiteral("CFBundleExecutable"), QStringLiteral(SORRELBY_EXECUTABLE)},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral(SORRELBY_VERSION)},
        {QStringLiteral("QtVersion"), QStringLiteral(SORRELBY_QT_VERSION)},
        {QStringLiteral("Compiler"), QStringLiteral(SORRELBY_COMPILER)},
    };
}

// Modal alerts of the start-up run on the main thread, which is where the
// start-up runs.
AlertAnswer runModalLogged(QStringView operation, const Alert &alert)
{
    note(operation, QStringLiteral("alert: ") + alert.messageText + QLatin1Char(' ') + alert.informativeText.trimmed());
    return AlertPresenter::shared().runModal(alert);
}

Alert criticalAlert(const QString &message, const QString &informative, const QStringList &buttons = {QStringLiteral("OK")})
{
    Alert alert;
    alert.style = AlertStyle::Critical;
    alert.messageText = message;
    alert.informativeText = informative;
    alert.buttons = buttons;
    return alert;
}

void showPathAlert(bool sourceOk, bool destinationOk, bool hotFolderOk)
{
    QString text = cSetupMissingPathsText;
    if (!sourceOk)
        text += QStringLiteral("Invalid/Missing Source Path\n");
    if (!destinationOk)
        text += QStringLiteral("Invalid/Missing Destination Path\n");
    if (!hotFolderOk)
        text += QStringLiteral("Invalid/Missing Hot Folder Path\n");
    showAlertOnMain(criticalAlert(cUnableToLocatePathMessage, text + QStringLiteral("\n\n")));
}

QString standardised(const QString &path)
{
    return QDir::cleanPath(QFileInfo(userfolders::expandTilde(path)).absoluteFilePath());
}

// Runs its job when it goes out of scope.
class Finally {
public:
    explicit Finally(std::function<void()> job)
        : m_job(std::move(job))
    { }
    ~Finally() { m_job(); }
    Finally(const Finally &) = delete;
    Finally &operator=(const Finally &) = delete;

private:
    std::function<void()> m_job;
};

bool holdsJpeg(const QString &folder)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (it.fileInfo().suffix().compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

AppDelegate::AppDelegate(Options options, QObject *parent)
    : QObject(parent)
    , fOptions(std::move(options))
{
    note(u"init()");
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
    doInitializeStuff();
    if (fRefused)
        return;
    setupDefaultLaunchCtlDate();
    setupDailyQuitRelaunchTimer();
}

AppDelegate::~AppDelegate()
{
    for (const quint64 token : fObserverTokens)
        Settings::shared().removeObserver(token);
    destroyHotFolderStuff();
}

void AppDelegate::checkForDuplicateRunningInstances()
{
    const QString op = QStringLiteral("checkForDuplicateRunningInstances()");
    const qint64 myPid = ::getpid();
    note(op, QStringLiteral("myPID = ") + QString::number(myPid));
    fSingleInstance = std::make_unique<SingleInstance>(fOptions.instanceFolder);
    if (fSingleInstance->tryToRun()) {
        connect(fSingleInstance.get(), &SingleInstance::activationRequested, this, &AppDelegate::bringToFront);
        return;
    }
    const qint64 otherPid = fSingleInstance->otherProcessId();
    if (otherPid != 0 && otherPid != myPid) {
        const QString text = QStringLiteral("Only One Instance of this app can be running at the same time.\n\nThis App PID = ")
            + QString::number(myPid) + QStringLiteral("\nExisting Running App PID = ") + QString::number(otherPid) + QStringLiteral("\n\n");
        const Alert alert = criticalAlert(QStringLiteral("!!! Another Instance of This App is Already Running !!!"), text);
        runModalLogged(op, alert);
        fSingleInstance->activateOther();
        // Leave a trace in the log file too, for whoever wonders why this
        // start did nothing.
        if (fOptions.routeLog && routeLogToFile(QDir::cleanPath(userfolders::logFilePath())))
            note(op,
                 QStringLiteral("ending this copy (PID ") + QString::number(myPid) + QStringLiteral("): ") + alert.messageText
                     + QStringLiteral(" Existing Running App PID = ") + QString::number(otherPid));
    }
    fRefused = true;
    fSingleInstance.reset();
}

void AppDelegate::doInitializeStuff()
{
    const QString op = QStringLiteral("doInitializeStuff()");
    note(op);
    checkForDuplicateRunningInstances();
    if (fRefused)
        return;

    note(op, QStringLiteral("....NSLog GETTING RE-DIRECTED....."));
    if (fOptions.routeLog) {
        const QString logPath = QDir::cleanPath(userfolders::logFilePath());
        if (!routeLogToFile(logPath))
            note(op, QStringLiteral("could not open the log file at ") + logPath);
    }
    note(op, QStringLiteral(".... ") + QString(70, QLatin1Char('=')));

    Settings &settings = Settings::shared();
    // Barcode detection is part of every build.
    settings.setValue(cPrefCanSupportVisionFramework, true);

    offerToDisableHotFolderMode();
    doTestStuff();

    settings.registerFactoryDefaults();
    note(op, QStringLiteral("internalPrefs = ") + describe(bundleInfo()));
    settings.setValue(cPrefVersionString, versionText());

    applyCompanionFlags();
    validateReassignMode(settings);
    if (settings.boolValue(cPrefAlwaysUseOstrinAsSourcePath))
        useCompanionSavePath();

    note(op, QStringLiteral("factorydefaults = ") + describe(settings.dictionaryRepresentation()));
    note(op, QStringLiteral("NSHomeDirectory = ") + userfolders::home());
    note(op, QStringLiteral("documentsPath = ") + QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));

    const QString temporary = getTemporaryDirectoryForThisApp();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(temporary).toStdString()), ec);
    if (ec)
        note(op, QStringLiteral("found error = ") + QString::fromStdString(ec.message()));
    else
        note(op, QStringLiteral("temporary directory = ") + QUrl::fromLocalFile(temporary).toString());
}

void AppDelegate::offerToDisableHotFolderMode()
{
    const QString op = QStringLiteral("doInitializeStuff()");
    const Qt::KeyboardModifiers held
        = fOptions.keyboardModifiers ? fOptions.keyboardModifiers() : QGuiApplication::queryKeyboardModifiers();
    if (!(held & (Qt::AltModifier | Qt::ControlModifier)))
        return;
    Settings &settings = Settings::shared();
    if (!settings.boolValue(cPrefEnableHotFolderMode)) {
        note(op, QStringLiteral("Hot Folder Mode Already DISABLED..."));
        return;
    }
    const Alert alert = criticalAlert(QStringLiteral("!!! Turn OFF Hot Folder Mode !!!"),
                                      QStringLiteral("\nFor Debugging or Setup Conditions\n\nDISABLE Hot Folder Mode Now...\n\n\n"),
                                      {QStringLiteral("Keep as Enabled"), QStringLiteral("DISABLE Hot Folder Mode")});
    if (runModalLogged(op, alert) == 1)
        settings.setValue(cPrefEnableHotFolderMode, false);
}

void AppDelegate::applyCompanionFlags()
{
    const QString op = QStringLiteral("doInitializeStuff()");
    Settings &settings = Settings::shared();
    const bool standalone = preferenceops::isStandaloneApp(fOptions.executableName);
    settings.setValue(cPrefIsStandAloneApp, standalone);
    settings.remove(cPrefOstrinDisableScan);
    if (standalone) {
        note(op, QStringLiteral("This App is Standalone App...."));
        note(op, QStringLiteral("DONT Care if Ostrin is Decoding or NOT..."));
        return;
    }
    if (const auto reverse = getOstrinObjectForKey(QStringLiteral("reversescan"))) {
        const bool on = reverse->trimmed().toLower() == QLatin1String("true");
        settings.setValue(cPrefOstrinReverseScan, on);
        note(op, on ? QStringLiteral("ostrinReverseScan is true...") : QStringLiteral("ostrinReverseScan is false..."));
    }
    settings.setValue(cPrefReverseAssignBarcode, settings.boolValue(cPrefOstrinReverseScan));
    if (const auto disable = getOstrinObjectForKey(QStringLiteral("disablescan"))) {
        const bool on = disable->trimmed().toLower() == QLatin1String("true");
        settings.setValue(cPrefOstrinDisableScan, on);
        note(op,
             on ? QStringLiteral("ostrinDisableScan is true - Ostrin will NOT decode...")
                : QStringLiteral("ostrinDisableScan is false = Ostrin will Decode....."));
    }
}

void AppDelegate::useCompanionSavePath()
{
    const QString op = QStringLiteral("doInitializeStuff()");
    Settings &settings = Settings::shared();
    note(op, QStringLiteral("....alwaysUseOstrinPath is true..."));
    const auto savePath = getOstrinSavePath();
    if (!savePath || savePath->isEmpty()) {
        note(op, QStringLiteral("savepath is empty??"));
        showAlertOnMain(criticalAlert(QStringLiteral("!!! Unable to Get Source Path From Ostrin !!!"),
                                      QStringLiteral("Please run and configure the Vemo Ostrin app at leastt once!\n\n")));
        return;
    }
    note(op, QStringLiteral("savepath from ostrin = [") + *savePath + QLatin1Char(']'));
    settings.setValue(cPrefSourcePath, *savePath);
    const bool referenced = MyBookmarkDataKit::savePath(*savePath, cPrefSourcePathAliasData);
    // A reference to the previous folder must not survive: it would lead the
    // next validation back to that folder.
    if (!referenced)
        settings.remove(cPrefSourcePathAliasData);
    settings.setValue(cPrefSourcePathIsValid, referenced);
    settings.sync();
}

void AppDelegate::doTestStuff()
{
    const QStringList arguments = QCoreApplication::arguments();
    for (const QString &argument : arguments)
        note(u"doTestStuff()", QStringLiteral("doTestStuff() => checking argument ") + argument);
}

QString AppDelegate::getTemporaryDirectoryForThisApp()
{
    return userfolders::temporaryFolder();
}

void AppDelegate::setMainWindow(MainWindow *window)
{
    fMainWindow = window;
    if (!window)
        return;
    connect(window->loadNewCardAction(), &QAction::triggered, this, &AppDelegate::doLoadNewCard);
    connect(window->preferencesAction(), &QAction::triggered, this, &AppDelegate::doOpenPref);
    connect(window->selectAllAction(), &QAction::triggered, this, &AppDelegate::doSelectAll);
    connect(window->quitAction(), &QAction::triggered, this, &AppDelegate::ibQuitCommand);
    connect(window, &MainWindow::filesDropped, this, &AppDelegate::openFiles);
    installRelaunchMenu();
}

void AppDelegate::applicationWillFinishLaunching()
{
    const QString op = QStringLiteral("applicationWillFinishLaunching(_:)");
    note(op, QStringLiteral("applicationWillFinishLaunching..."));
    checkStartUpStuff();
    recoverInterruptedCardCopy();
    bringToFront();
    setupWatchdog();
    note(op, QStringLiteral("applicationWillFinishLaunching...DONE..."));
}

void AppDelegate::applicationDidFinishLaunching()
{
    note(u"applicationDidFinishLaunching(_:)");
    configureHotFolderStuff();
    setupObservers();
}

void AppDelegate::applicationWillTerminate()
{
    const QString op = QStringLiteral("applicationWillTerminate(_:)");
    note(op);
    // The photos in hand reach their place before the process ends: no new
    // hot folder pass starts, and the running copies, renames and deliveries end.
    destroyHotFolderStuff();
    filework::waitUntilIdle([op](const QStringList &busy) {
        note(op, QStringLiteral("waiting for the work in hand to end: ") + busy.join(QStringLiteral(", ")));
    });
}

void AppDelegate::openFiles(const QStringList &paths)
{
    const QString op = QStringLiteral("application(_:openFiles:)");
    note(op, paths.join(QStringLiteral(", ")));
    if (paths.isEmpty())
        return;
    const QString folder = standardised(paths.first());
    if (!QFileInfo::exists(folder) || !holdsJpeg(folder))
        return;
    Settings &settings = Settings::shared();
    settings.setValue(cPrefSourcePath, folder);
    // The folder's reference goes with it, or the next validation would lead
    // back to the previous source folder.
    settings.setValue(cPrefSourcePathIsValid, MyBookmarkDataKit::savePath(folder, cPrefSourcePathAliasData));
    settings.sync();
    // The browser shows the new folder at once, as after the preferences.
    NotificationCenter::defaultCenter().post(QStringLiteral("vemoNotificationChangedSourcePath"));
}

bool AppDelegate::validateFolderPath(const QVariantMap &params)
{
    return foldervalidation::validate(params, true);
}

void AppDelegate::checkStartUpStuff()
{
    const QString op = QStringLiteral("checkStartUpStuff()");
    note(op);
    // Neither block touches this object: start-up does not wait for them.
    const auto pending = fPendingStartUpChecks;
    pending->fetch_add(2);
    globalqueue::async([op, pending] {
        const Finally done([pending] { pending->fetch_sub(1); });
        Settings &settings = Settings::shared();
        const bool hotFolderMode = settings.boolValue(cPrefEnableHotFolderMode);
        const QVariant params = settings.value(cPrefFolderParams);
        if (params.typeId() != QMetaType::QVariantMap) {
            note(op, QStringLiteral("Unable to find resource keyname: \"") + cPrefFolderParams + QLatin1Char('"'));
            return;
        }
        const QVariantMap folders = params.toMap();
        auto check = [&](const QString &key, bool validate) {
            if (!folders.contains(key))
                return false;
            return !validate || preferenceops::validateFolderPath2(folders.value(key).toMap());
        };
        const bool sourceOk = check(cPrefSourcePath, true);
        const bool destinationOk = check(cPrefDestinationPath, true);
        // A hot folder that is not in use is not worth an alert.
        const bool hotFolderOk = check(cPrefHotFolderPath, hotFolderMode);
        if (!sourceOk || !destinationOk || !hotFolderOk)
            showPathAlert(sourceOk, destinationOk, hotFolderOk);
    });
    globalqueue::async([pending] {
        const Finally done([pending] { pending->fetch_sub(1); });
        Settings &settings = Settings::shared();
        const QVariantMap destination
            = foldervalidation::makeRequest(cPrefDestinationPath, cPrefDestinationPathIsValid, cPrefDestinationPathAliasData,
                                            settings.optionalString(cPrefDestinationPathFactory));
        const QVariantMap source = foldervalidation::makeRequest(cPrefSourcePath, cPrefSourcePathIsValid, cPrefSourcePathAliasData,
                                                                 settings.optionalString(cPrefSourcePathFactory));
        const bool destinationOk = foldervalidation::validate(destination, true);
        const bool sourceOk = foldervalidation::validate(source, true);
        if (!destinationOk || !sourceOk)
            showPathAlert(sourceOk, destinationOk, true);
    });
}

void AppDelegate::recoverInterruptedCardCopy()
{
    SerialQueue &queue = fOptions.workQueue ? *fOptions.workQueue : sharedWorkingQueue();
    const QPointer<AppDelegate> self(this);
    queue.async([self] {
        const Settings &settings = Settings::shared();
        const QString source = settings.stringValue(cPrefSourcePath);
        const QString hotFolder = settings.stringValue(cPrefHotFolderPath);
        const bool hotFolderMode = settings.boolValue(cPrefEnableHotFolderMode);
        const CardRecoveryReport report = recoverInterruptedCardCopies({source, hotFolder}, {}, hotFolderMode ? hotFolder : QString());
        if (!report.any())
            return;
        // The photos are the card's, under their camera names: sorted as the
        // copy would have had them sorted (the hot folder's intake reads its own).
        const bool decode = report.recovered > 0 && !hotFolderMode && settings.boolValue(cPrefDoTryToAutoDecodeAfterCopying)
            && report.targets.contains(source);
        Alert alert;
        alert.style = report.notPlaced.isEmpty() && report.notSetAside.isEmpty() ? AlertStyle::Informational : AlertStyle::Critical;
        alert.messageText = QStringLiteral("!!! Photos Recovered from an Interrupted Card Copy !!!");
        alert.informativeText = QLatin1Char('\n') + report.lines().join(QLatin1Char('\n')) + QStringLiteral("\n\nThey are in ")
            + report.targets.join(QStringLiteral(", ")) + QStringLiteral(" under their camera names.\n");
        mainqueue::async([self, decode, source] {
            if (decode && self && self->fMainWindow) {
                self->fMainWindow->engines().forFolder(source).decode();
                return;
            }
            NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"),
                                                     {{QStringLiteral("command"), QStringLiteral("refresh")}});
        });
        showAlertOnMain(alert);
    });
}

void AppDelegate::ibQuitCommand()
{
    const QString op = QStringLiteral("ibQuitCommand(_:)");
    note(op);
    closeSheets(op);
    terminate();
}

void AppDelegate::closeSheets(const QString &operation)
{
    if (!fMainWindow)
        return;
    QList<QDialog *> sheets;
    for (QDialog *dialog : fMainWindow->findChildren<QDialog *>()) {
        if (dialog->isVisible() && dialog->windowModality() == Qt::WindowModal)
            sheets << dialog;
    }
    if (sheets.isEmpty())
        return;
    note(operation, QStringLiteral("....need to close ") + QString::number(sheets.size()) + QStringLiteral(" sheets..."));
    for (QDialog *sheet : sheets)
        sheet->reject();
}

void AppDelegate::doLoadNewCard()
{
    note(u"doLoadNewCard(_:)");
    NotificationCenter::defaultCenter().post(QStringLiteral("myloadnewcard"), {{QStringLiteral("command"), QStringLiteral("loadnewcard")}});
}

void AppDelegate::doOpenPref()
{
    note(u"doOpenPref(_:)");
    NotificationCenter::defaultCenter().post(QStringLiteral("myOpenPrefId"), {{QStringLiteral("command"), QStringLiteral("openpref")}});
}

void AppDelegate::doSelectAll()
{
    note(u"doSelectAll(_:)");
    NotificationCenter::defaultCenter().post(QStringLiteral("mySelectAll"), {{QStringLiteral("command"), QStringLiteral("selectall")}});
}

bool AppDelegate::configureHotFolderStuff()
{
    const bool hotFolderMode = Settings::shared().boolValue(cPrefEnableHotFolderMode);
    // Checked in either mode (a missing factory hot folder is made), but
    // reported only while the mode is on.
    preferenceops::validateHotFolderStuff(hotFolderMode);
    if (!hotFolderMode)
        return false;
    return createHotFolderStuff();
}

bool AppDelegate::createHotFolderStuff()
{
    const QString op = QStringLiteral("createHotFolderStuff()");
    Settings &settings = Settings::shared();
    if (!settings.boolValue(cPrefEnableHotFolderMode)) {
        note(op, QStringLiteral("inside createHotFolderStuff -> prefEnableHotFolderMode is NOT enabled yet..."));
        return false;
    }
    note(op, QStringLiteral("inside createHotFolderStuff -> prefEnableHotFolderMode is ENABLED..."));
    if (!preferenceops::validateHotFolderStuff()) {
        mainqueue::after(0.2, [] {
            const Alert alert = criticalAlert(QStringLiteral("!!! HOT FOLDER NOT SETUP or Invalid !!!"),
                                              QStringLiteral("Please check the hot folder setup...\n\n"),
                                              {QStringLiteral("OK"), QStringLiteral("Open Pref...")});
            if (runModalLogged(u"createHotFolderStuff()", alert) == 1)
                NotificationCenter::defaultCenter().post(QStringLiteral("myOpenPrefId"),
                                                         {{QStringLiteral("command"), QStringLiteral("openpref")}});
        });
        return false;
    }
    const QString hotFolder = standardised(settings.stringValue(cPrefHotFolderPath));
    if (!fOptions.monitorFactory) {
        note(op, QStringLiteral("no hot folder watcher in this build...."));
        return false;
    }
    // One monitor at a time.
    destroyHotFolderStuff();
    filemonitor = fOptions.monitorFactory(hotFolder, fIsProcessingHotFolder);
    if (!filemonitor) {
        note(op, QStringLiteral("could not create the hot folder watcher for ") + hotFolder);
        return false;
    }
    filemonitor->setRun(true);
    return true;
}

bool AppDelegate::destroyHotFolderStuff()
{
    if (filemonitor) {
        filemonitor->setRun(false);
        filemonitor.reset();
    }
    return true;
}

void AppDelegate::setupObservers()
{
    const QPointer<AppDelegate> self(this);
    // The daily relaunch switch too: the preferences window sets it.
    for (const QString &key : {QString(cPrefEnableHotFolderMode), QString(cPrefHotFolderPath), QString(cPrefDailyRelaunchTime),
                               QString(cPrefDoDailyQuitRelaunch)}) {
        // Changes may come from any thread and from inside a validation that
        // is writing settings: they are handled afterwards, on the main thread.
        fObserverTokens.push_back(Settings::shared().observe(key, [self, key](const QVariant &oldValue, const QVariant &newValue) {
            mainqueue::async([self, key, oldValue, newValue] {
                if (self)
                    self->observeValue(key, oldValue, newValue);
            });
        }));
    }
}

void AppDelegate::observeValue(const QString &keyPath, const QVariant &oldValue, const QVariant &newValue)
{
    const QString op = QStringLiteral("observeValue(forKeyPath:of:change:context:)");
    if (keyPath.compare(cPrefEnableHotFolderMode, Qt::CaseInsensitive) == 0) {
        note(op, QStringLiteral("....foundkey prefEnableHotFolderMode"));
        note(op, QStringLiteral("....handle key prefEnableHotFolderMode"));
        const bool oldAbsent = !oldValue.isValid(), newAbsent = !newValue.isValid();
        if ((oldAbsent && newAbsent) || (!oldAbsent && !newAbsent && oldValue.toBool() == newValue.toBool()))
            return;
        note(op, QStringLiteral("we can change..."));
        if (newAbsent || !newValue.toBool()) {
            destroyHotFolderStuff();
        } else if (!filemonitor) {
            createHotFolderStuff();
        } else {
            filemonitor->setRun(true);
        }
    } else if (keyPath.compare(cPrefHotFolderPath, Qt::CaseInsensitive) == 0) {
        note(op, QStringLiteral("found cPrefHotFolderPath..."));
        if (oldValue.toString() != newValue.toString()) {
            destroyHotFolderStuff();
            createHotFolderStuff();
        }
    } else if (keyPath == cPrefDoDailyQuitRelaunch) {
        if (fMainWindow) {
            if (auto *toggle = fMainWindow->findChild<QAction *>(QStringLiteral("dailyQuitRelaunchAction")))
                toggle->setChecked(newValue.toBool());
        }
        setupDailyQuitRelaunchTimer();
    } else if (keyPath.compare(cPrefDailyRelaunchTime, Qt::CaseInsensitive) == 0) {
        note(op, QStringLiteral("need to do somthing to reset the auto quit and relaunch timer..."));
        setupDailyQuitRelaunchTimer();
    }
}

void AppDelegate::terminate()
{
    if (fOptions.terminate)
        fOptions.terminate();
    else
        QCoreApplication::quit();
}

void AppDelegate::bringToFront()
{
    if (!fMainWindow)
        return;
    fMainWindow->setWindowState((fMainWindow->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    fMainWindow->raise();
    fMainWindow->activateWindow();
}

} // namespace sorrelby
