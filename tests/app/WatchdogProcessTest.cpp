// The real program with its real watchdog and relaunch helpers, in this
// test's own HOME. Every copy started here, also those a watchdog started,
// is ended after each case.

#include "tests/testkit/fixtures/WatchdogProcessScene.h"

using namespace sorrelby::testkit::watchdogprocess;

namespace {

TEST_F(WatchdogProcess, SignalElevenRelaunchesWithHotFolderModeAndLeavesACrashNote)
{
    Settings::shared().setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    ASSERT_TRUE(writeEarlierLog(60));
    ASSERT_TRUE(startFirst()) << logText().toStdString();
    const qint64 crashed = first.processId();
    EXPECT_FALSE(commandLineOf(crashed).contains(QLatin1String("--autorelaunched")));

    QElapsedTimer back;
    back.start();
    const qint64 relaunched = crashAndWaitForNext(SIGSEGV);
    ASSERT_NE(relaunched, 0) << logText().toStdString();
    std::printf("relaunched and watched again after %lld ms\n", static_cast<long long>(back.elapsed()));
    ASSERT_TRUE(first.state() == QProcess::NotRunning || first.waitForFinished(5000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), SIGSEGV);
    EXPECT_NE(relaunched, crashed);
    EXPECT_TRUE(commandLineOf(relaunched).contains(QLatin1String("--autorelaunched")));

    // The new copy watches the hot folder again.
    const QString monitoring = QStringLiteral("vemo-sorrelby[%1:").arg(relaunched);
    EXPECT_TRUE(logHasLineWith(monitoring, QStringLiteral("setRun:....monitoring "))) << logText().toStdString();

    const QStringList notes = crashNotes();
    ASSERT_EQ(notes.size(), 1) << lines(QDir(userfolders::logFolder()).entryList());
    const QString note = QString::fromUtf8(readFile(userfolders::logFolder() + QLatin1Char('/') + notes.first()));
    EXPECT_TRUE(note.contains(QLatin1String("How: signal 11 (SIGSEGV)"))) << note.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("Process: %1 ").arg(crashed))) << note.toStdString();
    // The last log lines are those of the crashed copy, up to its end.
    EXPECT_TRUE(note.contains(QLatin1String("Caught SIGSEGV ... exiting with status 11."))) << note.toStdString();
    EXPECT_FALSE(note.contains(QStringLiteral("vemo-sorrelby[%1:").arg(relaunched)));
    const QString tail = note.section(QLatin1String(".log:\n"), -1);
    EXPECT_EQ(tail.count(QLatin1Char('\n')), 50) << tail.toStdString();
    EXPECT_FALSE(tail.contains(QLatin1String("earlier line 1\n")));
}

TEST_F(WatchdogProcess, HangUpAndBrokenPipeAreIgnoredAndTerminateQuitsInOrder)
{
    ASSERT_TRUE(startFirst()) << logText().toStdString();
    const qint64 pid = first.processId();
    // A broken pipe is dropped at once; the hang-up after it is logged.
    ::kill(pid_t(pid), SIGPIPE);
    ::kill(pid_t(pid), SIGHUP);
    ASSERT_TRUE(logShows(QStringLiteral("Caught SIGHUP ... ignoring.")));
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(watchedPids().size(), 1);

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    // The application waited for its watchdog to end before it ended, so
    // nothing is left that could start it again.
    const QString log = logText();
    EXPECT_TRUE(log.contains(QLatin1String("Caught SIGTERM ... terminating."))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("PID %1 quits in order; not watching any more").arg(pid))) << log.toStdString();
    EXPECT_TRUE(log.contains(QLatin1String("watchdog has terminated with exit code 0"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QLatin1String("ended unexpectedly")));
    EXPECT_TRUE(processesStartedHere().isEmpty());
    EXPECT_TRUE(crashNotes().isEmpty());
}

