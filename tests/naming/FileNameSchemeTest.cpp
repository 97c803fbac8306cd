#include "tests/testkit/fixtures/FileNameSchemeScene.h"

using namespace sorrelby::testkit::filenamescheme;

TEST(FileNameScheme, OriginalNamesFollowTheFormatTag)
{
    EXPECT_TRUE(checkIfIsOriginal(QStringLiteral("IMG_0412.JPG"), 1));
    EXPECT_TRUE(checkIfIsOriginal(QStringLiteral("/shoot/source/IMG_0412.JPG"), 1));
    EXPECT_FALSE(checkIfIsOriginal(QStringLiteral("A1234_IMG_0412.JPG"), 1));
    EXPECT_FALSE(checkIfIsOriginal(QStringLiteral("DSC0001.JPG"), 1));
    EXPECT_TRUE(checkIfIsOriginal(QStringLiteral("IMG__0412.JPG"), 1));
    EXPECT_TRUE(checkIfIsOriginal(QStringLiteral("IMG_0412 .JPG"), 1));
    EXPECT_TRUE(checkIfIsOriginal(QStringLiteral("DSC01234.NEF"), 0));
    EXPECT_FALSE(checkIfIsOriginal(QStringLiteral("IMG_0412.JPG"), 0));
    EXPECT_TRUE(checkIfIsOriginal(QStringLiteral("CAM_A_0007.jpg"), 2));
    // The extension never counts: a dot inside the base stays in it.
    EXPECT_TRUE(checkIfIsOriginal(QStringLiteral("IMG_04.12.JPG"), 1));

    // Without a tag the setting decides.
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 0);
    EXPECT_TRUE(checkIfIsOriginal(QStringLiteral("DSC01234.NEF")));
    EXPECT_EQ(getOriginalName(QStringLiteral("A1234_DSC01234.NEF")), QStringLiteral("DSC01234.NEF"));
}

TEST(FileNameScheme, OriginalNameIsTheLastPartsWithoutMarker)
{
    const std::tuple<const char *, int, const char *> cases[] = {
        {"A1234_IMG_0412.JPG", 1, "IMG_0412.JPG"},
        {"/src/A1234_IMG_0412.JPG", 1, "IMG_0412.JPG"},
        {"A1234_IMG_0411-qrcode.JPG", 1, "IMG_0411.JPG"},
        {"AB_12_IMG_0412.JPG", 1, "IMG_0412.JPG"},
        {"IMG_0412.JPG", 1, "IMG_0412.JPG"},
        {"A1234_DSC01234.NEF", 0, "DSC01234.NEF"},
        {"A1234_DSC01234-qrcode.nef", 0, "DSC01234.nef"},
        {"X9_CAM_A_0007.jpeg", 2, "CAM_A_0007.jpeg"},
        {"A1_IMG_0412", 1, "IMG_0412"},                       // no extension
        {"A1234_IMG_0411c1-qrcode.JPG", 1, "IMG_0411c1.JPG"}, // a collision suffix stays: it keeps the name unique
        {"A_B.JPG", 2, "A_B.JPG"},                            // fewer pieces than the format has
        {"A__.JPG", 1, "A__.JPG"},                            // nothing but separators would remain
        {"A_-qrcode.JPG", 0, "A_-qrcode.JPG"},                // nothing but the marker would remain
        {"A1234_IMG_0412.JPG", 3, "A1234_IMG_0412.JPG"},      // unknown format: no recovery
        {"A1234_IMG_0412.JPG", -1, "A1234_IMG_0412.JPG"},
        {"IMG.JPG", 7, "IMG.JPG"},
    };
    for (const auto &[name, tag, expected] : cases)
        EXPECT_EQ(getOriginalName(QString::fromUtf8(name), tag), QString::fromUtf8(expected)) << name << " tag " << tag;
}

