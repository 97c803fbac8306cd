// `watch` killed after every one of its file-changing steps, on the whole
// road of a hot folder photo: taken in, decoded, delivered, its card thrown
// away. Each killed run is followed by a restart that must be let in (the
// lock of the dead copy does not count) and must finish the work; then every
// photo is exactly once where it belongs and nothing else is left about.

#include "tests/testkit/fixtures/WatchKillSweepScene.h"

using namespace sorrelby::testkit::watchkillsweep;

namespace {

TEST(WatchKillSweep, NoPhotoLostDoubledOrLeftHalfWayAtAnyKill)
{
    const QString master = makeTempFolder(QStringLiteral("master"));
    ShootSpec spec = shootSpec(3, 1);
    spec.size = QSize(480, 360);
    const std::optional<Shoot> shoot = writeShoot(master, spec);
    ASSERT_TRUE(shoot);
    QMap<QByteArray, QString> originals;
    for (const ShootPhoto &photo : shoot->photos)
        originals.insert(contentDigest(master + QLatin1Char('/') + photo.fileName), photo.fileName);

    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
    // A day folder of a fixed name, as a settings file from before patterns
    // had to name a date may hold.
    storeUserSetting(QStringLiteral("prefDailyFolderDateFormat"), QStringLiteral("'day'"));
    const QStringList args{QStringLiteral("watch"), QStringLiteral("--until-idle"),
                           QStringLiteral("--set"), QStringLiteral("prefHotFolderPath=") + hot,
                           QStringLiteral("--set"), QStringLiteral("prefSourcePath=") + source,
                           QStringLiteral("--set"), QStringLiteral("prefDestinationPath=") + main,
                           QStringLiteral("--set"), QStringLiteral("prefDoDelayToWaitForValidPhoto=false"),
                           QStringLiteral("--set"), QStringLiteral("prefOriginalNameFormatTag=%1").arg(shoot->nameFormatTag())};

    // Where each photo must end: the photos in the day's folder under their
    // codes, the newest two cards in the source folder for the next batch,
    // the oldest card in the trash.
    const QStringList delivered = deliveredPaths({*shoot}, QStringLiteral("day"));
    QStringList keptCards;
    for (const ShootPhoto &photo : shoot->photos) {
        if (photo.isCard && photo.subject > 0)
            keptCards << photo.expectedName;
    }
    keptCards.sort();

    const auto prepare = [&] {
        for (const QString &folder : {hot, source, main})
            resetFolder(folder);
        QDir(trash).removeRecursively();
        // The capture tool's photos, whole, with their capture times.
        for (const ShootPhoto &photo : shoot->photos)
            ASSERT_TRUE(fileops::copyNoReplace(master + QLatin1Char('/') + photo.fileName, hot + QLatin1Char('/') + photo.fileName));
    };
    const auto restartAndCheck = [&](int) {
        QStringList problems;
        const ProgramRun restart = runApp(args);
        if (restart.exitCode != 0 || restart.crashed)
            problems << QStringLiteral("restart ended with %1: %2").arg(restart.exitCode).arg(restart.err.left(300));
        const QMultiMap<QByteArray, QString> census = contentCensus({hot, source, main, trash + QStringLiteral("/files")});
        for (auto it = originals.cbegin(); it != originals.cend(); ++it) {
            if (const qsizetype copies = census.count(it.key()); copies != 1)
                problems << QStringLiteral("%1 found %2 times").arg(it.value()).arg(copies);
        }
        if (const QStringList there = filesBelow(main); there != delivered)
            problems << QStringLiteral("main folder holds: ") + there.join(QStringLiteral(", "));
        if (const QStringList there = filesBelow(source); there != keptCards)
            problems << QStringLiteral("source folder holds: ") + there.join(QStringLiteral(", "));
        if (!filesBelow(hot).isEmpty())
            problems << QStringLiteral("hot folder holds: ") + filesBelow(hot).join(QStringLiteral(", "));
        if (const QStringList debris = debrisIn({hot, source, main}); !debris.isEmpty())
            problems << QStringLiteral("debris: ") + debris.join(QStringLiteral(", "));
        if (!trashEntriesMatchFiles(trash))
            problems << QStringLiteral("trash entries without their files or the other way");
        return problems;
    };
    const KillSweepReport report = sweepApp("watch", args, prepare, restartAndCheck, 90000);
    EXPECT_GE(report.points, int(shoot->photos.size()));
    EXPECT_EQ(report.killed, report.points);
    EXPECT_EQ(lines(report.problems), "") << lines(report.steps);
}

} // namespace
