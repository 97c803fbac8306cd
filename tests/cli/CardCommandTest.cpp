// The `card` command run as a program: a folder standing for a card copied,
// placed and decoded; folders given with --set checked as the preferences
// check them; a copy interrupted by a kill finished by the next run; the
// command killed after each of its file-changing steps, or meeting a full
// disk, a read-only folder or a source folder taken away; and, where loop
// mounts are allowed, `card --wait` choosing the card among volumes mounted
// at once and ejecting it.

#include "tests/testkit/fixtures/CardCommandScene.h"

using namespace sorrelby::testkit::cardcommand;

TEST(CardCommand, CopiesAFolderAsACardThenDecodes)
{
    const QString card = makeTempFolder(QStringLiteral("card"));
    const std::optional<Shoot> shoot = writeShoot(makeFolder(card + QStringLiteral("/DCIM/100NIKON")), smallShoot());
    ASSERT_TRUE(shoot);
    const QString source = makeTempFolder(QStringLiteral("source"));
    ASSERT_TRUE(writeFile(source + QStringLiteral("/B9_DSC_0900.JPG"), smallJpeg()));

    const ProgramRun run = runApp({"card", "--set", "prefSourcePath=" + source, card});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("4 photo(s) copied from ") + card)) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("1 earlier photo(s) set aside in the trash"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Found/Decoded QRCodes:\n\nS001, S002"))) << run.out.toStdString();
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(shoot->expectedNames()));
    EXPECT_EQ(filesBelow(card).size(), 4); // the card keeps its photos

    EXPECT_EQ(runApp({"card", "--wait", card}).exitCode, 2);
    EXPECT_EQ(runApp({"card", "--set", "prefSourcePath=" + source, card + QStringLiteral("/absent")}).exitCode, 1);
}

