// The daily quit and relaunch inside one process: the relaunch history of
// the watchdog, the next relaunch date, the timer of the application object
// with an injected clock, the wait for an idle work queue, and the relaunch
// time dialog. Nothing here ends the process: the relaunch itself is a fake.

#include "tests/testkit/fixtures/DailyRelaunchScene.h"

using namespace sorrelby;

using namespace sorrelby::testkit::dailyrelaunch;

namespace {

TEST_F(DailyRelaunchTest, RelaunchHistoryCatchesACrashLoopAndAnOrdinaryStartClearsIt)
{
    const QString key = QString::fromLatin1(Watchdog::cRecentLaunchDatesKey);
    const QDateTime t0 = at(2026, 6, 1, 10, 0);
    int asked = 0;
    double askedInterval = -1;
    bool insist = false;
    const Watchdog::EscapeBlock escape = [&](int launches, double interval) {
        ++asked;
        EXPECT_EQ(launches, 4);
        askedInterval = interval;
        return insist;
    };

    // Four starts by the watchdog, 5 s apart: the history is still short.
    for (int start = 0; start < 4; ++start)
        EXPECT_TRUE(Watchdog::shouldKeepRunning(cAutorelaunched, t0.addSecs(5 * start), 4, 30.0, escape)) << start;
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(settings.value(key).toList().size(), 4);

    // The fifth, 20 s after the first of the four: a loop, not watched.
    EXPECT_FALSE(Watchdog::shouldKeepRunning(cAutorelaunched, t0.addSecs(20), 4, 30.0, escape));
    EXPECT_EQ(asked, 1);
    EXPECT_DOUBLE_EQ(askedInterval, 20.0);
    // Only what the next decision needs is kept.
    const QVariantList kept = settings.value(key).toList();
    ASSERT_EQ(kept.size(), 4);
    EXPECT_EQ(kept.constLast().toDateTime(), t0.addSecs(20));

    // The escape may insist on watching.
    insist = true;
    EXPECT_TRUE(Watchdog::shouldKeepRunning(cAutorelaunched, t0.addSecs(21), 4, 30.0, escape));

    // Slower than four in 30 s is no loop.
    EXPECT_TRUE(Watchdog::shouldKeepRunning(cAutorelaunched, t0.addSecs(60), 4, 30.0, escape));
    EXPECT_EQ(asked, 2);

    // An ordinary start forgets it all, in the file too.
    EXPECT_TRUE(Watchdog::shouldKeepRunning({QStringLiteral("vemo-sorrelby")}, t0.addSecs(61), 4, 30.0, escape));
    EXPECT_FALSE(settings.value(key).isValid());
    EXPECT_FALSE(Settings(settings.filePath()).value(key).isValid());
    EXPECT_TRUE(Watchdog::shouldKeepRunning(cAutorelaunched, t0.addSecs(62), 4, 30.0, escape));
    EXPECT_EQ(asked, 2);
}

TEST_F(DailyRelaunchTest, NextRelaunchIsTodayOrTomorrowAtTheSameTimeOfDay)
{
    const QDateTime six = at(2026, 6, 1, 0, 6);
    EXPECT_EQ(Relaunch::convertToNextLaunchCtlDate2(six, at(2026, 6, 1, 23, 0)), at(2026, 6, 2, 0, 6));
    EXPECT_EQ(Relaunch::convertToNextLaunchCtlDate2(six, at(2026, 6, 1, 0, 5)), at(2026, 6, 1, 0, 6));
    EXPECT_EQ(Relaunch::convertToNextLaunchCtlDate2(six, at(2026, 6, 1, 0, 6)), at(2026, 6, 2, 0, 6));
    // The date of the stored time does not matter, only its time of day.
    EXPECT_EQ(Relaunch::convertToNextLaunchCtlDate2(at(2019, 1, 1, 0, 6), at(2026, 6, 1, 0, 5)), at(2026, 6, 1, 0, 6));

    // Across the night the clocks go forward (a 23-hour day) the relaunch
    // stays at 00:06, where 86400 s on would make it 01:06.
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    const QDateTime afterSix(QDate(2026, 3, 28), QTime(0, 10), berlin);
    const QDateTime next = Relaunch::convertToNextLaunchCtlDate2(six, afterSix);
    EXPECT_EQ(next, QDateTime(QDate(2026, 3, 29), QTime(0, 6), berlin));
    const QDateTime nextNight = Relaunch::convertToNextLaunchCtlDate2(six, QDateTime(QDate(2026, 3, 29), QTime(0, 10), berlin));
    EXPECT_EQ(nextNight.toTimeZone(berlin).time(), QTime(0, 6));
    EXPECT_EQ(nextNight.toTimeZone(berlin).date(), QDate(2026, 3, 30));
}

TEST_F(DailyRelaunchTest, TimerIsArmedWhileSwitchedOnAndFollowsTheMenuAndTheRelaunchTime)
{
    settings.setValue(cDoDaily, true);
    startApp(options([] { return at(2026, 6, 1, 23, 0); }));
    EXPECT_EQ(app->nextQuitRelaunchDate(), at(2026, 6, 2, 0, 6));
    EXPECT_EQ(settings.stringValue(cDisplay), Relaunch::displayString(at(2026, 6, 2, 0, 6)));

    // The menu toggle switches it off and on.
    MainWindow window;
    app->setMainWindow(&window);
    auto *toggle = window.findChild<QAction *>(QStringLiteral("dailyQuitRelaunchAction"));
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->isChecked());
    toggle->trigger();
    EXPECT_FALSE(settings.boolValue(cDoDaily));
    EXPECT_FALSE(app->nextQuitRelaunchDate().isValid());
    EXPECT_EQ(settings.stringValue(cDisplay), QLatin1String("< Not Setup - Disabled >"));
    toggle->trigger();
    EXPECT_EQ(app->nextQuitRelaunchDate(), at(2026, 6, 2, 0, 6));
    // So does the preferences window's switch, and the menu follows it.
    settings.setValue(cDoDaily, false);
    EXPECT_TRUE(testkit::waitUntil([&] { return !app->nextQuitRelaunchDate().isValid() && !toggle->isChecked(); }));
    settings.setValue(cDoDaily, true);
    EXPECT_TRUE(testkit::waitUntil([&] { return app->nextQuitRelaunchDate() == at(2026, 6, 2, 0, 6) && toggle->isChecked(); }));
    // The preferences window's button opens the relaunch time dialog.
    {
        PreferencesViewController preferences;
        preferences.findChild<QPushButton *>(QStringLiteral("setRelaunchTimeButton"))->click();
        EXPECT_NE(preferences.findChild<SetQuitRelaunchViewController *>(), nullptr);
    }

