// The `deliver` command run as a program: its summary and exit status.

#include "tests/testkit/fixtures/DeliverCommandScene.h"

using namespace sorrelby::testkit;

using namespace sorrelby::testkit::delivercommand;

namespace {

TEST(DeliverCommand, ExitStatusFollowsTheSummary)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString destination = makeTempFolder(QStringLiteral("main")) + QStringLiteral("/day");
    writeFilesInOrder(source, {"A1_IMG_0001.JPG", "A1_IMG_0002.JPG", "IMG_0003.JPG"});
    // No daily sub-folder: the photos go into DEST itself.
    const QStringList leaveUnassigned{"--set", "prefMoveUnasignedPhotoMethodTag=0", "--set", "prefDailyFolderDateFormat="};

    // DEST is never made: a missing one is a drive that is not mounted.
    ProgramRun outcome = deliver(leaveUnassigned + QStringList{source, destination});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("is its drive mounted?"))) << outcome.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(destination));
    ASSERT_TRUE(QDir().mkpath(destination));

    outcome = deliver(leaveUnassigned + QStringList{source, destination});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out,
              QStringLiteral("Finished Moving ALL ReAssigned Files...\nMoved 2 out of 2 Allowed Files.\nFolder has Total of 3 Files\n"));
    EXPECT_EQ(QDir(destination).entryList(QDir::Files).size(), 2);

    // A photo that cannot be moved (its name and every "c<k>" variant taken
    // by other photos) is an issue.
    ASSERT_TRUE(writeFile(source + "/B2_IMG_0006.JPG", standIn(QStringLiteral("x.JPG"), "photo 6")));
    takeEveryVariant(destination, QStringLiteral("B2_IMG_0006.JPG")); // a folder under the name itself
    outcome = deliver(leaveUnassigned + QStringList{source, destination});
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_TRUE(outcome.out.startsWith(QStringLiteral("Possible Issue(s) with Moving ReAssigned Files...\n")));
    EXPECT_TRUE(QFileInfo::exists(source + "/B2_IMG_0006.JPG"));

    EXPECT_EQ(deliver({source + "/gone", destination}).exitCode, 1);
}

// DEST is the main folder of the run: the daily sub-folder and
// UNASSIGNED_PHOTOS are made under it, never under the configured one.
TEST(DeliverCommand, DestIsTheMainFolderOfTheRun)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString configured = makeTempFolder(QStringLiteral("configured")) + QStringLiteral("/main");
    const QString destination = makeTempFolder(QStringLiteral("main"));
    writeFilesInOrder(source, {"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG", "IMG_0003.JPG", "unknown_IMG_0004.JPG"});
    // The year three hours ago, as the daily folder counts it.
    const QString day = QDateTime::currentDateTime().addSecs(-3 * 3600).toString(QStringLiteral("yyyy"));

    const ProgramRun outcome = deliver({"--set", "prefDestinationPath=" + configured, "--set", "prefDailyFolderDateFormat=yyyy", "--set",
                                        "prefOriginalNameFormatTag=1", "--set", "prefDoUnassignedProcess=true", "--set",
                                        "prefMoveUnasignedPhotoMethodTag=1", source, destination});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(lines(filesBelow(destination)),
              lines({day + "/A1_IMG_0002.JPG", "UNASSIGNED_PHOTOS/" + day + "/IMG_0003.JPG",
                     "UNASSIGNED_PHOTOS/" + day + "/unknown_IMG_0004.JPG"}));
    EXPECT_FALSE(QFileInfo::exists(configured));
    EXPECT_TRUE(QDir(source).isEmpty());
}

// A full disk, a failing disk and a read-only one stop the run at the photo
// in hand: the rest and every card stay in the source folder, and the
// message says why and how many.
TEST_F(DeliverStops, DiskErrorsStopTheRunAndSayWhy)
{
    const QString main = makeTempFolder(QStringLiteral("main"));
    const QList<std::pair<QString, QString>> errors{
        {"ENOSPC", "is full"}, {"EIO", "reports an input/output error"}, {"EROFS", "is read-only"}};
    for (const auto &[error, words] : errors) {
        const QMap<QByteArray, QString> originals = shoot();
        resetFolder(main);
        FaultPlan plan;
        plan.failAfter = 2; // the day's folder and the first photo
        plan.error = error;
        const ProgramRun run = runWithFaults(QStringLiteral(SORRELBY_APP_PATH), args(main), plan);
        EXPECT_EQ(run.exitCode, 3) << error.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Delivery stopped: the drive of the main folder ") + words)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("5 file(s) stay in the source folder"))) << run.err.toStdString();
        EXPECT_EQ(lines(filesBelow(main)), "day/X_IMG_0002.JPG");
        EXPECT_EQ(entriesOf(source).size(), 5);
        EXPECT_EQ(lines(censusProblems(originals, {source, main, trash})), "");
    }
}