TEST(CardCommand, FoldersGivenWithSetPassThePreferencesChecks)
{
    // A source folder around the main and hot folders would have its
    // delivered and incoming photos set aside with the previous card's.
    const QString outer = makeTempFolder(QStringLiteral("outer"));
    const QString delivered = makeFolder(outer + QStringLiteral("/Main/03-01-2026")) + QStringLiteral("/K7_DSC_0100.JPG");
    ASSERT_TRUE(writeFile(delivered, smallJpeg()));
    ASSERT_TRUE(writeFile(makeFolder(outer + QStringLiteral("/Hot")) + QStringLiteral("/DSC_0200.JPG"), smallJpeg()));
    ASSERT_TRUE(writeFile(makeFolder(outer + QStringLiteral("/Source")) + QStringLiteral("/DSC_0300.JPG"), smallJpeg()));
    const QStringList before = filesBelow(outer);
    const QStringList trashBefore = entriesOf(trashFolder() + QStringLiteral("/files"));
    const QString card = makeTempFolder(QStringLiteral("card"));
    ASSERT_TRUE(writeShoot(makeFolder(card + QStringLiteral("/DCIM/100NIKON")), smallShoot()));
    ASSERT_EQ(runApp({"settings", "prefDestinationPath=" + outer + "/Main", "prefHotFolderPath=" + outer + "/Hot"}).exitCode, 0);

    ProgramRun run = runApp({"card", "--set", "prefSourcePath=" + outer, card});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("This folder holds the"))) << run.err.toStdString();
    EXPECT_EQ(filesBelow(outer), before);

    // Given together, or inside another role's folder, or for another command.
    run = runApp({"card", "--set", "prefDestinationPath=" + outer + "/Source/Main", "--set", "prefSourcePath=" + outer + "/Source", card});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("prefDestinationPath"))) << run.err.toStdString();
    run = runApp({"sections", "--set", "prefHotFolderPath=" + outer + "/Main/03-01-2026", outer + "/Source"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("lies inside the Destination folder"))) << run.err.toStdString();
    // A daily pattern that names no date, and a value of the wrong kind.
    run = runApp({"sections", "--set", "prefDailyFolderDateFormat=abc", outer + "/Source"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no date field"))) << run.err.toStdString();
    EXPECT_EQ(runApp({"sections", "--set", "prefCheckForMultiCameras=perhaps", outer + "/Source"}).exitCode, 2);
    EXPECT_EQ(filesBelow(outer), before);
    EXPECT_EQ(entriesOf(trashFolder() + QStringLiteral("/files")), trashBefore);
}

TEST(CardCommand, ACopyAKillInterruptedIsFinishedAndDecodedWithTheNextCard)
{
    // The first card was ejected and its photos were being placed when the
    // program was killed: the staged ones are the only copies left.
    const QString shootFolder = makeTempFolder(QStringLiteral("shoot"));
    const QString source = makeFolder(shootFolder + QStringLiteral("/source"));
    ShootSpec first = smallShoot();
    first.subjects = 1;
    first.codes = {QStringLiteral("X01")};
    first.firstFrameNumber = 1001;
    const std::optional<Shoot> interrupted = writeShoot(makeTempFolder(QStringLiteral("first")), first);
    ASSERT_TRUE(interrupted);
    const QString staging = makeFolder(shootFolder + QStringLiteral("/.copyOfCard"));
    ASSERT_TRUE(writePlacingJournal(staging, source, interrupted->paths()));
    ASSERT_TRUE(fileops::moveNoReplace(interrupted->paths()[0], source + QLatin1Char('/') + interrupted->fileNames()[0]));
    ASSERT_TRUE(fileops::moveNoReplace(interrupted->paths()[1], staging + QLatin1Char('/') + interrupted->fileNames()[1]));
    const QStringList trashBefore = entriesOf(trashFolder() + QStringLiteral("/files"));

    ShootSpec second = smallShoot();
    second.start = QDateTime(QDate(2024, 5, 1), QTime(10, 0));
    const QString card = makeTempFolder(QStringLiteral("card"));
    const std::optional<Shoot> next = writeShoot(makeFolder(card + QStringLiteral("/DCIM/100NIKON")), second);
    ASSERT_TRUE(next);

    const ProgramRun run = runApp({"card", "--set", "prefSourcePath=" + source, card});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // Both photos of that copy, the one it had placed and the staged one.
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("2 photos recovered from an interrupted card copy\n"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("4 photo(s) copied"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QStringLiteral("set aside"))) << run.out.toStdString();
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(interrupted->expectedNames() + next->expectedNames()));
    EXPECT_FALSE(fileops::exists(staging));
    EXPECT_EQ(entriesOf(trashFolder() + QStringLiteral("/files")), trashBefore);
}

TEST(CardCommand, WatchFinishesAnInterruptedCopyAndDeliversItsPhotos)
{
    const QString shootFolder = makeTempFolder(QStringLiteral("shoot"));
    const QString source = makeFolder(shootFolder + QStringLiteral("/source"));
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    ShootSpec spec = smallShoot();
    spec.subjects = 1;
    const QString staging = makeFolder(shootFolder + QStringLiteral("/.copyOfCard"));
    const std::optional<Shoot> shoot = writeShoot(staging, spec);
    ASSERT_TRUE(shoot);
    ASSERT_TRUE(writePlacingJournal(staging, source, shoot->paths()));

    bool delivered = false;
    const QByteArray out = watchUntil(
        {"--set", "prefHotFolderPath=" + hot, "--set", "prefSourcePath=" + source, "--set", "prefDestinationPath=" + main, "--set",
         "prefDailyFolderDateFormat=yyyy"},
        [&] { return !filesBelow(main).isEmpty(); }, &delivered);
    ASSERT_TRUE(delivered) << out.toStdString();
    EXPECT_TRUE(out.contains(" 2 photos recovered from an interrupted card copy\n")) << out.toStdString();
    EXPECT_FALSE(fileops::exists(staging));
    const QString year = QString::number(QDateTime::currentDateTime().addSecs(-3 * 3600).date().year());
    EXPECT_EQ(filesBelow(main), QStringList{year + QStringLiteral("/S001_DSC_0002.JPG")});
}

