#include "tests/testkit/fixtures/AppDelegateScene.h"

using namespace sorrelby;

using namespace sorrelby::testkit::appdelegate;

TEST_F(AppDelegateTest, FreshHomeStartsWithoutAlertsAndMakesTheFactoryFolders)
{
    // Values the start puts right.
    settings.setValue(cPrefRadioSet1SelectedTag, 201);
    settings.setValue(cPrefOstrinDisableScan, true);
    settings.setValue(QStringLiteral("prefCanSupportVisionFramework"), false);
    auto app = start();
    ASSERT_FALSE(app->isRefused());
    EXPECT_TRUE(alerts.shown().empty()) << testkit::lines(alertMessages());

    const QString base = userfolders::home() + QStringLiteral("/Pictures/Sorrelby/");
    for (const char *name : {"Source", "Main", "Hot"})
        EXPECT_TRUE(QFileInfo(base + QLatin1String(name)).isDir()) << name;
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), base + QStringLiteral("Source"));
    EXPECT_TRUE(settings.boolValue(cPrefSourcePathIsValid));
    EXPECT_TRUE(settings.boolValue(cPrefDestinationPathIsValid));
    EXPECT_TRUE(settings.boolValue(QStringLiteral("prefCanSupportVisionFramework")));
    EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), 200);
    EXPECT_TRUE(settings.boolValue(cPrefIsStandAloneApp));
    // Stand-alone: the companion's flag is removed and not read again.
    EXPECT_FALSE(settings.contains(cPrefOstrinDisableScan));
    EXPECT_FALSE(settings.stringValue(cPrefVersionString).isEmpty());
    EXPECT_TRUE(QFileInfo(AppDelegate::getTemporaryDirectoryForThisApp()).isDir());
    // Hot folder mode is off: no monitor.
    EXPECT_TRUE(monitors.created.isEmpty());
}

TEST_F(AppDelegateTest, CompanionFlagsCountTrueInAnyCaseAndNothingElse)
{
    AppDelegate::Options withCompanion = options();
    withCompanion.executableName = QStringLiteral("sorrelby");

    writeCompanionFlags("True", "yes");
    start(withCompanion);
    EXPECT_FALSE(settings.boolValue(cPrefIsStandAloneApp));
    EXPECT_TRUE(settings.boolValue(cPrefOstrinReverseScan));
    EXPECT_TRUE(settings.boolValue(cPrefReverseAssignBarcode));
    EXPECT_TRUE(settings.contains(cPrefOstrinDisableScan));
    EXPECT_FALSE(settings.boolValue(cPrefOstrinDisableScan));

    writeCompanionFlags("no", "TRUE");
    start(withCompanion);
    EXPECT_FALSE(settings.boolValue(cPrefOstrinReverseScan));
    EXPECT_FALSE(settings.boolValue(cPrefReverseAssignBarcode));
    EXPECT_TRUE(settings.boolValue(cPrefOstrinDisableScan));

    // No companion file: the flags stay as they were, the disable flag goes.
    QFile::remove(ostrinPrefsFilePath());
    settings.setValue(cPrefOstrinReverseScan, true);
    start(withCompanion);
    EXPECT_TRUE(settings.boolValue(cPrefOstrinReverseScan));
    EXPECT_FALSE(settings.contains(cPrefOstrinDisableScan));
}

TEST_F(AppDelegateTest, CompanionSaveFolderBecomesTheSourceFolder)
{
    settings.setValue(cPrefAlwaysUseOstrinAsSourcePath, true);
    start();
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].messageText, QStringLiteral("!!! Unable to Get Source Path From Ostrin !!!"));
    alerts.clear();

    const QString capture = testkit::makeFolder(testkit::makeTempFolder(QStringLiteral("ostrin")) + QStringLiteral("/Capture"));
    ASSERT_TRUE(
        testkit::writeFile(ostrinPrefsFilePath(), QByteArray("<map><entry key=\"savepath\" value=\"") + capture.toUtf8() + "\"/></map>"));
    start();
    EXPECT_TRUE(alerts.shown().empty()) << testkit::lines(alertMessages());
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), capture);
    EXPECT_TRUE(settings.boolValue(cPrefSourcePathIsValid));
}

