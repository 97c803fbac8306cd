// The shoot engine without a window: every operation works on the folder as
// it is when the operation's turn comes, operations run one at a time in the
// order asked, progress is counted photo by photo, a decode stops when asked,
// results say why photos kept their names, and nothing waits on the thread
// that asked.

#include "tests/testkit/fixtures/ShootEngineScene.h"

using namespace sorrelby::testkit::shootengine;

TEST_F(ShootEngineTest, EveryOperationWorksOnTheFolderAsItIsWhenItsTurnComes)
{
    photos({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"},
           {"IMG_0004.JPG", "IMG_0005.JPG", "B2_IMG_0006.JPG", "IMG_0007.JPG", "B2_IMG_0008.JPG", "IMG_0009.JPG", "IMG_0010.JPG"});
    ShootEngine engine(folder, options(cardsByCameraName({{"IMG_0001.JPG", "A1"}, {"IMG_0003.JPG", "B2"}, {"IMG_0009.JPG", "C3"}})));
    NotificationRecorder refreshes(QStringLiteral("myRefreshId"));
    // What a window would have shown: the folder before the later photos came.
    ASSERT_EQ(photosInFolder(folder)->size(), 3);

    arrive("IMG_0004.JPG");
    ShootResult result = engine.run({ShootOperation::Decode});
    EXPECT_EQ(result.outcome, ShootResult::Outcome::Done) << result.describe().toStdString();
    EXPECT_EQ(result.listed, 4);
    EXPECT_EQ(result.codes, (QStringList{"A1", "B2"}));
    EXPECT_EQ(lines(entriesOf(folder)), lines({"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG", "B2_IMG_0003-qrcode.JPG", "B2_IMG_0004.JPG"}));

    arrive("IMG_0005.JPG");
    result = engine.run({ShootOperation::CarryCodes});
    EXPECT_EQ(result.listed, 5);
    EXPECT_TRUE(QFileInfo::exists(folder + "/B2_IMG_0005.JPG"));

    arrive("B2_IMG_0006.JPG");
    result = engine.run({ShootOperation::Revert});
    EXPECT_EQ(result.reverted, 6);
    EXPECT_EQ(lines(entriesOf(folder)),
              lines({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG", "IMG_0006.JPG"}));

    arrive("IMG_0007.JPG");
    result = engine.run({ShootOperation::RevertAndDecode});
    EXPECT_EQ(result.walked, 7);
    EXPECT_TRUE(QFileInfo::exists(folder + "/B2_IMG_0007.JPG"));

    // Delivery takes the photo that came after the request was made, too.
    const QString main = makeTempFolder(QStringLiteral("main"));
    arrive("B2_IMG_0008.JPG");
    ShootRequest deliver{ShootOperation::Deliver};
    deliver.destination = main;
    deliver.keepLastCards = false;
    result = engine.run(deliver);
    ASSERT_TRUE(result.delivery);
    EXPECT_EQ(result.listed, 8);
    EXPECT_EQ(result.delivery->batches.value(0).counters.moved, 6);
    EXPECT_TRUE(QFileInfo::exists(main + "/B2_IMG_0008.JPG"));
    EXPECT_TRUE(entriesOf(folder).isEmpty());

    // A hot folder batch reads the card nobody read, carries its code on
    // and delivers, keeping the card for the next batch.
    arrive("IMG_0009.JPG");
    arrive("IMG_0010.JPG");
    ShootRequest batch{ShootOperation::HotFolderBatch};
    batch.destination = main;
    batch.cardsRead = [](const QString &) { return false; };
    result = engine.run(batch);
    EXPECT_EQ(result.readForCards.size(), 2);
    EXPECT_EQ(entriesOf(folder), QStringList{"C3_IMG_0009-qrcode.JPG"});
    EXPECT_TRUE(QFileInfo::exists(main + "/C3_IMG_0010.JPG"));

    result = engine.run({ShootOperation::Refresh});
    EXPECT_EQ(result.listing, QStringList{folder + "/C3_IMG_0009-qrcode.JPG"});
    // The views hear of every operation that changed the folder.
    EXPECT_EQ(refreshes.seen().size(), 7);
}

TEST_F(ShootEngineTest, OneOperationAtATimeInTheOrderAsked)
{
    photos({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"});
    HeldDetector held(cardsByCameraName({{"IMG_0001.JPG", "A1"}}), QStringLiteral("IMG_0002.JPG"));
    ShootEngine engine(folder, options(held.detector()));
    Recorder recorder(engine);

    const quint64 decode = engine.decode();
    const quint64 revert = engine.revert();
    held.waitUntilReached();
    // The revert waits for its turn behind the decode under way.
    spinFor(100);
    EXPECT_TRUE(engine.isBusy());
    ASSERT_EQ(recorder.started().size(), 1);
    EXPECT_EQ(recorder.started().at(0).ticket, decode);
    held.release();
    ASSERT_TRUE(waitUntil([&] { return recorder.finished().size() == 2; }, 20000));
    EXPECT_FALSE(engine.isBusy());
    // The decode's end is heard with the revert still waiting, the revert's
    // with nothing left: a window that enables its commands then finds the
    // engine idle.
    EXPECT_EQ(recorder.busyAtFinish(), (QList<bool>{true, false}));
    EXPECT_EQ(recorder.finished().at(0).ticket, decode);
    EXPECT_EQ(recorder.finished().at(1).ticket, revert);
    // The revert listed the folder after the decode had renamed it.
    EXPECT_EQ(recorder.result(revert)->reverted, 3);
    EXPECT_EQ(lines(entriesOf(folder)), lines({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}));
}

TEST_F(ShootEngineTest, ProgressCountsEachPhotoAndAnAbortStopsAfterThePhotoInHand)
{
    photos({"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG"});
    std::atomic<bool> hold{false};
    HeldDetector held(cardsByCameraName({{"IMG_0001.JPG", "A1"}}), QStringLiteral("IMG_0003.JPG"), &hold);
    ShootEngine engine(folder, options(held.detector()));
    Recorder recorder(engine);

    ShootRequest oneByOne{ShootOperation::Decode};
    oneByOne.detectionWorkers = 1; // detection at the walk's own pace
    const ShootResult decoded = engine.run(oneByOne);
    QList<ShootProgress> steps = recorder.progress();
    ASSERT_GE(steps.size(), 6);
    EXPECT_EQ(steps.at(0).step, ShootStep::Listing);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(steps.at(i).step, ShootStep::Detecting);
        EXPECT_EQ(steps.at(i).operation, ShootOperation::Decode);
        EXPECT_EQ(steps.at(i).done, i);
        EXPECT_EQ(steps.at(i).total, 5);
        EXPECT_EQ(QFileInfo(steps.at(i).photo).fileName(), QStringLiteral("IMG_000%1.JPG").arg(i));
    }
    EXPECT_EQ(steps.at(5).text, QStringLiteral("Found/Decoded QRCodes:\n\nA1"));
    EXPECT_EQ(decoded.walked, 5);

    // Revert and decode again, stopped while the third photo is read: the
    // photos walked keep their new names, the others their camera names.
    hold = true;
    ShootRequest again{ShootOperation::RevertAndDecode};
    again.detectionWorkers = 1;
    const quint64 ticket = engine.request(again);
    held.waitUntilReached();
    engine.abort();
    held.release();
    ASSERT_TRUE(waitUntil([&] { return recorder.result(ticket).has_value(); }, 20000));
    const ShootResult aborted = *recorder.result(ticket);
    EXPECT_EQ(aborted.outcome, ShootResult::Outcome::Aborted);
    EXPECT_EQ(aborted.reverted, 5);
    EXPECT_EQ(aborted.walked, 3);
    EXPECT_EQ(lines(entriesOf(folder)),
              lines({"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG", "A1_IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG"}));
    int reverting = 0;
    for (const ShootProgress &p : recorder.progress())
        reverting += p.ticket == ticket && p.step == ShootStep::Reverting ? 1 : 0;
    EXPECT_EQ(reverting, 5);
}

TEST_F(ShootEngineTest, ResultsSayWhyNothingWasDoneOrWhichPhotosKeptTheirNames)
{
    // A coded name already taken by another photo: that photo keeps its name.
    photos({"IMG_0001.JPG", "IMG_0002.JPG", "A1_IMG_0002.JPG"});
    ShootEngine engine(folder, options(cardsByCameraName({{"IMG_0001.JPG", "A1"}})));
    ShootResult result = engine.run({ShootOperation::Decode});
    EXPECT_EQ(result.outcome, ShootResult::Outcome::Problems);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.problems, QStringList{"IMG_0002.JPG: the name A1_IMG_0002.JPG is already taken"});

    // Detection switched off: nothing is reverted nor renamed.
    settings.setValue(QStringLiteral("prefCanSupportVisionFramework"), false);
    const QStringList before = entriesOf(folder);
    result = engine.run({ShootOperation::RevertAndDecode});
    EXPECT_EQ(result.outcome, ShootResult::Outcome::NotRun);
    EXPECT_TRUE(result.reason.contains(QStringLiteral("prefCanSupportVisionFramework")));
    EXPECT_EQ(entriesOf(folder), before);
    settings.setValue(QStringLiteral("prefCanSupportVisionFramework"), true);

    // A main folder that is not there (its drive unplugged): nothing is
    // made in its place.
    const QString gone = makeTempFolder(QStringLiteral("unplugged")) + QStringLiteral("/main");
    ShootRequest deliver{ShootOperation::Deliver};
    deliver.mainFolder = gone;
    deliver.destination = gone + QStringLiteral("/day");
    result = engine.run(deliver);
    EXPECT_EQ(result.outcome, ShootResult::Outcome::Problems);
    EXPECT_TRUE(result.reason.startsWith(QStringLiteral("Delivery stopped"))) << result.reason.toStdString();
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_EQ(entriesOf(folder), before);

    // A folder that cannot be read.
    ShootEngine nowhere(folder + QStringLiteral("/missing"), options({}));
    result = nowhere.run({ShootOperation::CarryCodes});
    EXPECT_EQ(result.outcome, ShootResult::Outcome::NotRun);
    EXPECT_TRUE(result.folderUnreadable);
}

// The thread that asked stays blocked until the delivery has ended: a
// delivery that waited on it would never end.
TEST_F(ShootEngineTest, ADeliveryNeverWaitsOnTheThreadThatAskedForIt)
{
    photos({"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG", "A1_IMG_0003.JPG"});
    ShootEngine engine(folder, options({}));
    std::promise<ShootResult> finished;
    QObject::connect(
        &engine, &ShootEngine::operationFinished, &engine, [&](const ShootResult &r) { finished.set_value(r); }, Qt::DirectConnection);
    int delivering = 0;
    QObject::connect(
        &engine, &ShootEngine::operationProgressed, &engine,
        [&](const ShootProgress &p) { delivering += p.step == ShootStep::Delivering && p.total == 3 ? 1 : 0; }, Qt::DirectConnection);
    const QString main = makeTempFolder(QStringLiteral("main"));
    engine.deliver(main);
    std::future<ShootResult> result = finished.get_future();
    // No event of this thread is processed while it waits.
    ASSERT_EQ(result.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    const ShootResult delivered = result.get();
    EXPECT_EQ(delivered.outcome, ShootResult::Outcome::Done) << delivered.describe().toStdString();
    EXPECT_EQ(lines(entriesOf(main)), lines({"A1_IMG_0002.JPG", "A1_IMG_0003.JPG"}));
    EXPECT_GE(delivering, 3);
}

TEST_F(ShootEngineTest, DecodeWalksInTheCaptureOrderThePhotosCarryWhenFileDatesLie)
{
    // Copied without its file times (all one second) from a camera whose
    // counter wrapped mid-shoot: names and file dates both lie, and only
    // the photos' own capture times give the five subjects back.
    ShootSpec spec = shootSpec(5, 2);
    spec.firstFrameNumber = 9990;
    spec.subSecondDigits = 2;
    spec.fileTimes = FileTimes::Equal;
    const std::optional<Shoot> shoot = writeShoot(folder, spec);
    ASSERT_TRUE(shoot);
    ASSERT_TRUE(QFileInfo::exists(folder + "/DSC_0000.JPG"));

    ShootEngine engine(folder, options({}));
    const ShootResult result = engine.run({ShootOperation::Decode});
    EXPECT_EQ(result.outcome, ShootResult::Outcome::Done) << result.describe().toStdString();
    EXPECT_EQ(result.codes, (QStringList{"S001", "S002", "S003", "S004", "S005"}));
    EXPECT_EQ(sortedLines(entriesOf(folder)), sortedLines(shoot->expectedNames()));
}
