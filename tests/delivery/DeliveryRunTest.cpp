// Delivery of a source folder into the main folder. Photos are small files
// whose capture order is given by their modification times; only the camera
// grouping case needs real photos with camera metadata.

#include "tests/testkit/fixtures/DeliveryRunScene.h"

using namespace sorrelby::testkit::deliveryrun;

namespace {

TEST_F(DeliveryTest, KeepsTheTwoNewestCardPhotosOnlyWhenAsked)
{
    // Cards A (code X), B (code Y), C (code X again), each before its photos.
    const QStringList names{"X_IMG_0001-qrcode.JPG", "X_IMG_0002.JPG",        "Y_IMG_0003-qrcode.JPG",
                            "Y_IMG_0004.JPG",        "X_IMG_0005-qrcode.JPG", "X_IMG_0006.JPG"};
    shoot(names);
    run.fDoKeepLastQRPhoto = true;
    const DeliveryRunResult result = run.finishProcessxxx();

    ASSERT_EQ(result.status, DeliveryStatus::Finished);
    ASSERT_EQ(result.batches.size(), 1);
    const DeliveryBatchResult &batch = result.batches.first();
    EXPECT_EQ(lines(entriesOf(source)), lines({"X_IMG_0005-qrcode.JPG", "Y_IMG_0003-qrcode.JPG"}));
    EXPECT_EQ(lines(batch.keptCodePhotos), lines({source + "/X_IMG_0005-qrcode.JPG", source + "/Y_IMG_0003-qrcode.JPG"}));
    EXPECT_EQ(lines(trashed()), lines({"X_IMG_0001-qrcode.JPG"}));
    EXPECT_EQ(lines(entriesOf(destination)), lines({"X_IMG_0002.JPG", "X_IMG_0006.JPG", "Y_IMG_0004.JPG"}));
    EXPECT_EQ(batch.counters.total, 6);
    EXPECT_EQ(batch.counters.allowed, 3);
    EXPECT_EQ(batch.counters.moved, 3);
    EXPECT_EQ(batch.counters.trashed, 1);
    EXPECT_EQ(batch.counters.leftInSource(), 2);
    // Card photos are not meant for the destination: a clean delivery does
    // not report issues because of them.
    ASSERT_EQ(result.end, DeliveryEnd::ShowSummary);
    ASSERT_TRUE(batch.summary);
    EXPECT_EQ(batch.summary->title, QStringLiteral("Finished Moving ALL ReAssigned Files..."));
    EXPECT_EQ(batch.summary->message, QStringLiteral("Moved 3 out of 3 Allowed Files.\nFolder has Total of 6 Files"));
    EXPECT_EQ(batch.summary->autoCloseSeconds, 5.0);
    ASSERT_EQ(progress.size(), 6);
    EXPECT_EQ(progress.first(), QStringLiteral("Copying TO:\n ") + destination + QStringLiteral("/X_IMG_0001-qrcode.JPG"));

    // A card repeating the newest kept code does not push the other code out:
    // the newest card of each of the last two codes stays.
    const QString other = makeTempFolder(QStringLiteral("other"));
    shoot({"P_IMG_0021-qrcode.JPG", "Q_IMG_0022-qrcode.JPG", "Q_IMG_0023-qrcode.JPG"}, other);
    run.fSrcPath = other;
    const DeliveryBatchResult repeated = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(lines(repeated.keptCodePhotos), lines({other + "/Q_IMG_0023-qrcode.JPG", other + "/P_IMG_0021-qrcode.JPG"}));
    EXPECT_EQ(lines(entriesOf(other)), lines({"P_IMG_0021-qrcode.JPG", "Q_IMG_0023-qrcode.JPG"}));
    run.fSrcPath = source;

    // Without keeping, every card photo goes.
    shoot({"Z_IMG_0011-qrcode.JPG", "Z_IMG_0012.JPG", "W_IMG_0013-qrcode.JPG"});
    run.fDoKeepLastQRPhoto = false;
    const DeliveryBatchResult second = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(second.counters.trashed, 4); // the two kept before, Z and W
    EXPECT_EQ(second.counters.moved, 1);
    EXPECT_TRUE(second.keptCodePhotos.isEmpty());
    EXPECT_TRUE(entriesOf(source).isEmpty());
}

// A JPEG's RAW file goes where the JPEG goes, under its delivered name, and
// with its card when that is thrown away or kept: a pair counts as one photo.
TEST_F(DeliveryTest, RawFilesTravelWithTheirJpeg)
{
    settings.setValue(cPrefMoveUnasignedPhotoMethodTag, 0);
    const QList<QStringList> shots{{"X_IMG_0001-qrcode.JPG", "X_IMG_0001-qrcode.NEF"},
                                   {"X_IMG_0002.JPG", "X_IMG_0002.NEF"},
                                   {"Y_IMG_0003-qrcode.JPG", "Y_IMG_0003-qrcode.NEF"},
                                   {"Y_IMG_0004.JPG", "Y_IMG_0004.CR2"},
                                   {"X_IMG_0005-qrcode.JPG", "X_IMG_0005-qrcode.NEF"},
                                   {"X_IMG_0006.JPG", "X_IMG_0006.NEF"},
                                   {"IMG_0007.JPG", "IMG_0007.NEF"}};
    shootPairs(shots);
    // Another photo holds the RAW's name: the pair takes "c1" together.
    ASSERT_TRUE(writeFile(destination + "/X_IMG_0002.NEF", "another photo"));
    // A run stopped after the JPEG went: only its RAW is left to go.
    ASSERT_TRUE(fileops::copyNoReplace(source + "/X_IMG_0006.JPG", destination + "/X_IMG_0006.JPG"));

    run.fDoKeepLastQRPhoto = true;
    const DeliveryRunResult result = run.finishProcessxxx();
    ASSERT_EQ(result.status, DeliveryStatus::Finished);
    const DeliveryBatchResult &batch = result.batches.first();
    EXPECT_TRUE(batch.failures.isEmpty()) << lines(batch.failures);
    EXPECT_EQ(sortedLines(entriesOf(destination)),
              sortedLines({"X_IMG_0002.NEF", "X_IMG_0002c1.JPG", "X_IMG_0002c1.NEF", "Y_IMG_0004.JPG", "Y_IMG_0004.CR2", "X_IMG_0006.JPG",
                           "X_IMG_0006.NEF"}));
    EXPECT_EQ(readFile(destination + "/X_IMG_0002.NEF"), "another photo");
    EXPECT_EQ(readFile(destination + "/X_IMG_0002c1.NEF"), standIn("X_IMG_0002.NEF", "photo X_IMG_0002.NEF"));
    // The two newest cards are kept whole, the oldest goes whole.
    EXPECT_EQ(sortedLines(entriesOf(source)),
              sortedLines({"IMG_0007.JPG", "IMG_0007.NEF", "X_IMG_0005-qrcode.JPG", "X_IMG_0005-qrcode.NEF", "Y_IMG_0003-qrcode.JPG",
                           "Y_IMG_0003-qrcode.NEF"}));
    EXPECT_TRUE(trashed().contains(QStringLiteral("X_IMG_0001-qrcode.JPG")));
    EXPECT_TRUE(trashed().contains(QStringLiteral("X_IMG_0001-qrcode.NEF")));
    EXPECT_EQ(batch.counters.total, 7);
    EXPECT_EQ(batch.counters.moved, 3);
}

TEST_F(DeliveryTest, PhotosWithoutCodeFollowTheUnassignedSettings)
{
    settings.setValue(cPrefDailyFolderDateFormat, QStringLiteral("MM/dd/yyyy"));
    // 01:30 on 2 March still counts as 1 March.
    run.setClock([] { return QDateTime(QDate(2025, 3, 2), QTime(1, 30)); });
    const QString unassigned = root + QStringLiteral("/UNASSIGNED_PHOTOS/03:01:2025");
    const QStringList withoutCode{"IMG_0001.JPG", "unknown_IMG_0002.JPG", "?_IMG_0003.JPG"};

    // Moved into the unassigned folder of the day, not counted as allowed. A
    // different photo of the same camera name there (a wrapped counter) keeps
    // its name.
    shoot(withoutCode + QStringList{"A1_IMG_0004.JPG"});
    ASSERT_TRUE(writeFile(unassigned + "/IMG_0001.JPG", "older"));
    DeliveryBatchResult batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(lines(entriesOf(unassigned)), lines({"?_IMG_0003.JPG", "IMG_0001.JPG", "IMG_0001c1.JPG", "unknown_IMG_0002.JPG"}));
    EXPECT_EQ(readFile(unassigned + "/IMG_0001.JPG"), QByteArray("older"));
    EXPECT_EQ(readFile(unassigned + "/IMG_0001c1.JPG"), standIn(QStringLiteral("IMG_0001.JPG"), "photo IMG_0001.JPG"));
    EXPECT_EQ(batch.counters.unassigned, 3);
    EXPECT_EQ(batch.counters.renamed, 1);
    EXPECT_EQ(batch.counters.allowed, 1);
    EXPECT_EQ(batch.summary->title, QStringLiteral("Finished Moving ALL ReAssigned Files..."));

    // Any other method leaves them in the source folder.
    settings.setValue(cPrefMoveUnasignedPhotoMethodTag, 0);
    shoot(withoutCode);
    batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(lines(entriesOf(source)), lines({"?_IMG_0003.JPG", "IMG_0001.JPG", "unknown_IMG_0002.JPG"}));
    EXPECT_EQ(batch.counters.unassigned, 0);
    EXPECT_EQ(batch.summary->title, QStringLiteral("Somehow NO Files to Move/Copy..."));
    EXPECT_EQ(batch.summary->message, QStringLiteral("Hmm - No Files to Move/Copy???\nFolder has Total of 3 Files"));

    // Method 1 without the unassigned feature: delivered like coded photos.
    settings.setValue(cPrefMoveUnasignedPhotoMethodTag, 1);
    settings.setValue(cPrefDoUnassignedProcess, false);
    batch = run.finishProcessxxx().batches.value(0);
    EXPECT_TRUE(entriesOf(source).isEmpty());
    EXPECT_EQ(batch.counters.allowed, 3);
    EXPECT_EQ(batch.counters.moved, 3);
    EXPECT_TRUE(QFileInfo::exists(destination + "/unknown_IMG_0002.JPG"));
}

TEST_F(DeliveryTest, EmptyFolderAndMissingPaths)
{
    ASSERT_TRUE(QDir(source).mkpath(QStringLiteral("_extras")));
    shoot({"A1_IMG_0002.JPG"}, source + "/_extras");
    shoot({".hidden_IMG_0001.JPG", ".DS_Store"});
    const DeliveryRunResult result = run.deliver();
    ASSERT_EQ(result.batches.size(), 1);
    EXPECT_EQ(result.batches[0].summary->title, QStringLiteral("Somehow NO Files to Move/Copy..."));
    EXPECT_EQ(result.batches[0].summary->message, QStringLiteral("Hmm - No Files to Move/Copy???\nFolder has Total of 0 Files"));
    EXPECT_TRUE(QFileInfo(destination).isDir()); // created on the way
    EXPECT_EQ(entriesOf(source).size(), 3);
    EXPECT_EQ(lines(progress.mid(0, 2)),
              lines({"Validating Destination Folder at:\n[" + destination + "...]", "Processing Files at:\n[" + source + "]"}));

    run.fDestPath.reset();
    EXPECT_EQ(run.finishProcessxxx().status, DeliveryStatus::MissingDestinationPath);
    run.fDestPath = destination;
    run.fSrcPath = source + QStringLiteral("/gone");
    const DeliveryRunResult unreadable = run.finishProcessxxx();
    EXPECT_EQ(unreadable.status, DeliveryStatus::SourceUnreadable);
    EXPECT_EQ(unreadable.end, DeliveryEnd::StayOpen);
    run.fSrcPath.reset();
    EXPECT_EQ(run.deliver().status, DeliveryStatus::MissingSourcePath);
}

// Only Nikon and Canon bodies are delivered one camera at a time; the other
// makes and photos without metadata stay behind. In hot folder mode card
// photos are kept and no summary is shown.
TEST_F(DeliveryTest, CameraGroupingLeavesOtherMakesBehind)
{
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    shootWithCameras({{"S1_DSC_0001-qrcode.JPG", nikonCamera()},
                      {"S1_DSC_0002.JPG", nikonCamera()},
                      {"S2_IMG_0003.JPG", canonCamera()},
                      {"S3_DSC_0004.JPG", sonyCamera()},
                      {"S4_DSC_0005.JPG", std::nullopt}});
    ASSERT_TRUE(writeFile(source + "/S5_DSC_0006.JPG", standIn(QStringLiteral("S5_DSC_0006.JPG"), "no metadata")));

    run.fDoKeepLastQRPhoto = DeliveryRun::keepLastQRPhotoSetting(settings);
    QList<DeliveryEnd> ends;
    run.setBatchEnded([&](const DeliveryBatchResult &batch) { ends << batch.end; });
    const DeliveryRunResult result = run.finishProcessxxx();

    EXPECT_EQ(lines(entriesOf(destination)), lines({"S1_DSC_0002.JPG", "S2_IMG_0003.JPG"}));
    EXPECT_EQ(lines(entriesOf(source)), lines({"S1_DSC_0001-qrcode.JPG", "S3_DSC_0004.JPG", "S4_DSC_0005.JPG", "S5_DSC_0006.JPG"}));
    EXPECT_EQ(result.batches.size(), 2);
    EXPECT_EQ(ends, QList<DeliveryEnd>({DeliveryEnd::Close, DeliveryEnd::Close}));
    for (const DeliveryBatchResult &batch : result.batches)
        EXPECT_FALSE(batch.summary);
    int leftBehind = 0;
    for (int count : result.camerasLeftBehind)
        leftBehind += count;
    EXPECT_EQ(leftBehind, 3);
    EXPECT_TRUE(settings.boolValue(QStringLiteral("prefEnableHotFolderMode")));
}

// A photo never replaces another: the same photo delivered again only leaves
// the source, a different one under the same name (two bodies numbering
// alike) arrives under a "c<k>" name; a failed move changes nothing, and a
// card photo never touches the destination.
TEST_F(DeliveryTest, ReplacingInTheDestinationNeverLosesAFile)
{
    shoot({"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG"});
    ASSERT_TRUE(writeFile(destination + "/A1_IMG_0001-qrcode.JPG", "delivered earlier"));
    ASSERT_TRUE(writeFile(destination + "/A1_IMG_0002.JPG", standIn(QStringLiteral("A1_IMG_0002.JPG"), "other camera")));

    DeliveryRun::FileOperations failing;
    failing.move = [](const QString &, const QString &) { return FileResult::failure(QStringLiteral("disk full")); };
    run.setFileOperations(failing);
    DeliveryBatchResult batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(lines(entriesOf(destination)), lines({"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG"}));
    EXPECT_EQ(readFile(destination + "/A1_IMG_0002.JPG"), standIn(QStringLiteral("A1_IMG_0002.JPG"), "other camera"));
    EXPECT_TRUE(QFileInfo::exists(source + "/A1_IMG_0002.JPG"));
    EXPECT_EQ(batch.counters.moved, 0);
    ASSERT_EQ(batch.failures.size(), 1);
    EXPECT_TRUE(batch.failures[0].contains(QStringLiteral("disk full")));
    EXPECT_TRUE(batch.summary->reportsIssues());
    // The card photo stays with the photo of its subject; the destination's
    // file of that name stayed too.
    EXPECT_EQ(readFile(destination + "/A1_IMG_0001-qrcode.JPG"), QByteArray("delivered earlier"));
    EXPECT_TRUE(QFileInfo::exists(source + "/A1_IMG_0001-qrcode.JPG"));
    EXPECT_EQ(batch.counters.trashed, 0);

    // With a working move both photos are kept, and the summary says so; the
    // card goes now.
    run.setFileOperations({});
    batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(readFile(destination + "/A1_IMG_0002.JPG"), standIn(QStringLiteral("A1_IMG_0002.JPG"), "other camera"));
    EXPECT_EQ(readFile(destination + "/A1_IMG_0002c1.JPG"), standIn(QStringLiteral("A1_IMG_0002.JPG"), "photo A1_IMG_0002.JPG"));
    EXPECT_EQ(batch.counters.moved, 1);
    EXPECT_EQ(batch.counters.renamed, 1);
    EXPECT_EQ(batch.counters.trashed, 1);
    EXPECT_TRUE(batch.failures.isEmpty());
    EXPECT_EQ(batch.summary->title, QStringLiteral("Finished Moving ALL ReAssigned Files..."));
    EXPECT_EQ(batch.summary->message,
              QStringLiteral("Moved 1 out of 1 Allowed Files.\nFolder has Total of 2 Files\n"
                             "1 File(s) Delivered Under a New Name (Name Taken by Another Photo)"));

    // Delivering the same photos again (the card read twice) adds no copies:
    // the one under its own name and the one that took "c1" are both found.
    writeFilesInOrder(source, {"A1_IMG_0002.JPG"}, "other camera");
    batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(batch.counters.moved, 1);
    EXPECT_EQ(batch.counters.renamed, 0);
    EXPECT_TRUE(entriesOf(source).isEmpty());
    ASSERT_TRUE(writeFile(source + "/A1_IMG_0002.JPG", standIn(QStringLiteral("A1_IMG_0002.JPG"), "photo A1_IMG_0002.JPG")));
    batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(batch.counters.moved, 1);
    EXPECT_TRUE(entriesOf(source).isEmpty());
    EXPECT_EQ(lines(entriesOf(destination)), lines({"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG", "A1_IMG_0002c1.JPG"}));
    // Same size, other bytes: another photo.
    ASSERT_TRUE(writeFile(source + "/A1_IMG_0002.JPG", standIn(QStringLiteral("A1_IMG_0002.JPX"), "photo A1_IMG_0002.JPX")));
    batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(readFile(destination + "/A1_IMG_0002c2.JPG"), standIn(QStringLiteral("A1_IMG_0002.JPX"), "photo A1_IMG_0002.JPX"));

    // A card photo that can be neither trashed nor deleted stays.
    shoot({"B2_IMG_0003-qrcode.JPG"});
    DeliveryRun::FileOperations stuck;
    stuck.trash = [](const QString &) { return FileResult::failure(QStringLiteral("no trash")); };
    stuck.remove = [](const QString &) { return FileResult::failure(QStringLiteral("read-only")); };
    run.setFileOperations(stuck);
    batch = run.finishProcessxxx().batches.value(0);
    EXPECT_TRUE(QFileInfo::exists(source + "/B2_IMG_0003-qrcode.JPG"));
    EXPECT_EQ(batch.counters.trashed + batch.counters.removed, 0);
}

// A photo that cannot be delivered for a reason of its own (its name and
// every variant up to "c18" taken) stays untouched and is reported, but does
// not stop the run; its card stays with it: without the card its subject
// could not be decoded again.
TEST_F(DeliveryTest, ACardGoesOnlyWhenEveryPhotoOfItsSubjectIsDelivered)
{
    startAfresh();
    shoot({"X_IMG_0001-qrcode.JPG", "X_IMG_0002.JPG", "Y_IMG_0003-qrcode.JPG", "Y_IMG_0004.JPG", "Y_IMG_0005.JPG"});
    takeEveryVariant(QStringLiteral("Y_IMG_0004.JPG"));
    const DeliveryRunResult result = run.finishProcessxxx();
    EXPECT_EQ(result.status, DeliveryStatus::Finished);
    EXPECT_EQ(lines(trashed()), lines({"X_IMG_0001-qrcode.JPG"}));
    EXPECT_EQ(lines(entriesOf(source)), lines({"Y_IMG_0003-qrcode.JPG", "Y_IMG_0004.JPG"}));
    const DeliveryBatchResult batch = result.batches.value(0);
    EXPECT_EQ(lines(batch.keptCodePhotos), lines({source + "/Y_IMG_0003-qrcode.JPG"}));
    EXPECT_EQ(batch.failures.size(), 1);
    EXPECT_TRUE(batch.summary->reportsIssues());
    EXPECT_EQ(readFile(source + "/Y_IMG_0004.JPG"), standIn(QStringLiteral("Y_IMG_0004.JPG"), "photo Y_IMG_0004.JPG"));
    EXPECT_EQ(entriesOf(destination).size(), 21); // the other photo and its 18 variants, X's and Y's two delivered
    EXPECT_EQ(batch.counters.leftInSource(), 2);
}

// X's photos after the marked one may be a subject whose card was not read:
// they wait in the source folder, with X's card, until a person looks.
TEST_F(DeliveryTest, PhotosAfterAPossibleUnreadCardAreHeldBackWhenAsked)
{
    const QStringList shot{"X_IMG_0001-qrcode.JPG", "X_IMG_0002.JPG",        "X_IMG_0003.JPG",
                           "X_IMG_0004.JPG",        "Y_IMG_0005-qrcode.JPG", "Y_IMG_0006.JPG"};
    for (const bool hold : {false, true}) {
        SCOPED_TRACE(hold);
        startAfresh();
        shoot(shot);
        if (!setPossibleUnreadCardMark(source + "/X_IMG_0003.JPG", QStringLiteral("a code was located but not read")))
            GTEST_SKIP() << "no extended attributes here";
        run.fHoldBackAfterUnreadCard = hold;
        const DeliveryRunResult result = run.finishProcessxxx();
        EXPECT_EQ(result.status, DeliveryStatus::Finished);
        if (hold) {
            EXPECT_EQ(lines(entriesOf(source)), lines({"X_IMG_0001-qrcode.JPG", "X_IMG_0003.JPG", "X_IMG_0004.JPG"}));
            EXPECT_EQ(lines(entriesOf(destination)), lines({"X_IMG_0002.JPG", "Y_IMG_0006.JPG"}));
            EXPECT_EQ(result.batches.value(0).heldBack.size(), 2);
        } else {
            EXPECT_EQ(lines(entriesOf(source)), lines({}));
            EXPECT_EQ(lines(entriesOf(destination)), lines({"X_IMG_0002.JPG", "X_IMG_0003.JPG", "X_IMG_0004.JPG", "Y_IMG_0006.JPG"}));
        }
    }
}

// The main folder's drive unmounted during the run leaves an empty mount
// point under the same name: nothing may be made or delivered there.
TEST_F(DeliveryTest, AMainFolderReplacedDuringTheRunStopsIt)
{
    settings.setValue(cPrefDoUnassignedProcess, true);
    settings.setValue(cPrefMoveUnasignedPhotoMethodTag, 1);
    shoot({"A1_IMG_0001.JPG", "A1_IMG_0002.JPG", "IMG_0003.JPG", "A1_IMG_0004.JPG"});
    const QString away = makeTempFolder(QStringLiteral("unmounted"));
    int copying = 0;
    run.setProgress([&](const QString &line) {
        if (line.startsWith(QStringLiteral("Copying TO")) && ++copying == 2) {
            ASSERT_TRUE(QDir().rename(root, away + QStringLiteral("/drive")));
            ASSERT_TRUE(QDir().mkdir(root));
        }
    });
    const DeliveryRunResult result = run.finishProcessxxx();
    ASSERT_EQ(result.status, DeliveryStatus::Stopped);
    EXPECT_EQ(result.stop->reason, DeliveryStopReason::MainFolderGone);
    EXPECT_EQ(result.stop->leftInSource, 3);
    EXPECT_TRUE(entriesOf(root).isEmpty()) << lines(filesBelow(root));
    EXPECT_EQ(lines(filesBelow(away)), lines({"drive/05-01-2024/A1_IMG_0001.JPG"}));
    EXPECT_EQ(lines(entriesOf(source)), lines({"A1_IMG_0002.JPG", "A1_IMG_0004.JPG", "IMG_0003.JPG"}));

    // A main folder missing from the start is never made.
    QDir(root).removeRecursively();
    EXPECT_EQ(run.finishProcessxxx().status, DeliveryStatus::Stopped);
    EXPECT_FALSE(QFileInfo::exists(root));
}

TEST_F(DeliveryTest, DestinationOnAnotherFileSystem)
{
    const QString other = otherFileSystemFolder();
    if (other.isEmpty())
        GTEST_SKIP() << "no second file system";
    destination = other + QStringLiteral("/main");
    run.fDestPath = destination;
    shoot({"A1_IMG_0001.JPG", "A1_IMG_0002.JPG", "A1_IMG_0003.JPG", "A1_IMG_0004.JPG"});
    ASSERT_TRUE(writeFile(destination + "/A1_IMG_0001.JPG", "delivered earlier"));
    ASSERT_TRUE(writeFile(destination + "/A1_IMG_0004.JPG", standIn(QStringLiteral("A1_IMG_0004.JPG"), "photo A1_IMG_0004.JPG")));
    // A folder in the way is no photo to replace either.
    ASSERT_TRUE(writeFile(destination + "/A1_IMG_0003.JPG/inside", "not a photo"));

    const DeliveryBatchResult batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(batch.counters.moved, 4);
    EXPECT_EQ(batch.counters.renamed, 2);
    EXPECT_TRUE(batch.failures.isEmpty());
    EXPECT_EQ(readFile(destination + "/A1_IMG_0001.JPG"), QByteArray("delivered earlier"));
    EXPECT_EQ(readFile(destination + "/A1_IMG_0001c1.JPG"), standIn(QStringLiteral("A1_IMG_0001.JPG"), "photo A1_IMG_0001.JPG"));
    EXPECT_EQ(readFile(destination + "/A1_IMG_0002.JPG"), standIn(QStringLiteral("A1_IMG_0002.JPG"), "photo A1_IMG_0002.JPG"));
    EXPECT_EQ(QFileInfo(destination + "/A1_IMG_0002.JPG").lastModified(), kStart.addSecs(1));
    EXPECT_EQ(readFile(destination + "/A1_IMG_0003c1.JPG"), standIn(QStringLiteral("A1_IMG_0003.JPG"), "photo A1_IMG_0003.JPG"));
    EXPECT_EQ(readFile(destination + "/A1_IMG_0003.JPG/inside"), QByteArray("not a photo"));
    // No half-made copies are left behind.
    EXPECT_EQ(
        lines(entriesOf(destination)),
        lines({"A1_IMG_0001.JPG", "A1_IMG_0001c1.JPG", "A1_IMG_0002.JPG", "A1_IMG_0003.JPG", "A1_IMG_0003c1.JPG", "A1_IMG_0004.JPG"}));
    EXPECT_TRUE(entriesOf(source).isEmpty());
}

} // namespace

