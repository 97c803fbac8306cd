// `undo` of a reassign of several photos, killed after each of its
// file-changing steps, then run again: no photo is lost or left under two
// names, and every photo ends under the name it had before the reassign.

#include "naming/RenameJournal.h"
#include "tests/testkit/TestEnvironment.h"
#include "tests/testkit/fixtures/AppKillSweep.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace sorrelby;
using namespace sorrelby::testkit;

TEST(UndoKillSweep, KilledAfterEachStepTheNextRunRestoresEveryPhotoOnce)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));
    const QStringList before{"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG",        "A1_IMG_0003.JPG", "A1_IMG_0004.JPG",
                             "A1_IMG_0005.JPG",        "B2_IMG_0006-qrcode.JPG", "B2_IMG_0007.JPG"};
    const QStringList reassigned{"A1_IMG_0002.JPG", "A1_IMG_0003.JPG", "A1_IMG_0004.JPG", "A1_IMG_0005.JPG"};
    QMultiMap<QByteArray, QString> contents;
    const auto prepare = [&] {
        QFile::remove(RenameJournal::journalFileFor(folder));
        resetFolder(folder);
        writeFilesInOrder(folder, before);
        contents = contentCensus({folder});
        QStringList args{QStringLiteral("reassign"), QStringLiteral("--set"), QStringLiteral("prefOriginalNameFormatTag=1"),
                         QStringLiteral("C9")};
        for (const QString &name : reassigned)
            args << folder + QLatin1Char('/') + name;
        const ProgramRun run = runApp(args);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        ASSERT_TRUE(QFile::exists(folder + QStringLiteral("/C9_IMG_0005.JPG")));
    };

    const KillSweepReport report = sweepApp("undo", {QStringLiteral("undo"), folder}, prepare, [&](int) {
        QStringList problems;
        // Killed after the journal was written, there is nothing left to undo.
        const ProgramRun rerun = runApp({QStringLiteral("undo"), folder});
        if (rerun.crashed || (rerun.exitCode != 0 && !rerun.err.contains(QStringLiteral("nothing to undo"))))
            problems << QStringLiteral("the next run failed (exit %1): %2").arg(rerun.exitCode).arg(rerun.err.left(300));
        const QMultiMap<QByteArray, QString> now = contentCensus({folder});
        problems += censusProblems(contents, now);
        if (now.size() != contents.size())
            problems << QStringLiteral("%1 files for %2 photos").arg(now.size()).arg(contents.size());
        if (lines(entriesOf(folder)) != lines(before))
            problems << QStringLiteral("names: ") + QString::fromStdString(lines(entriesOf(folder)));
        return problems;
    });
    // Four photos renamed back (the journal written after the last).
    EXPECT_GE(report.points, int(reassigned.size()));
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << lines(report.problems);
}
