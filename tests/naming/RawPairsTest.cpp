// A RAW+JPEG camera's two files of one picture stay under one code through
// every rename: the rename service, the two decode passes and the undo
// journal. A name the pair cannot take whole leaves both as they were.

#include "tests/testkit/fixtures/RawPairsScene.h"

using namespace sorrelby::testkit::rawpairs;

namespace {

TEST_F(RawPairs, ARenameMovesTheJpegsRawAlongOrNeither)
{
    shot({"IMG_0002.JPG", "IMG_0002.NEF", "IMG_0002.cr2"}, 0);
    shot({"IMG_0003.JPG", "IMG_0003.NEF"}, 1);
    shot({"IMG_0004.NEF"}, 2);

    const PairedPhotos paired = pairRawCompanions(listing());
    EXPECT_EQ(sortedLines(paired.photos), sortedLines({folder + "/IMG_0002.JPG", folder + "/IMG_0003.JPG", folder + "/IMG_0004.NEF"}));
    EXPECT_EQ(sortedLines(paired.rawsOf(folder + "/IMG_0002.JPG")), sortedLines({folder + "/IMG_0002.NEF", folder + "/IMG_0002.cr2"}));

    {
        RenameJournal::Recording step = RenameJournal(folder).record(JournalKind::Reassign, QStringLiteral("Reassign to A1"));
        const PhotoRename rename = renamePhotoToCode(folder + "/IMG_0002.JPG", QStringLiteral("A1"), 1);
        ASSERT_EQ(rename.outcome, PhotoRename::Renamed) << rename.why.toStdString();
        EXPECT_EQ(rename.companions.size(), 2);
        EXPECT_TRUE(rename.companionProblems.isEmpty());
        // A RAW renamed on its own takes nothing along.
        ASSERT_TRUE(renamePhotoToCode(folder + "/IMG_0004.NEF", QStringLiteral("A1"), 1));
    }
    EXPECT_EQ(sortedLines(entriesOf(folder)),
              sortedLines({"A1_IMG_0002.JPG", "A1_IMG_0002.NEF", "A1_IMG_0002.cr2", "IMG_0003.JPG", "IMG_0003.NEF", "A1_IMG_0004.NEF"}));

    // Undo puts all three files of the pair back.
    const JournalReport undone = RenameJournal(folder).undo();
    EXPECT_TRUE(undone.kept.isEmpty()) << lines(undone.kept);
    EXPECT_EQ(sortedLines(entriesOf(folder)),
              sortedLines({"IMG_0002.JPG", "IMG_0002.NEF", "IMG_0002.cr2", "IMG_0003.JPG", "IMG_0003.NEF", "IMG_0004.NEF"}));

    // The RAW's name is taken by another file: the JPEG stays too, and says why.
    shot({"B2_IMG_0003.NEF"}, 5);
    const PhotoRename blocked = renamePhotoToCode(folder + "/IMG_0003.JPG", QStringLiteral("B2"), 1);
    EXPECT_EQ(blocked.outcome, PhotoRename::Kept);
    EXPECT_TRUE(blocked.why.contains(QStringLiteral("B2_IMG_0003.NEF"))) << blocked.why.toStdString();
    const std::optional<RenameRun> run = renamePhotosToCode({folder + "/IMG_0003.JPG"}, QStringLiteral("B2"));
    ASSERT_TRUE(run);
    EXPECT_EQ(run->kept().size(), 1);
    EXPECT_TRUE(fileops::exists(folder + "/IMG_0003.JPG"));
    EXPECT_TRUE(fileops::exists(folder + "/IMG_0003.NEF"));
    EXPECT_EQ(readFile(folder + "/B2_IMG_0003.NEF"), standIn("B2_IMG_0003.NEF", "shot 5"));

    // Revert brings the pair back to its camera name together.
    ASSERT_TRUE(renamePhotoToCardCode(folder + "/IMG_0002.JPG", QStringLiteral("C3"), 1));
    EXPECT_TRUE(fileops::exists(folder + "/C3_IMG_0002-qrcode.NEF"));
    ASSERT_TRUE(revertPhoto(folder + "/C3_IMG_0002-qrcode.JPG", 1));
    EXPECT_TRUE(fileops::exists(folder + "/IMG_0002.NEF"));
    EXPECT_TRUE(fileops::exists(folder + "/IMG_0002.cr2"));
}

// The RAW of a shot sorts before its JPEG (CR2 < JPG at one time): walked on
// its own it would take the code before the card. Here the card's RAW was
// left under its camera name by a run that stopped half way.
TEST_F(RawPairs, DecodePassesGiveARawItsJpegsCodeNeverAnother)
{
    const auto write = [&] {
        QDir(folder).removeRecursively();
        makeFolder(folder);
        shot({"IMG_0001.JPG", "IMG_0001.CR2"}, 0);
        shot({"A1_IMG_0002-qrcode.JPG", "IMG_0002.CR2"}, 1);
        shot({"IMG_0003.JPG", "IMG_0003.CR2"}, 2);
        shot({"B7_IMG_0004-qrcode.JPG", "B7_IMG_0004-qrcode.CR2"}, 3);
        shot({"A1_IMG_0005.JPG", "Z9_IMG_0005.CR2"}, 4);
        shot({"IMG_0006.CR2"}, 5);
    };
    const QStringList expected{"IMG_0001.JPG",    "IMG_0001.CR2",    "A1_IMG_0002-qrcode.JPG", "A1_IMG_0002-qrcode.CR2",
                               "A1_IMG_0003.JPG", "A1_IMG_0003.CR2", "B7_IMG_0004-qrcode.JPG", "B7_IMG_0004-qrcode.CR2",
                               "B7_IMG_0005.JPG", "B7_IMG_0005.CR2", "B7_IMG_0006.CR2"};

    write();
    NameCarryingPass carrying;
    carrying.doAutoDecodeQRAction3New(listing());
    EXPECT_EQ(sortedLines(entriesOf(folder)), sortedLines(expected));
    ASSERT_EQ(carrying.summaries().size(), 1);
    EXPECT_EQ(carrying.summaries().first().photos, 6) << "a pair is one photo of the walk";
    EXPECT_EQ(carrying.summaries().first().failed, 0) << lines(carrying.summaries().first().problems);

    // The detecting pass reads cards from the JPEG only; a lone RAW is read itself.
    write();
    QStringList read;
    DetectingPass detecting([&](const QString &path) -> std::optional<QString> {
        read << fileNameOf(path);
        if (path.contains(QStringLiteral("IMG_0002")))
            return QStringLiteral("A1");
        if (path.contains(QStringLiteral("IMG_0004")))
            return QStringLiteral("B7");
        return std::nullopt;
    });
    detecting.setWorkerCount(1);
    const DecodeSummary summary = detecting.run(listing());
    EXPECT_EQ(sortedLines(entriesOf(folder)), sortedLines(expected));
    EXPECT_EQ(sortedLines(read),
              sortedLines(
                  {"IMG_0001.JPG", "A1_IMG_0002-qrcode.JPG", "IMG_0003.JPG", "B7_IMG_0004-qrcode.JPG", "A1_IMG_0005.JPG", "IMG_0006.CR2"}));
    EXPECT_EQ(summary.failed, 0) << lines(summary.problems);

    // A RAW whose name is taken under its JPEG's code is reported, not replaced.
    write();
    const QString other = folder + "/A1_IMG_0003.CR2";
    ASSERT_TRUE(writeFile(other, standIn(other, "another RAW")));
    ASSERT_TRUE(fileops::setModificationDate(other, firstCaptureTime().addSecs(2)));
    NameCarryingPass blocked;
    blocked.doAutoDecodeQRAction3(listing());
    EXPECT_TRUE(fileops::exists(folder + "/IMG_0003.JPG"));
    EXPECT_TRUE(fileops::exists(folder + "/IMG_0003.CR2"));
    EXPECT_EQ(readFile(other), standIn(other, "another RAW"));
    EXPECT_GE(blocked.summaries().first().failed, 1);
}

} // namespace