TEST(FileNameScheme, RevertRenamesOnDiskAndNeverReplaces)
{
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 1);
    const QString folder = testkit::makeTempFolder(QStringLiteral("revert"));

    const QString coded = makeFile(folder, QStringLiteral("A1234_IMG_0412.JPG"), "photo 412");
    const auto reverted = revertItemToOriginalNew(coded);
    ASSERT_TRUE(reverted.has_value());
    EXPECT_EQ(*reverted, folder + QStringLiteral("/IMG_0412.JPG"));
    EXPECT_FALSE(QFile::exists(coded));
    EXPECT_EQ(testkit::readFile(*reverted), QByteArray("photo 412"));

    const QString card = makeFile(folder, QStringLiteral("A1234_IMG_0411-qrcode.JPG"), "card");
    EXPECT_EQ(revertItemToOriginalNew(card), folder + QStringLiteral("/IMG_0411.JPG"));

    // Already original: nothing to do.
    EXPECT_FALSE(revertItemToOriginalNew(*reverted).has_value());
    EXPECT_TRUE(QFile::exists(*reverted));

    // The original name is taken: both files stay as they are.
    const QString camera = makeFile(folder, QStringLiteral("IMG_0413.JPG"), "camera 413");
    const QString other = makeFile(folder, QStringLiteral("B77_IMG_0413.JPG"), "coded 413");
    EXPECT_FALSE(revertItemToOriginalNew(other).has_value());
    EXPECT_EQ(testkit::readFile(camera), QByteArray("camera 413"));
    EXPECT_EQ(testkit::readFile(other), QByteArray("coded 413"));

    // A photo that is gone, and a format tag nobody knows, change nothing.
    EXPECT_FALSE(revertItemToOriginalNew(folder + QStringLiteral("/C1_IMG_0999.JPG")).has_value());
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 5);
    EXPECT_FALSE(revertItemToOriginalNew(other).has_value());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("B77_IMG_0413.JPG"), QStringLiteral("IMG_0411.JPG"), QStringLiteral("IMG_0412.JPG"),
                           QStringLiteral("IMG_0413.JPG")}));
}

TEST(FileNameScheme, CodesAndMarkersReadBackFromNames)
{
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 1);
    EXPECT_EQ(doGetQRCodeFromFileName(QStringLiteral("/src/A1234_IMG_0411-qrcode.JPG")), QStringLiteral("A1234"));
    EXPECT_EQ(doGetQRCodeFromFileName(QStringLiteral("/src/AB_12_IMG_0411-qrcode.JPG")), QStringLiteral("AB_12"));
    EXPECT_EQ(doGetQRCodeFromFileName(QStringLiteral("/src/X7-qrcode.JPG")), QStringLiteral("X7-qrcode"));
    EXPECT_FALSE(doGetQRCodeFromFileName(QStringLiteral("/src/A1234_IMG_0411-QRCODE.JPG")).has_value());
    EXPECT_FALSE(doGetQRCodeFromFileName(QStringLiteral("/src/A1234_IMG_0412.JPG")).has_value());
    EXPECT_FALSE(doGetQRCodeFromFileName(QStringLiteral("/src/_IMG_0411-qrcode.JPG")).has_value());

    EXPECT_TRUE(checkIfQRCodeItem(QStringLiteral("/src/A1234_IMG_0411-QRCODE.JPG")));
    EXPECT_TRUE(checkIfQRCodeItem(QStringLiteral("A1234_IMG_0411c2-qrcode.jpg")));
    EXPECT_FALSE(checkIfQRCodeItem(QStringLiteral("A1234_IMG_0411.JPG")));
    EXPECT_FALSE(checkIfQRCodeItem(QStringLiteral("/src-qrcode/A1234_IMG_0411.JPG")));

    EXPECT_EQ(getQRCodePartFromString(QStringLiteral("/src/A1234_IMG_0412.JPG")), QStringLiteral("a1234"));
    EXPECT_EQ(getQRCodePartFromString(QStringLiteral("/src/IMG_0412.JPG")), QStringLiteral("img"));
    EXPECT_EQ(getQRCodePartFromString(QStringLiteral("/src/DSC0412.JPG")), QStringLiteral("dsc0412"));
}