TEST_F(AppDelegateTest, InvalidHotFolderIsReportedOnlyInHotFolderMode)
{
    const QString gone = testkit::makeTempFolder(QStringLiteral("gone")) + QStringLiteral("/Hot");
    settings.setValue(cPrefHotFolderPath, gone);
    start();
    EXPECT_TRUE(alerts.shown().empty()) << testkit::lines(alertMessages());

    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    start();
    const QString notSetUp = QStringLiteral("!!! HOT FOLDER NOT SETUP or Invalid !!!|Please check the hot folder setup...\n\n");
    EXPECT_TRUE(testkit::waitUntil([&] { return alertMessages().contains(notSetUp); }));
    const QStringList messages = alertMessages();
    EXPECT_TRUE(
        messages.contains(QStringLiteral("!!! Unable to Mount/Locate Path !!!|\nPlease Setup Preferences for Missing/Invalid Paths:\n\n"
                                         "Invalid/Missing Hot Folder Path\n\n\n")))
        << testkit::lines(messages);
    for (const QString &message : messages)
        EXPECT_FALSE(message.contains(QLatin1String("Source Path"))) << message.toStdString();
    EXPECT_TRUE(monitors.created.isEmpty());
}

TEST_F(AppDelegateTest, HeldModifierOffersToSwitchHotFolderModeOff)
{
    const QString hot = testkit::makeFolder(testkit::makeTempFolder(QStringLiteral("hot")) + QStringLiteral("/Hot"));
    chooseHotFolder(hot);
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);

    // Keep it on: the monitor starts on the hot folder.
    modifiers = Qt::AltModifier;
    {
        auto app = start();
        ASSERT_GE(alerts.shown().size(), 1u);
        const Alert offer = alerts.shown()[0];
        EXPECT_EQ(offer.messageText, QStringLiteral("!!! Turn OFF Hot Folder Mode !!!"));
        EXPECT_EQ(offer.buttons, (QStringList{QStringLiteral("Keep as Enabled"), QStringLiteral("DISABLE Hot Folder Mode")}));
        EXPECT_EQ(monitors.created, QStringList{hot});
        EXPECT_EQ(monitors.runs, std::vector<bool>{true});
    }
    EXPECT_EQ(monitors.alive, 0);

    // Switch it off: no monitor.
    alerts.clear();
    monitors = {};
    modifiers = Qt::ControlModifier;
    alerts.queueAnswer(1);
    start();
    EXPECT_FALSE(settings.boolValue(QStringLiteral("prefEnableHotFolderMode")));
    EXPECT_TRUE(monitors.created.isEmpty());

    // Already off: nothing to offer.
    alerts.clear();
    start();
    EXPECT_TRUE(alerts.shown().empty());
}

TEST_F(AppDelegateTest, SettingsChangesDriveTheHotFolderMonitor)
{
    const QString root = testkit::makeTempFolder(QStringLiteral("hot"));
    const QString first = testkit::makeFolder(root + QStringLiteral("/First"));
    const QString second = testkit::makeFolder(root + QStringLiteral("/Second"));
    chooseHotFolder(first);
    auto app = start();
    ASSERT_EQ(app->currentMonitor(), nullptr);

    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    ASSERT_TRUE(testkit::waitUntil([&] { return app->currentMonitor() != nullptr; }));
    EXPECT_EQ(monitors.created, QStringList{first});
    EXPECT_EQ(monitors.runs, std::vector<bool>{true});

    // Another hot folder: the monitor moves there.
    chooseHotFolder(second);
    ASSERT_TRUE(testkit::waitUntil([&] { return monitors.created.size() == 2; }));
    EXPECT_EQ(monitors.created.last(), second);
    EXPECT_EQ(monitors.alive, 1);
    EXPECT_EQ(monitors.runs, (std::vector<bool>{true, false, true}));

    // The same text again changes nothing.
    settings.setValue(cPrefHotFolderPath, second);
    testkit::spinFor(50);
    EXPECT_EQ(monitors.created.size(), 2);

    // Off: stopped and dropped.
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), false);
    ASSERT_TRUE(testkit::waitUntil([&] { return app->currentMonitor() == nullptr; }));
    EXPECT_EQ(monitors.runs.back(), false);
    EXPECT_EQ(monitors.alive, 0);
    EXPECT_TRUE(alerts.shown().empty()) << testkit::lines(alertMessages());
}