    // A new relaunch time re-arms it.
    settings.setValue(cScheduled2, at(2026, 6, 1, 1, 30));
    settings.setValue(cRelaunchTime, at(2026, 6, 1, 1, 30));
    EXPECT_TRUE(testkit::waitUntil([&] { return app->nextQuitRelaunchDate() == at(2026, 6, 2, 1, 30); }));

    // Nothing fired meanwhile.
    EXPECT_EQ(relaunches, 0);

    // When it fires, open sheets are closed before the process ends.
    window.findChild<QAction *>(QStringLiteral("setQuitRelaunchTimeAction"))->trigger();
    const QPointer<SetQuitRelaunchViewController> sheet = window.findChild<SetQuitRelaunchViewController *>();
    ASSERT_FALSE(sheet.isNull());
    bool sheetOpenAtTheEnd = true;
    duringRelaunch = [&] { sheetOpenAtTheEnd = sheet && sheet->isVisible(); };
    app->ibQuitAndRelaunch();
    ASSERT_TRUE(testkit::waitUntil([&] { return relaunches == 1; }));
    EXPECT_FALSE(sheetOpenAtTheEnd);
}

TEST_F(DailyRelaunchTest, FiresAtTheTimeButOnlyOnceTheWorkQueueIsIdle)
{
    // The clock stands 0.3 s before 14:30 when the test starts.
    QElapsedTimer elapsed;
    elapsed.start();
    const QDateTime base = at(2026, 6, 1, 14, 29, 59700);
    settings.setValue(cDoDaily, true);
    settings.setValue(cScheduled2, at(2026, 6, 1, 14, 30));
    settings.setValue(cRelaunchTime, at(2026, 6, 1, 14, 30));
    startApp(options([&] { return base.addMSecs(elapsed.elapsed()); }));
    ASSERT_EQ(app->nextQuitRelaunchDate(), at(2026, 6, 1, 14, 30));

    // A delivery (or any job) is running when the time comes, and an intake
    // pass follows it.
    auto busy = std::make_unique<Blocker>(queue);
    ASSERT_TRUE(testkit::waitUntil([&] { return app->isWaitingToRelaunch(); }));
    testkit::spinFor(100);
    EXPECT_EQ(relaunches, 0);
    app->fIsProcessingHotFolder = true;
    busy->letGo();
    testkit::spinFor(100);
    EXPECT_EQ(relaunches, 0);
    // A card copy on its own queue must end too.
    SerialQueue cardQueue(QStringLiteral("test.cardcopy"));
    cardQueue.setChangesFiles(true);
    auto copying = std::make_unique<Blocker>(cardQueue);
    app->fIsProcessingHotFolder = false;
    testkit::spinFor(100);
    EXPECT_EQ(relaunches, 0);
    app->fIsProcessingHotFolder = true;
    copying->letGo();
    ASSERT_TRUE(testkit::waitUntil([&] { return cardQueue.pendingJobs() == 0; }));

    // While the process ends, no new job of the queue may start.
    bool startedWhileEnding = false;
    duringRelaunch = [&] {
        queue.async([&] { startedWhileEnding = true; });
        QThread::msleep(50);
        EXPECT_FALSE(startedWhileEnding);
    };
    app->fIsProcessingHotFolder = false;
    ASSERT_TRUE(testkit::waitUntil([&] { return relaunches == 1; }));
    EXPECT_TRUE(testkit::waitUntil([&] { return startedWhileEnding; }));
    // Had the process not ended, tomorrow is next.
    EXPECT_TRUE(testkit::waitUntil([&] { return app->nextQuitRelaunchDate() == at(2026, 6, 2, 14, 30); }));
    EXPECT_FALSE(app->isWaitingToRelaunch());
    EXPECT_EQ(relaunches, 1);
}