TEST(FileNameScheme, CodesHoldingSeparatorsReadWholeAndOldNamesReadAsBefore)
{
    const std::tuple<const char *, int, const char *> cases[] = {
        // The code is all that stands in front of the camera name.
        {"SMITH_JOHN_IMG_0412.JPG", 1, "SMITH_JOHN"},
        {"/src/SMITH_JOHN_IMG_0411c3-qrcode.JPG", 1, "SMITH_JOHN"},
        {"LEE_ANN_MAY_IMG_0412.JPG", 1, "LEE_ANN_MAY"},
        {"J.R._SMITH_IMG_0412.JPG", 1, "J.R._SMITH"},
        {"A_B_C_DSC01234-qrcode.nef", 0, "A_B_C"},
        {"SMITH_JOHN_CAM_A_0007.jpg", 2, "SMITH_JOHN"},
        // Names with a one-piece code, camera names and names made under
        // another format read their first piece, as they always have.
        {"A1234_IMG_0411c1-qrcode.JPG", 1, "A1234"},
        {"UNKNOWN_IMG_0412.JPG", 1, "UNKNOWN"},
        {"IMG_0412.JPG", 1, "IMG"},
        {"A1234_DSC01234.NEF", 1, "A1234"},
        {"_IMG_0411-qrcode.JPG", 1, ""},
        {"SMITH_JOHN_IMG_0412.JPG", 5, "SMITH"}, // unknown format
    };
    for (const auto &[name, tag, expected] : cases)
        EXPECT_EQ(codeOfName(QString::fromUtf8(name), tag), QString::fromUtf8(expected)) << name << " tag " << tag;
    EXPECT_FALSE(codeOfName(QStringLiteral("DSC01234.NEF"), 0));
    EXPECT_FALSE(codeOfName(QStringLiteral("X7-qrcode.JPG"), 1));

    // Every reader agrees, the setting deciding where no tag is given.
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 1);
    EXPECT_EQ(codeOfName(QStringLiteral("SMITH_JOHN_IMG_0412.JPG")), QStringLiteral("SMITH_JOHN"));
    EXPECT_EQ(doGetQRCodeFromFileName(QStringLiteral("/src/SMITH_JANE_IMG_0411-qrcode.JPG")), QStringLiteral("SMITH_JANE"));
    EXPECT_EQ(doGetQRCodeFromFileName(QStringLiteral("/src/SMITH_JANE_DSC0411-qrcode.JPG"), 0), QStringLiteral("SMITH_JANE"));
    EXPECT_EQ(getQRCodePartFromString(QStringLiteral("/src/Smith_John_IMG_0411-qrcode.JPG"), 1), QStringLiteral("smith_john"));

    // New names: exactly one code in front of the camera name, the card
    // marker kept (in lower case) or added.
    const std::tuple<const char *, const char *, const char *> renames[] = {
        {"SMITH_JOHN_IMG_0412.JPG", "SMITH_JANE", "SMITH_JANE_IMG_0412.JPG"},
        {"A1_IMG_0411-QRCODE.JPG", "LEE_ANN", "LEE_ANN_IMG_0411-qrcode.JPG"},
        {"UNKNOWN_IMG_0413.JPG", "SMITH_JOHN", "SMITH_JOHN_IMG_0413.JPG"},
        {"SMITH_JOHN_IMG_0412.JPG", "SMITH_JOHN", "SMITH_JOHN_IMG_0412.JPG"},
    };
    for (const auto &[name, code, expected] : renames)
        EXPECT_EQ(nameWithCode(QString::fromUtf8(name), QString::fromUtf8(code), 1), QString::fromUtf8(expected)) << name;
    EXPECT_EQ(cardNameWithCode(QStringLiteral("SMITH_JOHN_IMG_0412.JPG"), QStringLiteral("LEE_ANN"), 1),
              QStringLiteral("LEE_ANN_IMG_0412-qrcode.JPG"));
    EXPECT_FALSE(nameWithCode(QStringLiteral("IMG_0414.JPG"), QStringLiteral("../x"), 1));
}

