// The `decode` and `sections` commands run as a program: names given to a
// generated shoot, the section table as JSON, the exit statuses, and what a
// read-only or full volume or a vanished folder leaves behind.

#include "tests/testkit/fixtures/DecodeCommandScene.h"

using namespace sorrelby::testkit::decodecommand;

TEST(DecodeCommand, DetectingAndNameCarryingPassesOverGeneratedShoots)
{
    // One camera, a card that shows no code, photos before the first card.
    ShootSpec spec = shootSpec(3, 2, 1);
    spec.unreadableCardSubjects = {1};
    const QString folder = makeTempFolder(QStringLiteral("shoot"));
    const std::optional<Shoot> shoot = writeShoot(folder, spec);
    ASSERT_TRUE(shoot);
    ProgramRun outcome = runApp({"decode", "--detect", folder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, QStringLiteral("Found/Decoded QRCodes:\n\nS001, S003\n"));
    EXPECT_EQ(lines(entriesOf(folder)), sortedLines(shoot->expectedNames()));
    // Again: the photos go back to their camera names first, so the names stay.
    outcome = runApp({"decode", "--detect", folder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(lines(entriesOf(folder)), sortedLines(shoot->expectedNames()));

    // With detection switched off nothing is renamed.
    const QString off = makeTempFolder(QStringLiteral("off"));
    ASSERT_TRUE(writeShoot(off, spec));
    // Options may stand before the command as well.
    outcome = runApp({"--set", "prefCanSupportVisionFramework=false", "decode", "--detect", off});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(lines(entriesOf(off)), sortedLines(shoot->fileNames()));
}

// Shoots in RAW: the cards are read in the RAW files' previews. With RAW+JPEG
// a shot's two files share the capture time and so are ordered by name; a
// Canon's IMG_0001.CR2 comes before IMG_0001.JPG, so a RAW walked on its own
// would take the code of the subject before it: the card is read from the
// JPEG, once, and its RAW takes the JPEG's name.
TEST(DecodeCommand, RawAndRawPlusJpegShootsAreSorted)
{
    ShootSpec pairs = shootSpec(3, 2, 1);
    pairs.cameras = {canonCamera()};
    pairs.files = ShotFiles::RawAndJpeg;
    const QString folder = makeTempFolder(QStringLiteral("pairs"));
    const std::optional<Shoot> shoot = writeShoot(folder, pairs);
    ASSERT_TRUE(shoot);
    ASSERT_EQ(shoot->photos.size(), 2 * (1 + 3 * 3));
    ProgramRun outcome = runApp({"decode", "--detect", folder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, QStringLiteral("Found/Decoded QRCodes:\n\nS001, S002, S003\n"));
    EXPECT_EQ(lines(entriesOf(folder)), sortedLines(shoot->expectedNames()));
    EXPECT_EQ(entriesOf(folder).filter(QStringLiteral("-qrcode.CR2")).size(), 3);
    EXPECT_EQ(entriesOf(folder).filter(QStringLiteral("-qrcode.JPG")).size(), 3);

    // The name-carrying pass split by camera: a RAW and its JPEG have one
    // camera key, so they stay one sequence and keep their names.
    outcome = runApp({"decode", "--set", "prefCheckForMultiCameras=true", folder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, QStringLiteral("Camera CANON2281012345:\nFound/Decoded QRCodes:\n\nS001, S002, S003\n"));
    EXPECT_EQ(lines(entriesOf(folder)), sortedLines(shoot->expectedNames()));

    // RAW only: sorted all the same, and listed as photos by the browser.
    ShootSpec raw = shootSpec(2, 2);
    raw.files = ShotFiles::Raw;
    const QString rawFolder = makeTempFolder(QStringLiteral("raw"));
    const std::optional<Shoot> rawShoot = writeShoot(rawFolder, raw);
    ASSERT_TRUE(rawShoot);
    outcome = runApp({"decode", "--detect", rawFolder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, QStringLiteral("Found/Decoded QRCodes:\n\nS001, S002\n"));
    EXPECT_EQ(lines(entriesOf(rawFolder)), sortedLines(rawShoot->expectedNames()));
    outcome = runApp({"sections", "--json", rawFolder});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(tableOf(outcome).value("photos").toInt(), 6);
    const QJsonArray sections = sectionsOf(outcome);
    ASSERT_EQ(sections.size(), 2);
    EXPECT_EQ(sections[0].toObject().value("key").toString(), QStringLiteral("S001"));
    EXPECT_EQ(sections[1].toObject().value("count").toInt(), 3);
}

TEST(DecodeCommand, BothPassesSplitInterleavedCamerasAlike)
{
    // A Nikon and a Canon that writes no maker note (so its key comes from
    // its camera names), each at its own station, shots interleaved in time.
    CameraSpec canon = canonCamera();
    canon.makerNoteSerial.clear();
    ShootSpec spec = shootSpec(4, 2, 1);
    spec.sameSubjects = false;
    spec.cameras = {nikonCamera(), canon};
    spec.interleave = true;

    // The detecting pass split by camera: each camera's cards name its own
    // photos, again after a second run; without the split one sequence.
    const QString folder = makeTempFolder(QStringLiteral("detect"));
    const std::optional<Shoot> shoot = writeShoot(folder, spec);
    ASSERT_TRUE(shoot);
    ASSERT_NE(lines(shoot->expectedNames(true)), lines(shoot->expectedNames(false)));
    for (int run = 0; run < 2; ++run) {
        const ProgramRun outcome = runApp({"decode", "--detect", "--set", "prefCheckForMultiCameras=true", folder});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
        EXPECT_EQ(lines(entriesOf(folder)), sortedLines(shoot->expectedNames(true)));
    }
    ProgramRun outcome = runApp({"decode", "--detect", folder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(lines(entriesOf(folder)), sortedLines(shoot->expectedNames(false)));

    // The name-carrying pass after the cards were named as the hot folder
    // names them: a coded Canon photo keeps its camera's key.
    const QString named = makeTempFolder(QStringLiteral("named"));
    ASSERT_TRUE(writeShoot(named, spec));
    ASSERT_TRUE(nameReadCardsAsIntakeDoes(*shoot, named));
    outcome = runApp({"decode", "--set", "prefCheckForMultiCameras=true", named});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(lines(entriesOf(named)), sortedLines(shoot->expectedNames(true)));
}

TEST(DecodeCommand, SectionsAsJsonAndExitStatuses)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));
    writeFilesInOrder(folder, {"A1_X_1.JPG", "A1_X_2.JPG", "B2_X_3.JPG", "A1_X_4.JPG"}, encodeJpeg(makeBackground(QSize(32, 24), 1)));
    ProgramRun outcome = runApp({"sections", "--json", folder});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(tableOf(outcome).value("photos").toInt(), 4);
    const QJsonArray sections = sectionsOf(outcome);
    ASSERT_EQ(sections.size(), 3);
    QStringList rows; // key, offset, count
    for (const QJsonValue &value : sections) {
        const QJsonObject section = value.toObject();
        rows << QStringLiteral("%1 %2 %3")
                    .arg(section.value("key").toString())
                    .arg(section.value("offset").toInt())
                    .arg(section.value("count").toInt());
    }
    EXPECT_EQ(rows, (QStringList{"A1 0 2", "B2 2 1", "A1 3 1"}));
    EXPECT_EQ(sections[0].toObject().value("files").toArray().at(1).toString(), QStringLiteral("A1_X_2.JPG"));

    outcome = runApp({"sections", "--json", "--single", folder});
    EXPECT_EQ(sectionsOf(outcome).at(0).toObject().value("key").toString(), QStringLiteral("singleMode"));

    outcome = runApp({"sections", folder + "/missing"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.err.contains(folder + "/missing")) << outcome.err.toStdString();
    EXPECT_EQ(runApp({"sections"}).exitCode, 2);
    // Nothing was renamed by any of it.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), (QStringList{"A1_X_1.JPG", "A1_X_2.JPG", "A1_X_4.JPG", "B2_X_3.JPG"}));
}

TEST(DecodeCommand, ReadOnlyOrFullVolumeAndAFolderThatGoesAwayLoseNothing)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));
    const QStringList scene{"IMG_0001.JPG", "SMITH_JOHN_IMG_0002-qrcode.JPG", "IMG_0003.JPG", "B2_IMG_0004.JPG", "IMG_0005.JPG"};
    const QStringList decoded{"IMG_0001.JPG", "SMITH_JOHN_IMG_0002-qrcode.JPG", "SMITH_JOHN_IMG_0003.JPG", "SMITH_JOHN_IMG_0004.JPG",
                              "SMITH_JOHN_IMG_0005.JPG"};
    // Pictures the listing takes for photos, each with bytes of its own.
    const auto prepare = [&] {
        resetFolder(folder);
        for (qsizetype i = 0; i < scene.size(); ++i)
            ASSERT_TRUE(
                writeFileBytes(folder + QLatin1Char('/') + scene[i], smallJpeg() + scene[i].toUtf8(), firstCaptureTime().addSecs(i)));
    };
    prepare();
    const QMultiMap<QByteArray, QString> contents = contentCensus({folder});
    const QString app = QStringLiteral(SORRELBY_APP_PATH);

    for (const QString &error : {QStringLiteral("EROFS"), QStringLiteral("ENOSPC")}) {
        SCOPED_TRACE(error.toStdString());
        prepare();
        FaultPlan plan;
        plan.failAfter = 0;
        plan.error = error;
        const ProgramRun run = runWithFaults(app, {QStringLiteral("decode"), folder}, plan);
        EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(error == QLatin1String("EROFS") ? QStringLiteral("Read-only file system")
                                                                     : QStringLiteral("No space left on device")))
            << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("kept its name: IMG_0003.JPG"))) << run.err.toStdString();
        EXPECT_EQ(lines(entriesOf(folder)), sortedLines(scene));
        EXPECT_EQ(contentCensus({folder}).uniqueKeys(), contents.uniqueKeys());
    }

    prepare();
    const QString away = folder + QStringLiteral(".away");
    const ProgramRun run = runStoppedAfter(app, {QStringLiteral("decode"), folder}, 1, [&] { ASSERT_TRUE(QDir().rename(folder, away)); });
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("No such file or directory"))) << run.err.toStdString();
    EXPECT_EQ(contentCensus({away}).size(), contents.size());
    ASSERT_TRUE(QDir().rename(away, folder));
    const ProgramRun rerun = runApp({QStringLiteral("decode"), folder});
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err.toStdString();
    EXPECT_EQ(lines(entriesOf(folder)), sortedLines(decoded));
    EXPECT_EQ(contentCensus({folder}).size(), contents.size());
}

