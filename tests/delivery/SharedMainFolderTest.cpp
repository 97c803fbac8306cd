// `deliver` into main folders that are not local Linux file systems: an
// exFAT drive through FUSE (names it refuses, no never-replace rename, no
// hard links) and a share several stations deliver into at once (bindfs
// over a local folder stands in for the file server).

#include "tests/testkit/fixtures/SharedMainFolderScene.h"

using namespace sorrelby::testkit::sharedmainfolder;

namespace {

// Codes from cards that held "/" arrive on an exFAT drive, in a day folder
// whose pattern has "/" too, each photo under its own name that reads back
// as its code.
TEST_F(ExfatMainFolder, CodesWithSlashesArriveUnderNamesTheDriveAccepts)
{
    const QMap<QByteArray, QString> originals = writeShoot(source, slashCodeNames(13), "exfat");
    const ProgramRun run = runApp(args());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Moved 13 out of 13 Allowed Files."))) << run.out.toStdString();
    EXPECT_TRUE(entriesOf(source).isEmpty()) << lines(entriesOf(source));
    const QStringList delivered = filesBelow(drive->mountPoint());
    ASSERT_EQ(delivered.size(), 13) << lines(delivered);
    for (const QString &path : delivered) {
        EXPECT_FALSE(path.contains(u':')) << path.toStdString();
        const QString name = fromWindowsSafeName(QFileInfo(path).fileName());
        EXPECT_TRUE(name.startsWith(QStringLiteral("SCH7:1004_")) || name.startsWith(QStringLiteral("Smith John:Class 3_")))
            << name.toStdString();
    }
    // The day's "/" became ":" as ever, and its stand-in on the drive.
    const QString day = QDateTime::currentDateTime().addSecs(-3 * 3600).toString(QStringLiteral("MM:dd:yyyy"));
    EXPECT_EQ(fromWindowsSafeName(delivered.first().section(u'/', 0, 0)), day);
    EXPECT_EQ(lines(census(originals, {source, drive->mountPoint()})), "");
}

// The ways that never replace without renameat2's flag and hard links,
// killed after each step, then run again: every photo exactly once, no
// claim, placeholder or hidden copy left on the drive. A full drive part
// way stops the run with every photo still somewhere, once.
TEST_F(ExfatMainFolder, KilledOrFullAtAnyStepNothingIsLostOrLeftBehind)
{
    const QStringList names = slashCodeNames(3);
    QMap<QByteArray, QString> originals;
    KillSweep sweep;
    sweep.program = QStringLiteral(SORRELBY_APP_PATH);
    sweep.args = args();
    sweep.prepare = [&] {
        resetFolder(source);
        emptyFolder(drive->mountPoint());
        originals = writeShoot(source, names, "sweep");
    };
    sweep.restartAndCheck = [&](int) {
        QStringList problems;
        const ProgramRun rerun = runApp(args());
        if (rerun.exitCode != 0 || rerun.crashed)
            problems << QStringLiteral("the next run failed (exit %1): %2").arg(rerun.exitCode).arg(rerun.err.left(400));
        problems << census(originals, {source, drive->mountPoint()});
        if (!entriesOf(source).isEmpty())
            problems << QStringLiteral("left in the source: ") + entriesOf(source).join(u',');
        if (const QStringList hidden = hiddenBelow(drive->mountPoint()); !hidden.isEmpty())
            problems << QStringLiteral("left on the drive: ") + hidden.join(u',');
        if (filesBelow(drive->mountPoint()).size() != names.size())
            problems << QStringLiteral("on the drive: ") + filesBelow(drive->mountPoint()).join(u',');
        return problems;
    };
    const KillSweepReport report = runKillSweep(sweep);
    std::fprintf(stderr, "exFAT deliver kill sweep: %d points, %d killed, %d problems\n", report.points, report.killed,
                 int(report.problems.size()));
    // Per photo at least a hidden copy, its claim, the name and the source.
    EXPECT_GE(report.points, 4 * int(names.size())) << lines(report.steps);
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << lines(report.problems);

    // A full drive at a few points of the run.
    for (const int after : {2, 5, 9}) {
        SCOPED_TRACE(after);
        sweep.prepare();
        FaultPlan full;
        full.failAfter = after;
        full.error = QStringLiteral("ENOSPC");
        const ProgramRun run = runWithFaults(sweep.program, sweep.args, full);
        EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("is full"))) << run.err.toStdString();
        EXPECT_EQ(lines(census(originals, {source, drive->mountPoint()})), "");
        EXPECT_EQ(lines(hiddenBelow(drive->mountPoint())), "");
        EXPECT_EQ(lines(sweep.restartAndCheck(0)), "");
    }
}