TEST(FileNameScheme, DecodedPayloadsBecomeUsableCodes)
{
    // Setting off: "/" cannot stay in a file name.
    EXPECT_FALSE(decodeFromUrlString(QStringLiteral("A1234"), false).has_value());
    EXPECT_EQ(decodeFromUrlString(QStringLiteral("A/12 "), false), QStringLiteral("A:12"));
    // Setting on: a web address gives its last segment.
    EXPECT_FALSE(decodeFromUrlString(QStringLiteral("A1234"), true).has_value());
    EXPECT_EQ(decodeFromUrlString(QStringLiteral("https://cards.example.com/shoot/X99"), true), QStringLiteral("X99"));
    EXPECT_EQ(decodeFromUrlString(QStringLiteral(" https://cards.example.com/shoot/X99/?s=1\n"), true), QStringLiteral("X99"));
    EXPECT_EQ(decodeFromUrlString(QStringLiteral("https://cards.example.com"), true), QStringLiteral("cards.example.com"));
    // Nothing that would spoil or hide a file name gets through.
    EXPECT_EQ(decodeFromUrlString(QStringLiteral("A1234\r\n"), false), QStringLiteral("A1234"));
    // A control character inside is no part of any card's code: dropped, it
    // would give AB\nCD the code of the card ABCD.
    for (const bool decodeUrls : {false, true}) {
        EXPECT_EQ(decodeFromUrlString(QString(QStringLiteral("A12")) + QChar(0) + QStringLiteral("34"), decodeUrls), QString());
        EXPECT_FALSE(safeCodeFromPayload(QStringLiteral("AB\nCD"), decodeUrls));
        EXPECT_FALSE(safeCodeFromPayload(QString(QStringLiteral("AB")) + QChar(0) + QStringLiteral("CD"), decodeUrls));
        EXPECT_FALSE(safeCodeFromPayload(QStringLiteral("AB\tCD/12"), decodeUrls));
        EXPECT_EQ(safeCodeFromPayload(QChar(2) + QStringLiteral("ABCD\r\n"), decodeUrls), QStringLiteral("ABCD"));
    }
    EXPECT_EQ(decodeFromUrlString(QStringLiteral("..A1"), false), QStringLiteral("A1"));
    EXPECT_EQ(decodeFromUrlString(QStringLiteral(" \t "), false), QString());

    Settings::shared().setValue(QStringLiteral("prefDecodeForUrlString"), true);
    EXPECT_EQ(decodeFromUrlString(QStringLiteral("http://x.org/a/B7")), QStringLiteral("B7"));
}

TEST(FileNameScheme, EveryCodeIsOneSafeNameComponentOrNone)
{
    // Whatever a card says, the code is one visible name component.
    for (const bool decodeUrls : {false, true}) {
        for (const testkit::HostilePayload &payload : testkit::hostilePayloads()) {
            SCOPED_TRACE(payload.text.toStdString() + (decodeUrls ? " (addresses decoded)" : ""));
            const std::optional<QString> code = safeCodeFromPayload(payload.text, decodeUrls);
            EXPECT_EQ(code.has_value(), !payload.refused);
            if (!code)
                continue;
            EXPECT_TRUE(isSafeCode(*code));
            const QString name = makeCodePhotoFileName(*code, QStringLiteral("IMG_0001"), QStringLiteral("JPG")).value_or(QString());
            EXPECT_TRUE(name.endsWith(QStringLiteral("_IMG_0001-qrcode.JPG")));
            EXPECT_FALSE(name.contains(u'/') || name.contains(QChar(0)) || name.contains(u'\n'));
            EXPECT_FALSE(name.startsWith(u'.'));
            EXPECT_LE(name.toUtf8().size(), 255);
        }
    }
    // A payload with "/" that is no address keeps its text, "/" made ":".
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("Smith John/Class 3"), true), QStringLiteral("Smith John:Class 3"));
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("../../sib/x y"), true), QStringLiteral(":..:sib:x y"));
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("a/../../.."), true), QStringLiteral("a:..:..:.."));
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("http://cards.example.org/shoot/.."), true),
              QStringLiteral("http:::cards.example.org:shoot:.."));
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral(". .A1"), false), QStringLiteral("A1"));
    // Ordinary payloads as before; an encoded "/" inside an address is a
    // separator like any other.
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("A1234"), true), QStringLiteral("A1234"));
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("AB_12"), false), QStringLiteral("AB_12"));
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("https://cards.example.com/shoot/X99"), true), QStringLiteral("X99"));
    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("http://h.example/a%2F..%2F..%2FX1"), true), QStringLiteral("X1"));
    // 64 code units at most: refused beyond, never cut (two cards could then
    // give one code).
    EXPECT_EQ(safeCodeFromPayload(QString(64, u'K'), false), QString(64, u'K'));
    EXPECT_FALSE(safeCodeFromPayload(QString(65, u'K'), false));
    EXPECT_FALSE(safeCodeFromPayload(QStringLiteral("https://h.example/") + QString(65, u'K'), true));

    // The name builders take no code that was not made safe.
    EXPECT_FALSE(isSafeCode(QString(QChar(0xD800)) + u'A'));
    EXPECT_FALSE(makeCodedFileName(QStringLiteral(".."), QStringLiteral("IMG_0001"), QStringLiteral("JPG")));
    EXPECT_FALSE(makeCodePhotoFileName(QStringLiteral("a/b"), QStringLiteral("IMG_0001"), QStringLiteral("JPG")));

    // Names already in the folder hand on no hidden or spoilt code.
    EXPECT_FALSE(doGetQRCodeFromFileName(QStringLiteral("/src/._IMG_0411-qrcode.JPG")));
    EXPECT_FALSE(doGetQRCodeFromFileName(QStringLiteral("/src/..-qrcode.JPG")));
    EXPECT_FALSE(doGetQRCodeFromFileName(QStringLiteral("/src/A\x01_IMG_0411-qrcode.JPG")));

    // On a card with several codes, a refused payload cannot decide.
    Settings::shared().setValue(QStringLiteral("prefDecodeForUrlString"), false);
    EXPECT_EQ(codeFromDetection(detectionOf({QStringLiteral("A1/2"), QStringLiteral("..")})), QStringLiteral("A1:2"));
    EXPECT_FALSE(codeFromDetection(detectionOf({QStringLiteral(". . .")})));
}

