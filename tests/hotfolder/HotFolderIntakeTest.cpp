// One intake pass over a hot folder of generated photos. The clock is the
// test's, so "still being written" is decided without waiting; the code
// detector is the real one where card photos matter and a fake elsewhere.

#include "tests/testkit/fixtures/HostileCardRunScene.h"
#include "tests/testkit/fixtures/HotFolderIntakeScene.h"

using namespace sorrelby::testkit::hotfolderintake;

namespace {

TEST_F(HotFolderIntakeTest, NamesCardPhotosAndNeverReplacesAPhotoInTheSourceFolder)
{
    intake.setDetector([](const QString &path) { return doAutoQRCode(path); });
    PhotoSpec spec;
    spec.size = QSize(640, 480);
    ASSERT_TRUE(writeCardPhoto(hot + QStringLiteral("/IMG_0001.JPG"), QStringLiteral("A1234"), spec));
    ASSERT_TRUE(fileops::setModificationDate(hot + QStringLiteral("/IMG_0001.JPG"), now.addSecs(-3600)));
    photo(QStringLiteral("IMG_0002.JPG"));
    // The same card photo from an earlier batch, and a camera name taken too.
    ASSERT_TRUE(writeFile(source + QStringLiteral("/A1234_IMG_0001-qrcode.JPG"), "earlier card"));
    ASSERT_TRUE(writeFile(source + QStringLiteral("/IMG_0002.JPG"), "earlier photo"));

    const HotFolderIntakeResult result = intake.run(hot, source);

    EXPECT_EQ(result.moved, 2);
    EXPECT_EQ(lines(entriesOf(hot)), "");
    EXPECT_EQ(lines(entriesOf(source)),
              lines({"A1234_IMG_0001-qrcode.JPG", "A1234_IMG_0001c1-qrcode.JPG", "IMG_0002.JPG", "IMG_0002c1.JPG"}));
    EXPECT_EQ(readFile(source + QStringLiteral("/A1234_IMG_0001-qrcode.JPG")), "earlier card");
    EXPECT_EQ(readFile(source + QStringLiteral("/IMG_0002.JPG")), "earlier photo");
    EXPECT_TRUE(sounds.played().isEmpty());
}

TEST_F(HotFolderIntakeTest, LeavesPhotosThatMayStillBeWrittenForALaterPass)
{
    const QDateTime written = now;
    const QString young = photo(QStringLiteral("IMG_0001.JPG"), written);
    // Half a photo whose writer stalled for longer than the delay.
    const QString truncated = photo(QStringLiteral("IMG_0002.JPG"), written.addSecs(-10), 2);
    const QByteArray bytes = readFile(truncated);
    ASSERT_TRUE(writeFile(truncated, bytes.left(bytes.size() / 2)));
    ASSERT_TRUE(fileops::setModificationDate(truncated, written.addSecs(-10)));
    // Just created, nothing written into it yet: looked at again once its
    // type could show.
    ASSERT_TRUE(writeFile(hot + QStringLiteral("/IMG_0003.JPG"), QByteArray()));
    ASSERT_TRUE(fileops::setModificationDate(hot + QStringLiteral("/IMG_0003.JPG"), written));

    now = written.addMSecs(500);
    HotFolderIntakeResult result = intake.run(hot, source);
    EXPECT_EQ(result.moved, 0);
    EXPECT_EQ(result.waiting, 3);
    ASSERT_TRUE(result.nextCheck);
    EXPECT_EQ(*result.nextCheck, written.addSecs(1)); // the young photo is due first
    EXPECT_EQ(entriesOf(source).size(), 0);

    // A second later the young one is complete; the truncated one still
    // waits for its end marker.
    now = written.addMSecs(1100);
    result = intake.run(hot, source);
    EXPECT_EQ(result.moved, 1);
    EXPECT_EQ(result.waiting, 2);
    EXPECT_EQ(lines(entriesOf(source)), "IMG_0001.JPG");
    ASSERT_TRUE(result.nextCheck);
    EXPECT_EQ(*result.nextCheck, written.addSecs(2));

    // Left alone for long, it is taken as it is rather than held for ever.
    now = written.addSecs(21);
    result = intake.run(hot, source);
    EXPECT_EQ(result.moved, 1);
    EXPECT_EQ(result.waiting, 0);
    EXPECT_FALSE(result.nextCheck);
    EXPECT_EQ(lines(entriesOf(source)), lines({"IMG_0001.JPG", "IMG_0002.JPG"}));
    EXPECT_EQ(lines(entriesOf(hot)), "IMG_0003.JPG");
    EXPECT_TRUE(sounds.played().isEmpty());
}

TEST_F(HotFolderIntakeTest, OnlyCameraNamedJpegsMoveAndOtherNamesAreBeepedAt)
{
    settings.setValue(cPrefHotFolderTakeRawFiles, false);
    photo(QStringLiteral("IMG_0001.JPG"));
    photo(QStringLiteral("A1_IMG_0002.JPG")); // already coded: not a camera name
    photo(QStringLiteral("DSC00003.JPG"));    // one part where the cameras use two
    ASSERT_TRUE(makeBackground(QSize(64, 48), 1).save(hot + QStringLiteral("/IMG_0004.PNG")));
    ASSERT_TRUE(makeBackground(QSize(64, 48), 2).save(hot + QStringLiteral("/IMG_0005.JPG"), "PNG")); // a PNG by content
    ASSERT_TRUE(writeFile(hot + QStringLiteral("/IMG_0006.NEF"), QByteArray("II*\0", 4) + QByteArray(4096, 'r')));
    photo(QStringLiteral(".IMG_0007.JPG")); // hidden
    ASSERT_TRUE(QDir(hot).mkdir(QStringLiteral("IMG_0008.JPG")));

    const HotFolderIntakeResult result = intake.run(hot, source);

    EXPECT_EQ(result.moved, 1);
    EXPECT_EQ(result.refused, 2);
    EXPECT_EQ(lines(entriesOf(source)), "IMG_0001.JPG");
    EXPECT_EQ(lines(entriesOf(hot)),
              lines({".IMG_0007.JPG", "A1_IMG_0002.JPG", "DSC00003.JPG", "IMG_0004.PNG", "IMG_0005.JPG", "IMG_0006.NEF", "IMG_0008.JPG"}));
    EXPECT_EQ(lines(sounds.played()), lines({"beep", "beep"}));
}

// A RAW+JPEG camera: the RAW goes with its JPEG, under the JPEG's new name,
// once both are complete; a RAW without a JPEG goes alone after the delay.
TEST_F(HotFolderIntakeTest, RawFilesGoWithTheirJpegUnderOneName)
{
    intake.setDetector([](const QString &path) {
        return path.endsWith(QStringLiteral("IMG_0001.JPG")) ? std::optional<QString>(QStringLiteral("A1")) : std::nullopt;
    });
    photo(QStringLiteral("IMG_0001.JPG"));
    photo(QStringLiteral("IMG_0001.NEF"), {}, 11);
    // A card of an earlier batch holds the pair's name: both take "c1".
    ASSERT_TRUE(writeFile(source + QStringLiteral("/A1_IMG_0001-qrcode.NEF"), "earlier card RAW"));
    photo(QStringLiteral("IMG_0002.JPG"), {}, 2);
    const QString young = photo(QStringLiteral("IMG_0002.NEF"), now.addMSecs(-1500), 12); // still being written
    photo(QStringLiteral("IMG_0003.CR2"), {}, 13);                                        // shot in RAW only
    photo(QStringLiteral("IMG_0004.ARW"), now.addMSecs(-500), 14);                        // alone, too young

    HotFolderIntakeResult result = intake.run(hot, source);
    EXPECT_EQ(result.moved, 3);
    EXPECT_EQ(result.movedRaws, 2);
    EXPECT_EQ(result.waiting, 2);
    EXPECT_TRUE(result.splitPairs.isEmpty());
    EXPECT_EQ(sortedLines(entriesOf(source)),
              sortedLines({"A1_IMG_0001-qrcode.NEF", "A1_IMG_0001c1-qrcode.JPG", "A1_IMG_0001c1-qrcode.NEF", "IMG_0003.CR2"}));
    EXPECT_EQ(readFile(source + QStringLiteral("/A1_IMG_0001-qrcode.NEF")), "earlier card RAW");
    EXPECT_EQ(sortedLines(entriesOf(hot)), sortedLines({"IMG_0002.JPG", "IMG_0002.NEF", "IMG_0004.ARW"}));
    ASSERT_TRUE(result.nextCheck);
    EXPECT_EQ(*result.nextCheck, now.addMSecs(500)); // the young NEF settles first

    now = now.addSecs(3);
    result = intake.run(hot, source);
    EXPECT_EQ(result.moved, 3);
    EXPECT_EQ(lines(entriesOf(hot)), "");
    EXPECT_TRUE(fileops::exists(source + QStringLiteral("/IMG_0002.JPG")));
    EXPECT_TRUE(fileops::exists(source + QStringLiteral("/IMG_0002.NEF")));
    EXPECT_TRUE(fileops::exists(source + QStringLiteral("/IMG_0004.ARW")));
    EXPECT_FALSE(fileops::exists(young));
    EXPECT_TRUE(sounds.played().isEmpty());

    // Switched off, RAW files stay where they are, said.
    settings.setValue(cPrefHotFolderTakeRawFiles, false);
    photo(QStringLiteral("IMG_0005.JPG"), now.addSecs(-60), 5);
    photo(QStringLiteral("IMG_0005.NEF"), now.addSecs(-60), 15);
    result = intake.run(hot, source);
    EXPECT_EQ(result.moved, 1);
    EXPECT_EQ(lines(entriesOf(hot)), "IMG_0005.NEF");
    EXPECT_EQ(result.leftAlone.size(), 1);
}

TEST_F(HotFolderIntakeTest, DashMovesInFrontOfTheLastCharacterOfTheFirstPiece)
{
    EXPECT_EQ(adjustFilenameWithDash(QStringLiteral("ABCDE_0001")), QStringLiteral("ABCD-E_0001"));
    EXPECT_EQ(adjustFilenameWithDash(QStringLiteral("AB-CDE_0001")), QStringLiteral("ABCD-E_0001"));
    EXPECT_EQ(adjustFilenameWithDash(QStringLiteral("ABCD-E_0001")), QStringLiteral("ABCD-E_0001"));
    EXPECT_EQ(adjustFilenameWithDash(QStringLiteral("DSC01234")), QStringLiteral("DSC0123-4"));
    EXPECT_EQ(adjustFilenameWithDash(QStringLiteral("-_0001")), QStringLiteral("_0001"));

    settings.setValue(QStringLiteral("prefAdjustFilenameWithDash"), true);
    photo(QStringLiteral("ABCDE_0001.JPG"));
    photo(QStringLiteral("AB-CDE_0002.jpg"));
    intake.setDetector([](const QString &path) {
        return path.endsWith(QLatin1String("0002.jpg")) ? std::optional<QString>(QStringLiteral("X9")) : std::nullopt;
    });

    EXPECT_EQ(intake.run(hot, source).moved, 2);
    EXPECT_EQ(lines(entriesOf(source)), lines({"ABCD-E_0001.JPG", "X9_ABCD-E_0002-qrcode.jpg"}));
}

// Taken in like any photo, but marked where it lands and named in the result.
TEST_F(HotFolderIntakeTest, PossibleUnreadCardsAreMarkedInTheSourceFolder)
{
    photo(QStringLiteral("IMG_0001.JPG"));
    photo(QStringLiteral("IMG_0002.JPG"));
    photo(QStringLiteral("IMG_0003.JPG"));
    intake.setCardReader([](const QString &path) {
        if (path.endsWith(QLatin1String("0002.JPG")))
            return CardReading{std::nullopt, true, QStringLiteral("a code was located but not read")};
        if (path.endsWith(QLatin1String("0003.JPG")))
            return CardReading{QStringLiteral("AB\nCD"), false, {}}; // no code for a file name
        return CardReading{};
    });
    const HotFolderIntakeResult result = intake.run(hot, source);
    EXPECT_EQ(result.moved, 3);
    EXPECT_EQ(lines(entriesOf(source)), lines({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}));
    EXPECT_EQ(sortedLines(result.possibleUnreadCards), sortedLines({source + "/IMG_0002.JPG", source + "/IMG_0003.JPG"}));
    if (!setPossibleUnreadCardMark(source + QStringLiteral("/IMG_0001.JPG"), QStringLiteral("probe")))
        GTEST_SKIP() << "no extended attributes here";
    EXPECT_EQ(possibleUnreadCardMark(source + QStringLiteral("/IMG_0002.JPG")), QStringLiteral("a code was located but not read"));
    EXPECT_TRUE(possibleUnreadCardMark(source + QStringLiteral("/IMG_0003.JPG")).has_value());
}

TEST_F(HotFolderIntakeTest, NothingToDoWithoutPhotosOrFolderAndStopsBetweenPhotosWhenAsked)
{
    EXPECT_EQ(intake.run(hot, source).moved, 0);
    EXPECT_EQ(intake.run(std::nullopt, source).moved, 0);
    const HotFolderIntakeResult missing = intake.run(hot + QStringLiteral("/gone"), source);
    EXPECT_FALSE(missing.listed);
    photo(QStringLiteral("IMG_0003.JPG"));
    EXPECT_EQ(intake.run(hot, hot + QStringLiteral("/.")).moved, 0); // hot folder and source folder the same
    EXPECT_EQ(lines(entriesOf(hot)), "IMG_0003.JPG");
    ASSERT_TRUE(QFile::remove(hot + QStringLiteral("/IMG_0003.JPG")));

    photo(QStringLiteral("IMG_0001.JPG"));
    photo(QStringLiteral("IMG_0002.JPG"));
    std::atomic<bool> abort{false};
    intake.setAbortFlag(&abort);
    intake.setRotator([&](const QString &) {
        abort.store(true); // asked to stop while the first photo is in hand
        return false;
    });
    const HotFolderIntakeResult result = intake.run(hot, source);
    EXPECT_EQ(result.moved, 1);
    EXPECT_TRUE(result.aborted);
    EXPECT_EQ(entriesOf(hot).size(), 1);
    EXPECT_EQ(entriesOf(source).size(), 1);
}

TEST_F(HotFolderIntakeTest, HostilePayloadsNeverNameAPhotoOutsideTheSourceFolder)
{
    for (const bool decodeUrls : {false, true}) {
        SCOPED_TRACE(decodeUrls ? "addresses decoded" : "addresses kept");
        settings.setValue(QStringLiteral("prefDecodeForUrlString"), decodeUrls);
        const QString root = makeTempFolder(QStringLiteral("root"));
        hot = makeFolder(root + QStringLiteral("/hot"));
        source = makeFolder(root + QStringLiteral("/shoot/source"));
        makeFolder(root + QStringLiteral("/shoot/sib"));

        const HostileCardRun shoot
            = hostileCardRun([](qsizetype n) { return QStringLiteral("IMG_%1.JPG").arg(n, 4, 10, QLatin1Char('0')); });
        const QStringList &names = shoot.names;
        for (int i = 0; i < names.size(); ++i)
            photo(names[i], now.addSecs(-3600 + i), quint32(i + 1));
        intake.setDetector(tablePayloadDetector(shoot.payloads));

        const HotFolderIntakeResult result = intake.run(hot, source);
        EXPECT_EQ(result.moved, names.size());
        EXPECT_EQ(entriesOf(hot).size(), 0);
        const auto expectAllVisibleInSource = [&] {
            const QStringList files = everyFileBelow(root);
            EXPECT_EQ(files.size(), names.size());
            for (const QString &file : files) {
                EXPECT_TRUE(file.startsWith(QStringLiteral("shoot/source/"))) << file.toStdString();
                EXPECT_FALSE(QFileInfo(file).fileName().startsWith(u'.')) << file.toStdString();
            }
        };
        expectAllVisibleInSource();
        // The codes carried on from those names stay in the folder too; a
        // refused card came in under its camera name, like an unread one, so
        // it and the photo after it take the code before it.
        NameCarryingPass pass;
        QStringList paths;
        for (const QString &name : QDir(source).entryList(QDir::Files | QDir::Hidden))
            paths << source + u'/' + name;
        pass.doAutoDecodeQRAction3(paths);
        expectAllVisibleInSource();
        EXPECT_EQ(pass.summaries().value(0).failed, 0);
        EXPECT_EQ(sortedLines(entriesOf(source)), sortedLines(shoot.expectedNames(decodeUrls)));
    }
    settings.setValue(QStringLiteral("prefDecodeForUrlString"), false);
}

} // namespace
