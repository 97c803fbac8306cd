// Undo and redo through the shoot engine: each kind of step (decode,
// reassign, revert, delete) goes back and forth, the journal outlives the
// engine that wrote it, a name taken since is reported and never replaced,
// and only the renames of the action's own thread and folder join its step.

#include "tests/testkit/fixtures/UndoJournalScene.h"

using namespace sorrelby::testkit::undojournal;

TEST_F(UndoJournal, EveryKindGoesBackAndForthAndOutlivesTheEngine)
{
    ASSERT_EQ(engine()->run({ShootOperation::Decode}).outcome, ShootResult::Outcome::Done);
    ASSERT_EQ(names(), lines(cDecoded));

    // A reassign of two photos and a delete, as the dialog and the window
    // make them.
    {
        RenameJournal::Recording step = RenameJournal(folder).record(JournalKind::Reassign, QStringLiteral("Reassign to C9"));
        ASSERT_TRUE(renamePhotosToCode({folder + "/A1_IMG_0002.JPG", folder + "/A1_IMG_0003.JPG"}, QStringLiteral("C9")));
    }
    EXPECT_EQ(RenameJournal(folder).handCodedSinceDecode(), 2);
    const QByteArray deleted = readFile(folder + "/B2_IMG_0005.JPG");
    {
        RenameJournal::Recording step = RenameJournal(folder).record(JournalKind::Delete, QStringLiteral("Delete"));
        QString trashed;
        ASSERT_TRUE(fileops::moveToTrash(folder + "/B2_IMG_0005.JPG", &trashed));
        step.add({folder + "/B2_IMG_0005.JPG", trashed, true});
    }
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
    ASSERT_EQ(filesBelow(trash).size(), 2); // the photo and its info file

    // Each undo by another engine, as after a restart; last step first.
    ShootResult result = engine()->run({ShootOperation::Undo});
    EXPECT_EQ(result.outcome, ShootResult::Outcome::Done) << result.describe().toStdString();
    EXPECT_EQ(result.undoLabel, QStringLiteral("Delete"));
    EXPECT_EQ(readFile(folder + "/B2_IMG_0005.JPG"), deleted);
    EXPECT_TRUE(filesBelow(trash).isEmpty()) << lines(filesBelow(trash));
    result = engine()->run({ShootOperation::Undo});
    EXPECT_EQ(result.undoLabel, QStringLiteral("Reassign to C9"));
    EXPECT_EQ(result.reverted, 2);
    EXPECT_EQ(names(), lines(cDecoded));
    EXPECT_EQ(RenameJournal(folder).handCodedSinceDecode(), 0);
    result = engine()->run({ShootOperation::Undo});
    EXPECT_EQ(names(), lines({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG"}));
    result = engine()->run({ShootOperation::Undo});
    EXPECT_EQ(result.outcome, ShootResult::Outcome::NotRun);
    EXPECT_EQ(result.reason, QStringLiteral("nothing to undo"));

    // Redo walks forward again, the delete into the trash once more.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(engine()->run({ShootOperation::Redo}).outcome, ShootResult::Outcome::Done) << i;
    EXPECT_EQ(names(), lines({"A1_IMG_0001-qrcode.JPG", "B2_IMG_0004-qrcode.JPG", "C9_IMG_0002.JPG", "C9_IMG_0003.JPG"}));
    EXPECT_EQ(engine()->run({ShootOperation::Redo}).outcome, ShootResult::Outcome::NotRun);

    // A revert is a step too; a new step forgets what was undone.
    engine()->run({ShootOperation::Undo});
    engine()->run({ShootOperation::Revert});
    EXPECT_FALSE(RenameJournal(folder).nextRedo());
    engine()->run({ShootOperation::Undo});
    EXPECT_EQ(names(),
              lines({"A1_IMG_0001-qrcode.JPG", "B2_IMG_0004-qrcode.JPG", "B2_IMG_0005.JPG", "C9_IMG_0002.JPG", "C9_IMG_0003.JPG"}));

    // Delivery clears the journal: what left the folder is not undone.
    const QString main = makeTempFolder(QStringLiteral("main"));
    ShootRequest deliver{ShootOperation::Deliver};
    deliver.destination = main;
    engine()->run(deliver);
    EXPECT_FALSE(RenameJournal(folder).nextUndo());
    EXPECT_FALSE(QFileInfo::exists(RenameJournal::journalFileFor(folder)));
}

TEST_F(UndoJournal, ANameTakenSinceIsReportedAndNeverReplaced)
{
    engine()->run({ShootOperation::Decode});
    {
        RenameJournal::Recording step = RenameJournal(folder).record(JournalKind::Drop, QStringLiteral("Drop onto B2"));
        renamePhotosToCode({folder + "/A1_IMG_0002.JPG", folder + "/A1_IMG_0003.JPG"}, QStringLiteral("B2"));
    }
    // Another photo took one of the old names since.
    ASSERT_TRUE(writeFile(folder + "/A1_IMG_0002.JPG", smallJpeg() + "another photo"));
    const QByteArray moved = readFile(folder + "/B2_IMG_0002.JPG");

    const ShootResult result = engine()->run({ShootOperation::Undo});
    EXPECT_EQ(result.outcome, ShootResult::Outcome::Problems);
    EXPECT_EQ(result.reverted, 1);
    EXPECT_EQ(result.problems, QStringList{"B2_IMG_0002.JPG: the name A1_IMG_0002.JPG is already taken"});
    EXPECT_EQ(readFile(folder + "/A1_IMG_0002.JPG"), smallJpeg() + "another photo");
    EXPECT_EQ(readFile(folder + "/B2_IMG_0002.JPG"), moved);
    EXPECT_TRUE(QFileInfo::exists(folder + "/A1_IMG_0003.JPG"));
    // A photo no longer in the trash is reported too.
    {
        RenameJournal::Recording step = RenameJournal(folder).record(JournalKind::Delete, QStringLiteral("Delete"));
        step.add({folder + "/IMG_0042.JPG", qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/IMG_0042.JPG", true});
    }
    EXPECT_EQ(engine()->run({ShootOperation::Undo}).problems, QStringList{"IMG_0042.JPG: no longer in the trash"});
}

TEST_F(UndoJournal, AStepHoldsOnlyItsOwnThreadsRenamesInItsFolder)
{
    const QString other = makeTempFolder(QStringLiteral("other"));
    writeFilesInOrder(other, {"IMG_0100.JPG"}, smallJpeg());
    {
        RenameJournal::Recording step = RenameJournal(folder).record(JournalKind::Drop, QStringLiteral("Drop onto Z1"));
        // Another queue renaming in the same folder meanwhile, and this
        // thread renaming in another folder.
        std::thread([&] { renamePhotoToCode(folder + "/IMG_0005.JPG", QStringLiteral("Q5"), 1); }).join();
        renamePhotoToCode(other + "/IMG_0100.JPG", QStringLiteral("Z1"), 1);
        renamePhotoToCode(folder + "/IMG_0002.JPG", QStringLiteral("Z1"), 1);
    }
    const std::optional<JournalStep> step = RenameJournal(folder).nextUndo();
    ASSERT_TRUE(step);
    ASSERT_EQ(step->moves.size(), 1);
    EXPECT_EQ(step->moves.first().from, folder + "/IMG_0002.JPG");
    EXPECT_EQ(step->moves.first().to, folder + "/Z1_IMG_0002.JPG");
    EXPECT_FALSE(RenameJournal(other).nextUndo());
    // A step that renamed nothing is no step.
    {
        RenameJournal::Recording nothing = RenameJournal(folder).record(JournalKind::Revert, QStringLiteral("Revert"));
    }
    EXPECT_EQ(RenameJournal(folder).nextUndo()->label, QStringLiteral("Drop onto Z1"));
}