TEST_F(DailyRelaunchTest, AnOrderlyQuitWaitsForTheFileWorkInHand)
{
    startApp(options([] { return at(2026, 6, 1, 9, 0); }));
    SerialQueue reassignQueue(QStringLiteral("test.reassign"));
    reassignQueue.setChangesFiles(true);
    std::atomic<bool> renamed{false};
    reassignQueue.async([&] {
        QThread::msleep(200);
        renamed = true;
    });
    queue.setChangesFiles(true);
    queue.async([] { QThread::msleep(100); });
    app->applicationWillTerminate();
    EXPECT_TRUE(renamed);
    EXPECT_EQ(queue.pendingJobs(), 0);
}

TEST_F(DailyRelaunchTest, BusyWorkQueueSkipsTheDayAfterTheLongestWait)
{
    settings.setValue(cDoDaily, true);
    AppDelegate::Options o = options([] { return at(2026, 6, 1, 14, 30, 1); });
    o.relaunchTiming.longestWait = 0.3;
    startApp(std::move(o));
    Blocker busy(queue);
    app->ibQuitAndRelaunch();
    EXPECT_TRUE(app->isWaitingToRelaunch());
    ASSERT_TRUE(testkit::waitUntil([&] { return !app->isWaitingToRelaunch(); }));
    EXPECT_EQ(relaunches, 0);
    EXPECT_EQ(app->nextQuitRelaunchDate(), at(2026, 6, 2, 0, 6));
    busy.letGo();
    testkit::spinFor(50);
    EXPECT_EQ(relaunches, 0);
}