// The main folder on a real volume: unmounted in the middle of the run, it
// leaves an empty mount point where nothing may be made; read-only, it
// stops the run before anything moves.
TEST_F(DeliverStops, AMainFolderOnAVolumeThatGoesAwayOrIsReadOnly)
{
    const QString mountPoint = makeTempFolder(QStringLiteral("drive"));
    LoopVolume volume(mountPoint);
    if (!volume.unavailable().isEmpty())
        GTEST_SKIP() << volume.unavailable().toStdString();

    // The step after which the first photo is wholly on the volume.
    shoot();
    const QStringList steps = stepsOf(QStringLiteral(SORRELBY_APP_PATH), args(mountPoint));
    const QStringList unlinks = steps.filter(QRegularExpression(QStringLiteral("^\\d+ unlink ") + QRegularExpression::escape(source)));
    ASSERT_FALSE(unlinks.isEmpty()) << lines(steps);
    const int firstPhotoDone = unlinks.first().section(QLatin1Char(' '), 0, 0).toInt();
    QDir(mountPoint + QStringLiteral("/day")).removeRecursively();
    QDir(mountPoint + QStringLiteral("/UNASSIGNED_PHOTOS")).removeRecursively();
    QDir(trash).removeRecursively();
    QMap<QByteArray, QString> originals = shoot();

    const ProgramRun run = runStoppedAfter(QStringLiteral(SORRELBY_APP_PATH), args(mountPoint), firstPhotoDone, [&] {
        volume.unmount();
        EXPECT_FALSE(volume.isMounted());
    });
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("the main folder is gone"))) << run.err.toStdString();
    EXPECT_TRUE(entriesOf(mountPoint).isEmpty()) << lines(filesBelow(mountPoint));
    const QString remounted = makeTempFolder(QStringLiteral("remounted"));
    ASSERT_TRUE(volume.remountAt(remounted));
    EXPECT_EQ(lines(filesBelow(remounted).filter(QStringLiteral("IMG_"))), "day/X_IMG_0002.JPG");
    EXPECT_EQ(lines(censusProblems(originals, {source, remounted, trash})), "");

    // The same volume, emptied and mounted read-only.
    QDir(remounted + QStringLiteral("/day")).removeRecursively();
    QProcess remount;
    remount.start(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), remounted});
    ASSERT_TRUE(remount.waitForFinished(30000) && remount.exitCode() == 0);
    QDir(trash).removeRecursively();
    shoot();
    const ProgramRun readOnly = runApp(args(remounted));
    EXPECT_EQ(readOnly.exitCode, 3) << readOnly.err.toStdString();
    EXPECT_TRUE(readOnly.err.contains(QStringLiteral("is read-only"))) << readOnly.err.toStdString();
    EXPECT_EQ(entriesOf(source).size(), 6);
    EXPECT_TRUE(entriesOf(trash + QStringLiteral("/files")).isEmpty());
}

} // namespace

TEST(DeliverCommand, WithAClassListTheReportLandsBesideThePhotosAndTheListStays)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString destination = makeTempFolder(QStringLiteral("main"));
    writeFilesInOrder(source, {"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG"});
    const QByteArray roster = "code,first name,last name,group\nA1,Emma,Larsen,3B\nB2,Noah,Berg,3B\n";
    ASSERT_TRUE(writeFile(source + QStringLiteral("/roster.csv"), roster));

    const ProgramRun outcome
        = deliver({"--set", "prefDailyFolderDateFormat=", "--set", "prefOriginalNameFormatTag=1", source, destination});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    const QStringList reports = QDir(destination).entryList({QStringLiteral("sorrelby-report-*.csv")}, QDir::Files);
    ASSERT_EQ(reports.size(), 1) << lines(filesBelow(destination));
    const QByteArray report = readFile(destination + QLatin1Char('/') + reports.first());
    EXPECT_TRUE(report.contains("A1_IMG_0002.JPG") && report.contains("Larsen")) << report.toStdString();
    EXPECT_TRUE(QFileInfo::exists(destination + QStringLiteral("/A1_IMG_0002.JPG")));
    // The class list belongs to the shoot, not to the delivered photos.
    EXPECT_EQ(readFile(source + QStringLiteral("/roster.csv")), roster);
    EXPECT_FALSE(QFileInfo::exists(destination + QStringLiteral("/roster.csv")));
}