// Hot folder mode switched on while a run is under way: the run ends the way
// it started (a summary, one batch), and the user's switch is not undone.
TEST_F(DeliveryTest, ASwitchOfHotFolderModeDuringTheRunStays)
{
    shoot({"A1_IMG_0001.JPG", "A1_IMG_0002.JPG"});
    bool switched = false;
    run.setProgress([&](const QString &line) {
        if (!switched && line.startsWith(QStringLiteral("Copying TO"))) {
            settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
            switched = true;
        }
    });
    const DeliveryRunResult result = run.deliver();
    ASSERT_TRUE(switched);
    EXPECT_EQ(lines(entriesOf(destination)), lines({"A1_IMG_0001.JPG", "A1_IMG_0002.JPG"}));
    ASSERT_EQ(result.batches.size(), 1);
    EXPECT_EQ(result.end, DeliveryEnd::ShowSummary);
    ASSERT_TRUE(result.batches.first().summary);
    EXPECT_EQ(result.batches.first().summary->autoCloseSeconds, 5.0);
    EXPECT_TRUE(settings.boolValue(QStringLiteral("prefEnableHotFolderMode")));

    // And switched off during a hot folder run: it stays off.
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    shoot({"B2_IMG_0003.JPG"});
    switched = false;
    run.setCameraGrouper([&](const QStringList &) -> std::optional<QMap<QString, QStringList>> {
        settings.setValue(QStringLiteral("prefEnableHotFolderMode"), false);
        switched = true;
        return std::nullopt;
    });
    run.deliver();
    EXPECT_TRUE(switched);
    EXPECT_FALSE(settings.boolValue(QStringLiteral("prefEnableHotFolderMode")));
}