// Two stations deliver the photo both hold onto an exFAT drive, which has no
// never-replace rename: the name is claimed and the photo copied into it.
// One is stopped half way; the other waits for it instead of taking the
// half-filled file for another photo, and the photo arrives once.
TEST_F(ExfatMainFolder, TheSamePhotoHalfPlacedByAnotherStationArrivesOnce)
{
    std::vector<Station> stations(2);
    for (size_t s = 0; s < stations.size(); ++s) {
        stations[s].home = makeTempFolder(QStringLiteral("home%1").arg(s));
        stations[s].source = makeTempFolder(QStringLiteral("source%1").arg(s));
        QDir().mkpath(stations[s].home + QStringLiteral("/runtime"));
    }
    const auto stationArgs = [&](const Station &station) {
        return QStringList{"deliver"} + kSettings
            + QStringList{"--set", "prefDailyFolderDateFormat=yyyy-MM-dd", station.source, drive->mountPoint()};
    };
    const auto prepare = [&] {
        emptyFolder(drive->mountPoint());
        for (const Station &station : stations) {
            resetFolder(station.source);
            writeFilesInOrder(station.source, {QStringLiteral("A1_DSC_9999.JPG")}, QByteArray(200000, 'p'));
        }
    };
    prepare();
    const QStringList steps = stepsOf(QStringLiteral(SORRELBY_APP_PATH), stationArgs(stations[0]), 60000, stations[0].environment());
    const auto claim = std::find_if(steps.cbegin(), steps.cend(), [](const QString &step) {
        return step.section(u' ', 1, 1) == QLatin1String("create") && step.endsWith(QLatin1String("/A1_DSC_9999.JPG"));
    });
    ASSERT_NE(claim, steps.cend()) << lines(steps);
    const int step = claim->section(u' ', 0, 0).toInt();

    prepare();
    bool waited = false;
    const ProgramRun first = runStoppedAfter(
        QStringLiteral(SORRELBY_APP_PATH), stationArgs(stations[0]), step,
        [&] {
            stations[1].start(stationArgs(stations[1]));
            // Without waiting it would be done in a moment, the photo doubled.
            waited = !stations[1].process->waitForFinished(3000);
        },
        60000, stations[0].environment());
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    ASSERT_TRUE(stations[1].process->state() == QProcess::NotRunning || stations[1].process->waitForFinished(60000));
    EXPECT_TRUE(waited);
    EXPECT_EQ(stations[1].process->exitCode(), 0) << stations[1].process->readAllStandardError().toStdString();
    const QStringList delivered = filesBelow(drive->mountPoint());
    ASSERT_EQ(delivered.size(), 1) << lines(delivered);
    EXPECT_TRUE(delivered.first().endsWith(QLatin1String("/A1_DSC_9999.JPG"))) << delivered.first().toStdString();
    EXPECT_EQ(lines(hiddenBelow(drive->mountPoint())), "");
    for (const Station &station : stations)
        EXPECT_TRUE(entriesOf(station.source).isEmpty()) << lines(entriesOf(station.source));
}

// Three stations deliver into one share at once: photos of the same names
// that are different photos all arrive (under "c" names), the one photo all
// three hold arrives once, and nothing stays behind.
TEST_F(SharedMainFolder, ThreeStationsAtOnceDeliverEveryPhotoExactlyOnce)
{
    QMap<QByteArray, QString> originals;
    std::vector<Station> stations = stationsWithShoots(3, originals);
    for (Station &station : stations)
        station.start(args(station.source));
    for (Station &station : stations) {
        ASSERT_TRUE(station.process->waitForFinished(180000));
        EXPECT_EQ(station.process->exitCode(), 0) << station.process->readAllStandardError().toStdString();
        EXPECT_TRUE(entriesOf(station.source).isEmpty()) << lines(entriesOf(station.source));
    }
    QStringList folders{share->backing()};
    for (const Station &station : stations)
        folders << station.source;
    EXPECT_EQ(lines(census(originals, folders)), "");
    EXPECT_EQ(filesBelow(share->backing()).size(), originals.size()) << lines(filesBelow(share->backing()));
    EXPECT_EQ(lines(hiddenBelow(share->backing())), "");
}

// The share drops off while a photo is being copied: the run stops, every
// photo is once in the source or on the server, nothing is made where the
// share was, and the next run (share back) cleans the half copy and
// delivers the rest.
TEST_F(SharedMainFolder, AShareThatDropsMidCopyLosesNothing)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QStringList names = slashCodeNames(4);
    QMap<QByteArray, QString> originals = writeShoot(source, names, "dropped");
    // The second photo's copy has begun: its hidden copy exists, unfinished.
    const QStringList steps = stepsOf(QStringLiteral(SORRELBY_APP_PATH), args(source));
    const QStringList creates = steps.filter(QRegularExpression(QStringLiteral("^\\d+ create .*/\\.[^/]*\\.sorrelby-")));
    ASSERT_GE(creates.size(), 2) << lines(steps);
    const int secondCopyBegun = creates[1].section(u' ', 0, 0).toInt();
    emptyFolder(share->backing());
    resetFolder(source);
    originals = writeShoot(source, names, "dropped");

    const ProgramRun run = runStoppedAfter(QStringLiteral(SORRELBY_APP_PATH), args(source), secondCopyBegun, [&] {
        share->unmount();
        EXPECT_FALSE(share->isMounted());
    });
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    EXPECT_TRUE(entriesOf(share->mountPoint()).isEmpty()) << lines(filesBelow(share->mountPoint()));
    EXPECT_EQ(lines(censusOfNamedFiles(originals, {source, share->backing()})), "");

    ASSERT_TRUE(share->remount());
    const ProgramRun again = runApp(args(source));
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(entriesOf(source).isEmpty());
    EXPECT_EQ(lines(census(originals, {source, share->backing()})), "");
    EXPECT_EQ(filesBelow(share->backing()).size(), names.size()) << lines(filesBelow(share->backing()));
    EXPECT_EQ(lines(hiddenBelow(share->backing())), "");
}

} // namespace