TEST(CardCommand, KilledAfterEachStepAndRestartedLosesNothing)
{
    const CardScene scene(makeTempFolder(QStringLiteral("card")));
    const QStringList args{"card", "--set", "prefSourcePath=" + scene.source(), scene.cardFolder()};
    const KillSweepReport report = sweepApp(
        "card FOLDER", args, [&] { scene.reset(); },
        [&](int) {
            const ProgramRun restart = runApp(args);
            QStringList problems = scene.problems();
            if (restart.exitCode != 0)
                problems << QStringLiteral("restart refused (exit %1): %2").arg(restart.exitCode).arg(restart.err.left(300));
            return problems;
        });
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << lines(report.problems);
    // The sweep went through every stage of the copy.
    for (const QString &stage : {QStringLiteral("/.copyOfCard/DSC_"), QStringLiteral("/Trash/"), QStringLiteral("/source/S00")})
        EXPECT_TRUE(report.steps.join(QLatin1Char('\n')).contains(stage)) << stage.toStdString();
}

TEST(CardCommand, AMountedCardKilledAfterEachStepIsEjectedOnlyOnceCopied)
{
    LoopVolume card(makeTempFolder(QStringLiteral("media")) + QStringLiteral("/NIKON D850"), 32);
    if (!card.unavailable().isEmpty())
        GTEST_SKIP() << card.unavailable().toStdString();
    const QString mountPoint = card.mountPoint();
    const CardScene scene(mountPoint);
    const QStringList args{
        "card", "--set", "prefSourcePath=" + scene.source(), "--set", "prefTempMountVolume=" + mountPoint, mountPoint + "/DCIM"};
    bool ejectedEarly = false;
    const auto prepare = [&] {
        if (!card.isMounted())
            card.remountAt(mountPoint);
        scene.reset();
    };
    const KillSweepReport report = sweepApp("card on a mounted card", args, prepare, [&](int) {
        QStringList problems;
        // Ejected means every photo is in the source folder already.
        if (!card.isMounted()) {
            ejectedEarly = ejectedEarly || !scene.cardIsInTheSourceFolder();
            card.remountAt(mountPoint); // the user puts the card in again
        }
        const ProgramRun restart = runApp(args);
        problems << scene.problems();
        if (restart.exitCode != 0)
            problems << QStringLiteral("restart refused (exit %1): %2").arg(restart.exitCode).arg(restart.err.left(300));
        if (card.isMounted())
            problems << QStringLiteral("the card was not ejected");
        return problems;
    });
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << lines(report.problems);
    EXPECT_FALSE(ejectedEarly);
    card.remountAt(mountPoint);
    EXPECT_EQ(filesBelow(mountPoint).size(), 2);
}