// A copy read back different (a flaky share) is tried once more; a second
// such copy leaves the photo in the source with the reason, and the run goes
// on with the next photo.
TEST_F(DeliveryTest, ACopyThatFailsVerificationIsTriedOnceMore)
{
    shoot({"A1_IMG_0001.JPG", "A1_IMG_0002.JPG"});
    QMap<QString, int> tries;
    DeliveryRun::FileOperations flaky;
    flaky.move = [&tries](const QString &from, const QString &to) {
        const int attempt = ++tries[fileNameOf(from)];
        // The first photo copies badly once, the second every time.
        if ((fileNameOf(from) == QStringLiteral("A1_IMG_0001.JPG") && attempt == 1)
            || fileNameOf(from) == QStringLiteral("A1_IMG_0002.JPG"))
            return FileResult::failure(QStringLiteral("Could not move: the copy's content differs from the original's"), cCopyNotVerified);
        return fileops::moveNoReplace(from, to);
    };
    run.setFileOperations(flaky);
    const DeliveryBatchResult batch = run.finishProcessxxx().batches.value(0);
    EXPECT_EQ(tries.value(QStringLiteral("A1_IMG_0001.JPG")), 2);
    EXPECT_EQ(tries.value(QStringLiteral("A1_IMG_0002.JPG")), 2);
    EXPECT_EQ(lines(entriesOf(destination)), lines({"A1_IMG_0001.JPG"}));
    EXPECT_EQ(lines(entriesOf(source)), lines({"A1_IMG_0002.JPG"}));
    EXPECT_EQ(batch.counters.moved, 1);
    ASSERT_EQ(batch.failures.size(), 1);
    EXPECT_TRUE(batch.failures[0].contains(QStringLiteral("A1_IMG_0002.JPG: Could not move: the copy's content differs")))
        << batch.failures[0].toStdString();
    EXPECT_FALSE(batch.stop);
}