TEST_F(AppDelegateTest, DroppedFolderWithAJpegBecomesTheSourceFolder)
{
    auto app = start();
    const QString before = settings.stringValue(cPrefSourcePath);
    const QString root = testkit::makeTempFolder(QStringLiteral("drop"));
    const QString empty = testkit::makeFolder(root + QStringLiteral("/NoPhotos"));
    testkit::writeFile(empty + QStringLiteral("/notes.txt"), "x");
    const QString shoot = testkit::makeFolder(root + QStringLiteral("/Shoot"));
    testkit::writeFile(shoot + QStringLiteral("/a/b/DSC_0001.JPG"), "jpeg");

    int changes = 0;
    NotificationCenter &center = NotificationCenter::defaultCenter();
    ObserverRegistration changed(
        center, center.addObserver(QStringLiteral("vemoNotificationChangedSourcePath"), [&](const Notification &) { ++changes; }));
    app->openFiles({});
    app->openFiles({root + QStringLiteral("/missing")});
    app->openFiles({empty});
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), before);
    EXPECT_EQ(changes, 0);

    app->openFiles({shoot, empty});
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), shoot);
    // The browser is told, so it shows the dropped folder.
    EXPECT_EQ(changes, 1);
    // Its reference went with it: validation keeps the new folder.
    QVariantMap request{{QStringLiteral("keyForDestinationPath"), QString(cPrefSourcePath)},
                        {QStringLiteral("keyForDestinationPathIsValid"), QString(cPrefSourcePathIsValid)},
                        {QStringLiteral("keyForDestinationPathAliasData"), QString(cPrefSourcePathAliasData)}};
    EXPECT_TRUE(app->validateFolderPath(request));
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), shoot);
}

TEST_F(AppDelegateTest, MenuCommandsPostTheirNotificationsAndQuitClosesSheets)
{
    auto app = start();
    MainWindow window;
    app->setMainWindow(&window);

    QStringList received;
    NotificationCenter &center = NotificationCenter::defaultCenter();
    std::vector<ObserverRegistration> registrations;
    for (const char *name : {"myloadnewcard", "myOpenPrefId", "mySelectAll"}) {
        registrations.emplace_back(center, center.addObserver(QLatin1String(name), [&](const Notification &n) {
            received << n.name + QLatin1Char('=') + n.userInfo.value(QStringLiteral("command")).toString();
        }));
    }
    window.loadNewCardAction()->trigger();
    window.preferencesAction()->trigger();
    window.selectAllAction()->trigger();
    EXPECT_EQ(received,
              (QStringList{QStringLiteral("myloadnewcard=loadnewcard"), QStringLiteral("myOpenPrefId=openpref"),
                           QStringLiteral("mySelectAll=selectall")}));

    window.show();
    auto *sheet = new QDialog(&window);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->show();
    window.quitAction()->trigger();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(terminations, 1);
}

