// `reassign` as the program runs it when the world goes wrong: killed after
// each of its renames and run again with the same command line, a volume
// that turns read-only or full, a folder that goes away. Whatever happens,
// every photo is there exactly once, under one name.

#include "tests/testkit/fixtures/ReassignCommandScene.h"

using namespace sorrelby::testkit;

using namespace sorrelby::testkit::reassigncommand;

TEST_F(ReassignCommand, KilledAfterEachRenameTheSameCommandFinishesTheJob)
{
    int refused = 0;
    const KillSweepReport report = sweepApp(
        "reassign", args, [this] { prepare(); },
        [&](int) {
            const ProgramRun rerun = runApp(args);
            QStringList problems;
            if (rerun.exitCode != 0 || rerun.crashed) {
                ++refused;
                problems << QStringLiteral("restart refused (exit %1): %2").arg(rerun.exitCode).arg(rerun.err.left(300));
            }
            // Honest about what the first run did.
            if (!rerun.out.contains(QStringLiteral("(renamed before)")))
                problems << QStringLiteral("the restart does not say what was renamed before: ") + rerun.out.left(300);
            return problems + problemsOf(folder, contents, finalNames());
        });
    // At least one step per photo that did not carry the code yet.
    EXPECT_GE(report.points, kScene.size() - 1);
    EXPECT_EQ(report.killed, report.points);
    EXPECT_EQ(refused, 0);
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join(u'\n').toStdString();

    // Run once more over a finished section: nothing to do, status 0.
    const ProgramRun again = runApp(args);
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(problemsOf(folder, contents, finalNames()).isEmpty());

    // A PHOTO that is neither there nor renamed is a typo: nothing is done.
    prepare();
    const ProgramRun typo
        = runApp({QStringLiteral("reassign"), kCode, folder + QStringLiteral("/IMG_0405.JPG"), folder + QStringLiteral("/IMG_0499.JPG")});
    EXPECT_EQ(typo.exitCode, 1);
    EXPECT_TRUE(typo.err.contains(QStringLiteral("IMG_0499.JPG\" is not a photo"))) << typo.err.toStdString();
    // Nor is a code that cannot name a file.
    EXPECT_EQ(runApp({QStringLiteral("reassign"), QStringLiteral("..."), folder + QStringLiteral("/IMG_0405.JPG")}).exitCode, 2);
    EXPECT_EQ(lines(entriesOf(folder)), sortedLines(kScene));
}

TEST_F(ReassignCommand, ReadOnlyOrFullVolumeAndAFolderThatGoesAway)
{
    // Read-only from the start, or full after a few renames: the rest keep
    // their names, each says why, status 3.
    for (const QString &error : {QStringLiteral("EROFS"), QStringLiteral("ENOSPC")}) {
        SCOPED_TRACE(error.toStdString());
        prepare();
        FaultPlan plan;
        plan.failAfter = error == QLatin1String("EROFS") ? 0 : 3;
        plan.error = error;
        const ProgramRun run = runWithFaults(QStringLiteral(SORRELBY_APP_PATH), args, plan);
        EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
        const QString reason
            = error == QLatin1String("EROFS") ? QStringLiteral("Read-only file system") : QStringLiteral("No space left on device");
        const qsizetype renamed = run.out.count(QStringLiteral(" -> "));
        EXPECT_LT(renamed, kScene.size() - 1);
        EXPECT_EQ(run.err.count(QStringLiteral("kept its name: ")), kScene.size() - 1 - renamed) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(reason)) << run.err.toStdString();
        EXPECT_EQ(contentCensus({folder}).size(), contents.size());
        EXPECT_EQ(entriesOf(folder).size(), kScene.size());
        // Once the volume is writable again the same command finishes.
        const ProgramRun rerun = runApp(args);
        EXPECT_EQ(rerun.exitCode, 0) << rerun.err.toStdString();
        EXPECT_TRUE(problemsOf(folder, contents, finalNames()).isEmpty());
    }

    // The folder goes away after the first rename (a card pulled, a share
    // gone): the rest are reported, nothing is lost; back again, the same
    // command finishes.
    prepare();
    const QString away = folder + QStringLiteral(".away");
    const ProgramRun run = runStoppedAfter(QStringLiteral(SORRELBY_APP_PATH), args, 1, [&] { ASSERT_TRUE(QDir().rename(folder, away)); });
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("No such file or directory"))) << run.err.toStdString();
    EXPECT_EQ(contentCensus({away}).size(), contents.size());
    ASSERT_TRUE(QDir().rename(away, folder));
    const ProgramRun rerun = runApp(args);
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err.toStdString();
    EXPECT_TRUE(problemsOf(folder, contents, finalNames()).isEmpty());
}
