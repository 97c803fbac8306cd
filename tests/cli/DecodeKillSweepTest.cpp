// `decode --detect` killed after each of its file-changing steps, then run
// again: the shoot engine's revert and decode lose no photo, leave none
// under two names, and the second run gives every photo the name its card
// says.

#include "tests/testkit/FaultRuns.h"
#include "tests/testkit/TestEnvironment.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

using namespace sorrelby;
using namespace sorrelby::testkit;

namespace {

// A shoot decoded earlier under codes that are now wrong: every photo is
// reverted, then read and named again. Each photo's file gets the time of
// fileTimeOf(photo).
KillSweepReport sweepDecode(const ShootSpec &spec, const std::function<QDateTime(const ShootPhoto &)> &fileTimeOf)
{
    const QString original = makeTempFolder(QStringLiteral("original"));
    const std::optional<Shoot> shoot = writeShoot(original, spec);
    EXPECT_TRUE(shoot);
    if (!shoot)
        return {};
    const QMultiMap<QByteArray, QString> contents = contentCensus({original});
    const QString folder = makeTempFolder(QStringLiteral("source"));
    const auto prepare = [&] {
        resetFolder(folder);
        for (const ShootPhoto &photo : shoot->photos) {
            const QString stale = QStringLiteral("Z9_") + QFileInfo(photo.fileName).completeBaseName()
                + (photo.isCard ? QStringLiteral("-qrcode.") : QStringLiteral(".")) + QFileInfo(photo.fileName).suffix();
            ASSERT_TRUE(QFile::copy(original + QLatin1Char('/') + photo.fileName, folder + QLatin1Char('/') + stale));
            // Capture order, and old enough for the listing.
            QFile copy(folder + QLatin1Char('/') + stale);
            ASSERT_TRUE(copy.open(QIODevice::ReadWrite) && copy.setFileTime(fileTimeOf(photo), QFileDevice::FileModificationTime));
        }
    };
    const QStringList args{QStringLiteral("decode"), QStringLiteral("--detect"), QStringLiteral("--set"),
                           QStringLiteral("prefOriginalNameFormatTag=%1").arg(shoot->nameFormatTag()), folder};

    KillSweep sweep;
    sweep.program = QStringLiteral(SORRELBY_APP_PATH);
    sweep.args = args;
    sweep.prepare = prepare;
    sweep.restartAndCheck = [&](int) {
        QStringList problems;
        const ProgramRun rerun = runApp(args);
        if (rerun.exitCode != 0 || rerun.crashed)
            problems << QStringLiteral("the next run failed (exit %1): %2").arg(rerun.exitCode).arg(rerun.err.left(300));
        const QMultiMap<QByteArray, QString> now = contentCensus({folder});
        for (const QByteArray &digest : contents.uniqueKeys()) {
            const QStringList where = now.values(digest);
            if (where.size() != 1)
                problems << QStringLiteral("a photo is there %1 times: %2").arg(where.size()).arg(where.join(QStringLiteral(", ")));
        }
        if (now.size() != contents.size())
            problems << QStringLiteral("%1 files for %2 photos").arg(now.size()).arg(contents.size());
        if (lines(entriesOf(folder)) != sortedLines(shoot->expectedNames()))
            problems << QStringLiteral("names: ") + QString::fromStdString(lines(entriesOf(folder)));
        return problems;
    };
    const KillSweepReport report = runKillSweep(sweep);
    // Every photo reverted, then every one renamed again.
    EXPECT_GE(report.points, 2 * int(shoot->photos.size()) - 1);
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << lines(report.problems);
    return report;
}

} // namespace

TEST(DecodeKillSweep, KilledAfterEachRenameTheNextRunFinishesWithEveryPhotoOnce)
{
    ShootSpec spec;
    spec.subjects = 2;
    spec.photosPerSubject = 2;
    spec.photosBeforeFirstCard = 1;
    const KillSweepReport report = sweepDecode(spec, [](const ShootPhoto &photo) { return photo.captureTime; });
    std::printf("decode --detect kill sweep: %d points, %d killed, %d problems\n", report.points, report.killed,
                int(report.problems.size()));
}

// The same when only the photos' capture times tell the order: one file time
// for all and a camera counter that wraps mid-shoot.
TEST(DecodeKillSweep, KilledAfterEachRenameInCaptureOrderWhenFileTimesLie)
{
    ShootSpec spec;
    spec.subjects = 2;
    spec.photosPerSubject = 2;
    spec.firstFrameNumber = 9998;
    spec.subSecondDigits = 2;
    const QDateTime copied(QDate(2024, 5, 2), QTime(8, 0));
    const KillSweepReport report = sweepDecode(spec, [copied](const ShootPhoto &) { return copied; });
    std::printf("decode --detect kill sweep, file times lying: %d points, %d killed, %d problems\n", report.points, report.killed,
                int(report.problems.size()));
}