TEST_F(DailyRelaunchTest, DialogShowsTheNextDateLiveAndSavingReplacesTheArmedTimer)
{
    const auto clock = [] { return at(2026, 6, 1, 10, 0); };
    settings.setValue(cDoDaily, true);
    startApp(options(clock));
    MainWindow window;
    app->setMainWindow(&window);
    ASSERT_EQ(app->nextQuitRelaunchDate(), at(2026, 6, 2, 0, 6));

    auto *open = window.findChild<QAction *>(QStringLiteral("setQuitRelaunchTimeAction"));
    ASSERT_NE(open, nullptr);
    open->trigger();
    auto *dialog = window.findChild<SetQuitRelaunchViewController *>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    const RelaunchDialogControls controls(dialog);
    ASSERT_TRUE(controls.found());
    auto [edit, status, save, reset] = controls;

    const QString prefix = QStringLiteral("Next Startup Date will be set to:\n");
    EXPECT_EQ(settings.dateValue(cTemp).time(), QTime(0, 6));
    EXPECT_EQ(edit->time(), QTime(0, 6));
    EXPECT_EQ(status->text(), prefix + Relaunch::displayString(at(2026, 6, 2, 0, 6)));

    // Later today: today's date, shown as it is typed.
    edit->setTime(QTime(11, 15));
    EXPECT_TRUE(testkit::waitUntil([&] { return status->text() == prefix + Relaunch::displayString(at(2026, 6, 1, 11, 15)); }))
        << status->text().toStdString();
    // Nothing is armed before Save.
    EXPECT_EQ(app->nextQuitRelaunchDate(), at(2026, 6, 2, 0, 6));

    reset->click();
    EXPECT_TRUE(testkit::waitUntil([&] { return edit->time() == QTime(0, 6); }));
    EXPECT_EQ(status->text(), prefix + Relaunch::displayString(at(2026, 6, 2, 0, 6)));

    edit->setTime(QTime(11, 15));
    save->click();
    EXPECT_EQ(settings.dateValue(cRelaunchTime).time(), QTime(11, 15));
    EXPECT_EQ(settings.dateValue(cScheduled2).time(), QTime(11, 15));
    EXPECT_TRUE(testkit::waitUntil([&] { return window.findChild<SetQuitRelaunchViewController *>() == nullptr; }));
    EXPECT_TRUE(testkit::waitUntil([&] { return app->nextQuitRelaunchDate() == at(2026, 6, 1, 11, 15); }));
    EXPECT_TRUE(alerts.shown().empty());
}

} // namespace

TEST(WatchdogHelpers, FoundBesideTheExecutableElseInTheInstalledLibraryExecutablesFolder)
{
    const QString root = testkit::makeTempFolder(QStringLiteral("usr"));
    const QString bin = root + QStringLiteral("/bin");
    const QString libexec = root + QStringLiteral("/libexec/vemo-sorrelby");
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(libexec));
    // Installed: only the library-executables folder holds them.
    writeHelper(libexec + QStringLiteral("/watchdog"), true);
    EXPECT_EQ(helperExecutable(QStringLiteral("watchdog"), bin), libexec + QStringLiteral("/watchdog"));
    // A file there that cannot run is no helper: the path beside, for the log.
    writeHelper(libexec + QStringLiteral("/relaunch"), false);
    EXPECT_EQ(helperExecutable(QStringLiteral("relaunch"), bin), bin + QStringLiteral("/relaunch"));
    // The build tree: the one beside the executable wins.
    writeHelper(bin + QStringLiteral("/watchdog"), true);
    EXPECT_EQ(helperExecutable(QStringLiteral("watchdog"), bin), bin + QStringLiteral("/watchdog"));
}
