// A RAW+JPEG shoot, `decode` and `deliver` killed after each of their
// file-changing steps, then run again: every RAW ends under its JPEG's name
// (so under its code), and no file is lost or there twice.

#include "tests/testkit/fixtures/RawPairsKillSweepScene.h"

using namespace sorrelby::testkit::rawpairskillsweep;

// The name-carrying pass, as the hot folder runs it after intake named the
// cards (RAWs too), and `decode --detect`, which reverts stale codes and
// reads every card again from its JPEG.
TEST(RawPairsKillSweep, DecodingKeepsEveryPairUnderOneCode)
{
    const std::optional<PairScene> scene = writePairShoot();
    ASSERT_TRUE(scene);
    const QString folder = makeTempFolder(QStringLiteral("source"));
    const QString tag = QStringLiteral("prefOriginalNameFormatTag=%1").arg(scene->shoot.nameFormatTag());
    const auto expectedIn = [&](const ShootPhoto &photo) -> QString { return folder + u'/' + photo.expectedName; };

    struct Variant {
        const char *what;
        QStringList args;
        std::function<QString(const ShootPhoto &)> startName;
    };
    const QList<Variant> variants{
        {"decode",
         {QStringLiteral("decode"), QStringLiteral("--set"), tag, folder},
         [](const ShootPhoto &photo) -> QString { return photo.isCard && photo.readableCard ? photo.expectedName : photo.fileName; }},
        {"decode --detect",
         {QStringLiteral("decode"), QStringLiteral("--detect"), QStringLiteral("--set"), tag, folder},
         [](const ShootPhoto &photo) -> QString {
             const QFileInfo info(photo.fileName);
             return QStringLiteral("Z9_") + info.completeBaseName() + (photo.isCard ? QStringLiteral("-qrcode.") : QStringLiteral("."))
                 + info.suffix();
         }},
    };
    for (const Variant &variant : variants) {
        const auto prepare = [&] { placeShoot(*scene, folder, variant.startName); };
        const KillSweepReport report = sweepApp(variant.what, variant.args, prepare, [&](int) {
            QStringList problems;
            const ProgramRun rerun = runApp(variant.args);
            if (rerun.exitCode != 0 || rerun.crashed)
                problems << QStringLiteral("the next run failed (exit %1): %2").arg(rerun.exitCode).arg(rerun.err.left(300));
            problems += censusProblems(*scene, {folder}, expectedIn);
            if (entriesOf(folder).size() != scene->shoot.photos.size())
                problems << QStringLiteral("files: ") + entriesOf(folder).join(u' ');
            return problems;
        });
        EXPECT_GE(report.points, 4) << variant.what;
        EXPECT_EQ(report.killed, report.points) << variant.what;
        EXPECT_TRUE(report.problems.isEmpty()) << variant.what << "\n" << lines(report.problems);
    }
}

// Delivery moves each pair into the main folder under one name and throws
// the cards' pairs away once their subjects are delivered.
TEST(RawPairsKillSweep, DeliveryMovesEveryPairOnceUnderOneName)
{
    const std::optional<PairScene> scene = writePairShoot();
    ASSERT_TRUE(scene);
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    const QStringList args{QStringLiteral("deliver"),
                           QStringLiteral("--set"),
                           QStringLiteral("prefOriginalNameFormatTag=%1").arg(scene->shoot.nameFormatTag()),
                           QStringLiteral("--set"),
                           QStringLiteral("prefDailyFolderDateFormat="),
                           QStringLiteral("--set"),
                           QStringLiteral("prefMoveUnasignedPhotoMethodTag=0"),
                           QStringLiteral("--set"),
                           QStringLiteral("prefKeepLastQRCodeFile=false"),
                           source,
                           main};
    // Photos without a code stay in the source folder; cards go to the trash.
    const auto expectedAt = [&](const ShootPhoto &photo) -> QString {
        if (photo.isCard)
            return QString();
        return photo.expectedCode.isEmpty() ? source + u'/' + photo.expectedName : main + u'/' + photo.expectedName;
    };
    const auto prepare = [&] {
        // Each run makes the trash afresh, so every run takes the same steps.
        QDir(QDir::homePath() + QStringLiteral("/.local/share/Trash")).removeRecursively();
        resetFolder(main);
        placeShoot(*scene, source, [](const ShootPhoto &photo) -> QString { return photo.expectedName; });
    };
    const KillSweepReport report = sweepApp("deliver", args, prepare, [&](int) {
        QStringList problems;
        const ProgramRun rerun = runApp(args);
        if (rerun.exitCode != 0 || rerun.crashed)
            problems << QStringLiteral("the next run failed (exit %1): %2").arg(rerun.exitCode).arg(rerun.err.left(300));
        problems += censusProblems(*scene, {source, main}, expectedAt);
        for (const ShootPhoto &photo : scene->shoot.photos) {
            if (photo.isCard && contentCensus({main}).contains(digestOf(*scene, photo).toLatin1()))
                problems << photo.fileName + QStringLiteral(": a card was delivered");
            if (photo.isCard && QFileInfo::exists(source + u'/' + photo.expectedName))
                problems << photo.fileName + QStringLiteral(": a card was left in the source folder");
        }
        return problems;
    });
    EXPECT_GE(report.points, 4);
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << lines(report.problems);
}