TEST_F(WatchdogProcess, CrashLoopStopsWatchingAfterFourRelaunches)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "five starts under AddressSanitizer take longer than the 30 s window a crash loop is counted in";
#endif
    ASSERT_TRUE(startFirst()) << logText().toStdString();
    // Four relaunches within the 30 s are watched as usual.
    for (int relaunch = 1; relaunch <= 4; ++relaunch)
        ASSERT_NE(crashAndWaitForNext(SIGSEGV), 0) << "relaunch " << relaunch << "\n" << logText().toStdString();

    // The fifth start is the loop: it runs, but unwatched.
    const qint64 last = watchedPids().constLast();
    ::kill(pid_t(last), SIGSEGV);
    ASSERT_TRUE(logShows(QStringLiteral("NOT setting auto-relaunch because interval since 4 previous launches is less than 30.0 sec")));
    ASSERT_TRUE(waitUntil(
        [] { return logText().contains(QLatin1String("applicationDidFinishLaunching")) && processesStartedHere().size() == 1; }, 20000));
    const QList<AppProcess> left = processesStartedHere();
    ASSERT_EQ(left.size(), 1);
    EXPECT_FALSE(left.first().watchdog);
    EXPECT_EQ(watchedPids().size(), 5);
    EXPECT_EQ(crashNotes().size(), 5);

    // Its crash is the end.
    ::kill(pid_t(left.first().pid), SIGSEGV);
    EXPECT_TRUE(waitUntil([] { return processesStartedHere().isEmpty(); }, 10000));
}

TEST_F(WatchdogProcess, RelaunchHelperStartsAnOrdinaryCopyOnceTheOldOneHasEnded)
{
    ASSERT_TRUE(startFirst()) << logText().toStdString();
    const qint64 old = first.processId();
    QProcess helper;
    // As the application starts it: standard error is the log file.
    helper.setStandardOutputFile(QProcess::nullDevice());
    helper.setStandardErrorFile(userfolders::logFilePath(), QIODevice::Append);
    helper.start(binFolder() + QStringLiteral("/relaunch"), {QStringLiteral(SORRELBY_APP_PATH), QString::number(old), QStringLiteral("1")});
    ASSERT_TRUE(helper.waitForStarted(5000));
    // It waits for the old copy: nothing is started while it runs.
    EXPECT_FALSE(helper.waitForFinished(200));
    EXPECT_EQ(watchedPids().size(), 1);

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    ASSERT_TRUE(helper.waitForFinished(10000));
    EXPECT_EQ(helper.exitCode(), 0);
    ASSERT_TRUE(waitUntil([] { return watchedPids().size() == 2; }, 20000)) << logText().toStdString();
    const qint64 started = watchedPids().constLast();
    EXPECT_NE(started, old);
    EXPECT_TRUE(logText().contains(QStringLiteral("started %1 as PID %2").arg(QStringLiteral(SORRELBY_APP_PATH)).arg(started)))
        << logText().toStdString();
    // An ordinary start, not one of the watchdog's.
    EXPECT_FALSE(commandLineOf(started).contains(QLatin1String("--autorelaunched")));
    EXPECT_FALSE(logText().contains(QLatin1String("automatically relaunched")));
}

TEST_F(WatchdogProcess, QuitAndRelaunchEndsAtOnceKeepsTheSettingsAndIsNoCrash)
{
    const QString found = makeTempFolder(QStringLiteral("probe")) + QStringLiteral("/found");
    QProcess probe;
    probe.start(binFolder() + QStringLiteral("/quit-and-relaunch-probe"), {found});
    ASSERT_TRUE(probe.waitForFinished(20000)) << logText().toStdString();
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0) << logText().toStdString();

    // Started again by its watchdog, it found the setting it had changed.
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(found) && processesStartedHere().isEmpty(); }, 20000)) << logText().toStdString();
    EXPECT_EQ(readFile(found), "written just before");
    const QString log = logText();
    EXPECT_TRUE(log.contains(QLatin1String("ended for its daily relaunch"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QLatin1String("ended unexpectedly")));
    EXPECT_TRUE(crashNotes().isEmpty());
}

TEST_F(WatchdogProcess, MissingWatchdogIsLoggedAndTheProgramRunsUnwatched)
{
    const QString alone = startAlone();
    ASSERT_TRUE(logShows(QStringLiteral("applicationDidFinishLaunching"), 30000));
    EXPECT_EQ(logText().count(QStringLiteral("missing %1! Unexpected termination will not be monitored.")
                                  .arg(QFileInfo(alone).absolutePath() + QStringLiteral("/watchdog"))),
              1)
        << logText().toStdString();
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(10000));
}

} // namespace