TEST(DecodeCommand, CardsThatGiveNoCodeAreReportedEverywhere)
{
    // A JSON card read whole but too long for a code, and a payload whose
    // line break must not make it the card "ABCD".
    const QString json = QStringLiteral(R"({"school":"Lindenhof","class":"3b","pupil":"004171","year":"2024"})");
    ASSERT_GT(json.size(), 64);
    ShootSpec spec = shootSpec(4, 1);
    spec.codes = {QStringLiteral("S001"), json, QStringLiteral("AB\nCD"), QStringLiteral("S004")};
    const QString folder = makeTempFolder(QStringLiteral("shoot"));
    const std::optional<Shoot> shoot = writeShoot(folder, spec);
    ASSERT_TRUE(shoot);
    QStringList refusedCards;
    for (const ShootPhoto &photo : shoot->photos) {
        if (photo.isCard && (photo.subject == 1 || photo.subject == 2))
            refusedCards << folder + QLatin1Char('/') + photo.fileName;
    }
    ASSERT_EQ(refusedCards.size(), 2);

    // detect --raw shows what was read beside the code it gives (none).
    ProgramRun outcome = runApp({"detect", "--raw", refusedCards[0], refusedCards[1]});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, refusedCards[0] + "\t\t" + json + "\n" + refusedCards[1] + "\t\tAB\\u000aCD\n");
    EXPECT_EQ(outcome.err.count(QStringLiteral("possible unread card")), 2) << outcome.err.toStdString();
    // Plain detect gives neither a code, and says why: too long is told apart
    // from a line break inside.
    outcome = runApp({"detect", refusedCards[0], refusedCards[1]});
    EXPECT_EQ(outcome.out, refusedCards[0] + "\t\n" + refusedCards[1] + "\t\n");
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("it is longer than 64 characters (66)"))) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("it holds a control character or line break inside"))) << outcome.err.toStdString();

    outcome = runApp({"decode", "--detect", folder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, QStringLiteral("Found/Decoded QRCodes:\n\nS001, S004\n"));
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("2 possible unread card(s):"))) << outcome.err.toStdString();
    EXPECT_FALSE(QDir(folder).entryList().join(u' ').contains(QStringLiteral("ABCD")));

    outcome = runApp({"sections", "--json", folder});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    QStringList marked;
    for (const QJsonValue &section : sectionsOf(outcome)) {
        for (const QJsonValue &unread : section.toObject().value("possibleUnreadCards").toArray())
            marked << section.toObject().value("key").toString() + ": " + unread.toObject().value("file").toString();
    }
    if (::setxattr(QFile::encodeName(folder).constData(), "user.probe", "1", 1, 0) != 0)
        GTEST_SKIP() << "no extended attributes here, so no marks";
    EXPECT_EQ(lines(marked),
              lines({"S001: S001_" + QFileInfo(refusedCards[0]).fileName(), "S001: S001_" + QFileInfo(refusedCards[1]).fileName()}));
}