TEST(FileNameScheme, UniquePathTriesTheSuffixesC1ToC18)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("unique"));
    const QString wanted = folder + QStringLiteral("/A1234_IMG_0412.JPG");
    EXPECT_EQ(getUniquePathString(wanted), wanted);

    makeFile(folder, QStringLiteral("A1234_IMG_0412.JPG"), "x");
    EXPECT_EQ(getUniquePathString(wanted), folder + QStringLiteral("/A1234_IMG_0412c1.JPG"));

    // The suffix goes in front of the marker; a folder counts as taken.
    const QString card = folder + QStringLiteral("/A1234_IMG_0411-qrcode.JPG");
    makeFile(folder, QStringLiteral("A1234_IMG_0411-qrcode.JPG"), "x");
    QDir(folder).mkdir(QStringLiteral("A1234_IMG_0411c1-qrcode.JPG"));
    EXPECT_EQ(getUniquePathString(card), folder + QStringLiteral("/A1234_IMG_0411c2-qrcode.JPG"));

    // Each candidate is built from the wanted name, never from the last one.
    for (int k = 1; k <= 17; ++k)
        makeFile(folder, QStringLiteral("A1234_IMG_0412c%1.JPG").arg(k), "x");
    EXPECT_EQ(getUniquePathString(wanted), folder + QStringLiteral("/A1234_IMG_0412c18.JPG"));
    makeFile(folder, QStringLiteral("A1234_IMG_0412c18.JPG"), "x");
    EXPECT_FALSE(getUniquePathString(wanted).has_value());

    const QString bare = folder + QStringLiteral("/A1_IMG");
    makeFile(folder, QStringLiteral("A1_IMG"), "x");
    EXPECT_EQ(getUniquePathString(bare), folder + QStringLiteral("/A1_IMGc1"));
}

// Names written on a drive that refuses ":" and friends carry stand-ins; the
// code read back is the card's, and a code can never be a stand-in itself,
// so two cards never share a name there.
TEST(FileNameScheme, CodesReadBackTheSameFromNamesWrittenWithStandIns)
{
    EXPECT_EQ(codeOfName(QStringLiteral("/x/SCH7\uFF1A1004_DSC_7810.JPG"), 1), QStringLiteral("SCH7:1004"));
    EXPECT_EQ(codeOfName(QStringLiteral("Smith John\uFF1AClass 3_DSC_7811-qrcode.JPG"), 1), QStringLiteral("Smith John:Class 3"));
    EXPECT_EQ(doGetQRCodeFromFileName(QStringLiteral("/x/A\uFF1F1_IMG_0411-qrcode.JPG"), 1), QStringLiteral("A?1"));
    EXPECT_EQ(getQRCodePartFromString(QStringLiteral("/x/AB\uFF1A12_IMG_0412.JPG"), 1), QStringLiteral("ab:12"));
    // The same card read on a local drive and on exFAT is one code.
    EXPECT_EQ(codeOfName(QStringLiteral("AB:12_IMG_0412.JPG"), 1), codeOfName(QStringLiteral("AB\uFF1A12_IMG_0412.JPG"), 1));

    EXPECT_EQ(safeCodeFromPayload(QStringLiteral("Smith John/Class 3"), false), QStringLiteral("Smith John:Class 3"));
    EXPECT_FALSE(isSafeCode(QStringLiteral("AB\uFF1A12")));
    EXPECT_FALSE(safeCodeFromPayload(QStringLiteral("AB\uFF1A12"), false));
    EXPECT_FALSE(makeCodedFileName(QStringLiteral("A\uFF0E"), QStringLiteral("IMG_0001"), QStringLiteral("JPG")));
}