TEST_F(AppDelegateTest, OnlyOneCopyHoldsTheLockAndTheOtherCanWakeIt)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("instance"));
    auto first = std::make_unique<SingleInstance>(folder);
    ASSERT_TRUE(first->tryToRun());
    int activations = 0;
    QObject::connect(first.get(), &SingleInstance::activationRequested, [&] { ++activations; });

    SingleInstance second(folder);
    EXPECT_FALSE(second.tryToRun());
    EXPECT_EQ(second.otherProcessId(), qint64(::getpid()));
    EXPECT_TRUE(second.activateOther(200));
    EXPECT_TRUE(testkit::waitUntil([&] { return activations == 1; }));

    // An application object is refused while the first copy runs, and
    // starts once it has gone.
    AppDelegate::Options o = options();
    o.instanceFolder = folder;
    EXPECT_TRUE(AppDelegate(o).isRefused());
    first.reset();
    EXPECT_FALSE(AppDelegate(o).isRefused());
}

// The kernel holds the lock, not the file: a copy killed right after making
// its lock file leaves it empty, and that must never refuse a start; while a
// process holds the lock, a start is refused whatever the file says.
TEST_F(AppDelegateTest, ALockFileLeftBehindNeverBlocksOnlyAHolderDoes)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("instance"));
    const QString lockFile = SingleInstance(folder).lockFilePath();
    ASSERT_TRUE(testkit::writeFile(lockFile, QByteArray()));
    {
        SingleInstance afterAKill(folder);
        EXPECT_TRUE(afterAKill.tryToRun());
    }

    const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
    if (flock.isEmpty())
        GTEST_SKIP() << "no flock program to hold the lock from another process";
    // One process that locks, writes its "id", and waits.
    QProcess holder;
    holder.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("exec 9<>\"$0\" && flock -x 9 && echo 4242 > \"$0\" && exec sleep 600"), lockFile});
    ASSERT_TRUE(testkit::waitUntil([&] { return testkit::readFile(lockFile) == "4242\n"; }, 30000));
    SingleInstance refused(folder);
    EXPECT_FALSE(refused.tryToRun());
    EXPECT_EQ(refused.otherProcessId(), 4242);
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished());
    SingleInstance next(folder);
    EXPECT_TRUE(next.tryToRun());
}

// Every process of the user must meet at one lock: its folder comes from the
// user id alone, and a name in the shared temporary folder that is not the
// user's own private folder is not trusted.
TEST_F(AppDelegateTest, TheLockFolderComesFromTheUserIdAndIsPrivate)
{
    const uid_t uid = ::getuid();
    const QString fallback = testkit::makeTempFolder(QStringLiteral("fallback"));

    const QString tmp = testkit::makeTempFolder(QStringLiteral("tmp"));
    const QString own = tmp + QStringLiteral("/com.halvane.vemo.sorrelby-") + QString::number(uid);
    EXPECT_EQ(SingleInstance::folderForUser(tmp, uid, fallback), own);
    EXPECT_EQ(modeOf(own), mode_t(0700));
    ::chmod(QFile::encodeName(own).constData(), 0777);
    EXPECT_EQ(SingleInstance::folderForUser(tmp, uid, fallback), own);
    EXPECT_EQ(modeOf(own), mode_t(0700));

    // Taken by another user, or a link planted to elsewhere.
    const QString taken = testkit::makeTempFolder(QStringLiteral("taken"));
    const QString theirs = taken + QStringLiteral("/com.halvane.vemo.sorrelby-") + QString::number(uid);
    ASSERT_TRUE(QDir().mkpath(theirs));
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
        EXPECT_EQ(SingleInstance::folderForUser(taken, uid, fallback), fallback);
    }
    const QString linked = testkit::makeTempFolder(QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(own, linked + QStringLiteral("/com.halvane.vemo.sorrelby-") + QString::number(uid)));
    EXPECT_EQ(SingleInstance::folderForUser(linked, uid, fallback), fallback);

    // Test runs name a folder of their own, away from the user's copy.
    EXPECT_EQ(SingleInstance::defaultFolder(), QDir::cleanPath(qEnvironmentVariable(cInstanceFolderVar)));
}