TEST(CardCommand, AFullDiskAReadOnlyFolderAndAVanishedSourceFolderLoseNothing)
{
    const CardScene scene(makeTempFolder(QStringLiteral("card")));
    const QStringList args{"card", "--set", "prefSourcePath=" + scene.source(), scene.cardFolder()};
    scene.reset();
    const QStringList steps = stepsOf(QStringLiteral(SORRELBY_APP_PATH), args);
    const int firstCopy
        = stepWhere(steps, [](const QString &, const QString &path) { return path.contains(QLatin1String("/.copyOfCard/DSC_")); });
    const int firstTrash = stepWhere(steps, [](const QString &, const QString &path) { return path.contains(QLatin1String("/Trash/")); });
    ASSERT_GT(firstCopy, 0);
    ASSERT_GT(firstTrash, firstCopy);
    auto restartIsClean = [&](const char *what) {
        const ProgramRun restart = runApp(args);
        EXPECT_EQ(restart.exitCode, 0) << what << ": " << restart.err.toStdString();
        EXPECT_TRUE(scene.problems().isEmpty()) << what << ": " << lines(scene.problems());
    };

    // The disk fills up after the first photo: nothing changed but what the
    // next start finishes.
    scene.reset();
    FaultPlan full;
    full.failAfter = firstCopy;
    full.error = QStringLiteral("ENOSPC");
    ProgramRun run = runWithFaults(QStringLiteral(SORRELBY_APP_PATH), args, full);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.err.contains(QStringLiteral("could NOT be copied"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("No space left on device"))) << run.err.toStdString();
    EXPECT_TRUE(fileops::exists(scene.source() + QStringLiteral("/B9_DSC_0900.JPG")));
    restartIsClean("after a full disk");

    // The source folder's volume turns read-only while the earlier photos go.
    scene.reset();
    FaultPlan readOnly;
    readOnly.failAfter = firstTrash - 1;
    readOnly.error = QStringLiteral("EROFS");
    run = runWithFaults(QStringLiteral(SORRELBY_APP_PATH), args, readOnly);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("Unable to move 1 earlier photos out of"))) << run.err.toStdString();
    EXPECT_TRUE(fileops::exists(scene.source() + QStringLiteral("/B9_DSC_0900.JPG")));
    restartIsClean("after a read-only folder");

    // The source folder is taken away while the card is being copied.
    scene.reset();
    run = runStoppedAfter(QStringLiteral(SORRELBY_APP_PATH), args, firstCopy, [&] { QDir(scene.source()).removeRecursively(); });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("The Source Folder ") + scene.source() + QStringLiteral(" is gone")))
        << run.err.toStdString();
    EXPECT_FALSE(fileops::exists(scene.root() + QStringLiteral("/.copyOfCard")));
    EXPECT_EQ(filesBelow(scene.cardFolder()).size(), 2);
}

TEST(CardCommand, WaitTakesTheCardAmongVolumesMountedAtOnceAndSkipsTheOthers)
{
    const QString media = makeTempFolder(QStringLiteral("media"));
    LoopVolume card(makeTempFolder(QStringLiteral("prep")) + QStringLiteral("/card"), 32);
    if (!card.unavailable().isEmpty())
        GTEST_SKIP() << card.unavailable().toStdString();
    const std::optional<Shoot> shoot = writeShoot(makeFolder(card.mountPoint() + QStringLiteral("/DCIM/100NIKON")), smallShoot());
    ASSERT_TRUE(shoot);
    card.unmount();
    LoopVolume empty(makeTempFolder(QStringLiteral("prep2")) + QStringLiteral("/empty"));
    ASSERT_TRUE(empty.unavailable().isEmpty());
    makeFolder(empty.mountPoint() + QStringLiteral("/DCIM"));
    empty.unmount();
    LoopVolume stick(makeTempFolder(QStringLiteral("prep3")) + QStringLiteral("/stick"));
    ASSERT_TRUE(stick.unavailable().isEmpty());
    stick.unmount();
    const QString source = makeTempFolder(QStringLiteral("source"));

    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(SORRELBY_APP_PATH), {"card", "--wait", "--volume-root", media, "--set", "prefSourcePath=" + source});
    ASSERT_TRUE(process.waitForReadyRead(20000)); // "Please Insert CARD..."
    // Stopped, so that the three arrive in one change of the mount table.
    ::kill(pid_t(process.processId()), SIGSTOP);
    ASSERT_TRUE(empty.remountAt(media + QStringLiteral("/A EMPTY")));
    ASSERT_TRUE(card.remountAt(media + QStringLiteral("/B NIKON")));
    ASSERT_TRUE(stick.remountAt(media + QStringLiteral("/C STICK")));
    ::kill(pid_t(process.processId()), SIGCONT);
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());

    EXPECT_EQ(process.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(out.contains(media + QStringLiteral("/A EMPTY: no camera photos in ") + media + QStringLiteral("/A EMPTY/DCIM, skipped")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(media + QStringLiteral("/C STICK: no camera folder (DCIM), skipped"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("card ejected: ") + media + QStringLiteral("/B NIKON"))) << out.toStdString();
    EXPECT_FALSE(card.isMounted());
    EXPECT_TRUE(empty.isMounted());
    EXPECT_TRUE(stick.isMounted());
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(shoot->expectedNames()));
}
