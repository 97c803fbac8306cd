// Finishing a card copy that a kill interrupted, from each of the places its
// journal can say it stopped: nothing staged goes to the trash, the earlier
// photos give way only where the copy had not yet set them aside, and a
// photo already in place is never placed twice.

#include "tests/testkit/fixtures/CardRecoveryScene.h"

using namespace sorrelby::testkit::cardrecovery;

namespace {

TEST_F(CardRecoveryTest, ACopyStoppedBeforeSettingAsideIsFinishedInFull)
{
    // Killed while copying: the earlier photos still lay in the source
    // folder. They go to the trash (only they: a delivered folder and the
    // notes stay), then the staged photos come in.
    photo(source + QStringLiteral("/B9_DSC_0900.JPG"), 900);
    const QString delivered = makeFolder(source + QStringLiteral("/Main"));
    writeFile(source + QStringLiteral("/notes.txt"), "notes");
    const QString staging = staged(source, StagingJournal::Phase::Copying, true, {1, 2});
    const QByteArray bytes = readFile(staging + QStringLiteral("/DSC_0001.JPG"));

    EXPECT_EQ(recover({source, hot}),
              (QStringList{QStringLiteral("2 photos recovered from an interrupted card copy"),
                           QStringLiteral("1 earlier photos set aside in the Trash for them")}));
    EXPECT_EQ(
        entriesOf(source),
        (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG"), QStringLiteral("Main"), QStringLiteral("notes.txt")}));
    EXPECT_EQ(readFile(source + QStringLiteral("/DSC_0001.JPG")), bytes);
    EXPECT_EQ(trash(), QStringList{QStringLiteral("B9_DSC_0900.JPG")});
    EXPECT_FALSE(fileops::exists(staging));
    EXPECT_TRUE(QFileInfo(delivered).isDir());

    // Nothing left: a second start finds nothing to report.
    EXPECT_TRUE(recover({source, hot}).isEmpty());
}

TEST_F(CardRecoveryTest, ACopyStoppedWhilePlacingOnlyPlacesTheRest)
{
    // Killed while placing: the earlier photos are gone already, so what
    // lies in the source folder is this card's and stays. A name taken by
    // another photo gives a suffix; a photo already placed is not placed twice.
    const QString staging = staged(source, StagingJournal::Phase::Placing, true, {1, 2, 3});
    const QByteArray other = photo(source + QStringLiteral("/DSC_0001.JPG"), 77);
    ASSERT_TRUE(fileops::copyNoReplace(staging + QStringLiteral("/DSC_0002.JPG"), source + QStringLiteral("/A1_DSC_0002.JPG")));

    EXPECT_EQ(recover({source}), QStringList{QStringLiteral("3 photos recovered from an interrupted card copy")});
    EXPECT_EQ(entriesOf(source),
              (QStringList{QStringLiteral("A1_DSC_0002.JPG"), QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0001c1.JPG"),
                           QStringLiteral("DSC_0003.JPG")}))
        << lines(entriesOf(source));
    EXPECT_EQ(readFile(source + QStringLiteral("/DSC_0001.JPG")), other);
    EXPECT_TRUE(trash().isEmpty());
    EXPECT_FALSE(fileops::exists(staging));
}

TEST_F(CardRecoveryTest, TheJournalSaysWhereThePhotosGo)
{
    // A copy in hot folder mode goes on into the hot folder, clips too, and
    // sets nothing aside.
    photo(source + QStringLiteral("/B9_DSC_0900.JPG"), 900);
    QString staging = staged(hot, StagingJournal::Phase::Copying, false, {5});
    writeFile(staging + QStringLiteral("/DSC_0006.MOV"), "a clip");
    EXPECT_EQ(recover({source, hot}), QStringList{QStringLiteral("2 photos recovered from an interrupted card copy")});
    EXPECT_EQ(entriesOf(hot), (QStringList{QStringLiteral("DSC_0005.JPG"), QStringLiteral("DSC_0006.MOV")}));
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("B9_DSC_0900.JPG")});

    // A journal whose folder is gone, or none at all: the photos join the
    // source folder, and nothing is set aside for a copy meant elsewhere.
    staging = staged(shoot + QStringLiteral("/old-source"), StagingJournal::Phase::Copying, true, {7});
    photo(staging + QStringLiteral("/DSC_0008.JPG"), 8);
    EXPECT_EQ(recover({source, hot}), QStringList{QStringLiteral("2 photos recovered from an interrupted card copy")});
    EXPECT_EQ(entriesOf(source),
              (QStringList{QStringLiteral("B9_DSC_0900.JPG"), QStringLiteral("DSC_0007.JPG"), QStringLiteral("DSC_0008.JPG")}));
    photo(makeFolder(shoot + QStringLiteral("/.copyOfCard")) + QStringLiteral("/DSC_0009.JPG"), 9);
    EXPECT_EQ(recover({source, hot}), QStringList{QStringLiteral("1 photos recovered from an interrupted card copy")});
    EXPECT_TRUE(fileops::exists(source + QStringLiteral("/DSC_0009.JPG")));
    EXPECT_TRUE(trash().isEmpty());

    // A staging folder holding nothing but its journal (killed before the
    // first photo) just goes.
    staging = staged(source, StagingJournal::Phase::Copying, true, {});
    EXPECT_TRUE(recover({source, hot}).isEmpty());
    EXPECT_FALSE(fileops::exists(staging));
    EXPECT_TRUE(trash().isEmpty());
}

TEST_F(CardRecoveryTest, InHotFolderModeTheCopysPhotosGoThroughTheHotFolder)
{
    // Only the intake pass reads card photos in hot folder mode: the photos
    // of a copy meant for the source folder, staged or already placed, go
    // into the hot folder, and the source folder's photos (the hot folder's
    // work in progress) stay.
    const QByteArray inProgress = photo(source + QStringLiteral("/A1_DSC_0500.JPG"), 500);
    const QString staging = staged(source, StagingJournal::Phase::Copying, true, {1, 2});
    StagingJournal journal = *StagingJournal::read(staging);
    journal.phase = StagingJournal::Phase::Placing;
    journal.listPhotos(stagedFiles(staging));
    ASSERT_TRUE(journal.write(staging));
    ASSERT_TRUE(fileops::moveNoReplace(staging + QStringLiteral("/DSC_0001.JPG"), source + QStringLiteral("/DSC_0001.JPG")));

    EXPECT_EQ(recover({source, hot}, hot), QStringList{QStringLiteral("2 photos recovered from an interrupted card copy")});
    EXPECT_EQ(entriesOf(hot), (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG")}));
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("A1_DSC_0500.JPG")});
    EXPECT_EQ(readFile(source + QStringLiteral("/A1_DSC_0500.JPG")), inProgress);
    EXPECT_FALSE(fileops::exists(staging));
    EXPECT_TRUE(trash().isEmpty());
}

TEST_F(CardRecoveryTest, PhotosWithNowhereToGoStayStagedAndAreReported)
{
    const QString gone = shoot + QStringLiteral("/gone");
    const QString staging = staged(gone, StagingJournal::Phase::Placing, true, {1});
    const QStringList reported = recover({gone});
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains(QStringLiteral("1 photos of an interrupted card copy could NOT be placed")))
        << reported[0].toStdString();
    EXPECT_EQ(stagedFiles(staging), QStringList{staging + QStringLiteral("/DSC_0001.JPG")});
    // Found again, and placed, once there is a folder for them.
    makeFolder(gone);
    EXPECT_EQ(recover({gone}), QStringList{QStringLiteral("1 photos recovered from an interrupted card copy")});
    EXPECT_EQ(entriesOf(gone), QStringList{QStringLiteral("DSC_0001.JPG")});
}

} // namespace
