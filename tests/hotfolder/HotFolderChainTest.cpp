// The chain from a file event to a batch: passes, the coalesced batch, the
// marker file, retries for photos still being written, stopping. Most cases
// use a scripted intake and batch and short delays; the last ones run the
// real intake and the shoot engine's batch over generated shoots.

#include "tests/testkit/fixtures/HotFolderChainScene.h"

using namespace sorrelby::testkit::hotfolderchain;

namespace {

TEST_F(HotFolderChainTest, EveryEventLeadsToAPassEvenForOtherPaths)
{
    HotFolderChain chain(hot, options());
    chain.handleEvent(QStringList{QStringLiteral("/somewhere/else")}, QList<quint32>{0});
    ASSERT_TRUE(waitUntil([&] { return chain.passesRun() == 1; }));
    chain.handleEvent(std::nullopt, std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return chain.passesRun() == 2; }));
    chain.handleEvent(QStringList{hot}, QList<quint32>{0});
    ASSERT_TRUE(waitUntil([&] { return chain.passesRun() == 3; }));
    EXPECT_EQ(chain.batchesRun(), 0); // nothing moved
}

TEST_F(HotFolderChainTest, ABurstOfMovingPassesGivesOneBatchInsideAJobOfTheQueue)
{
    intake.script({moved(1)});
    // Long enough that the burst below always falls inside one window.
    HotFolderChain chain(hot, options(2.0));
    for (int pass = 1; pass <= 5; ++pass) {
        chain.handleEvent(QStringList{hot}, QList<quint32>{0});
        ASSERT_TRUE(waitUntil([&] { return chain.passesRun() == pass; }));
    }
    ASSERT_TRUE(waitUntil([&] { return chain.batchesRun() == 1; }));
    drainQueue();
    EXPECT_EQ(chain.batchesRun(), 1);
    std::lock_guard lock(mutex);
    EXPECT_EQ(batches, QStringList{source});
    // Nothing can be queued between a batch's decode and its delivery.
    EXPECT_TRUE(batchesOnQueue);
}

TEST_F(HotFolderChainTest, APhotoStillBeingWrittenIsTakenWithoutAnotherEvent)
{
    HotFolderIntakeResult waiting;
    waiting.waiting = 1;
    waiting.nextCheck = QDateTime::currentDateTime().addMSecs(100);
    intake.script({waiting, moved(1), HotFolderIntakeResult()});
    HotFolderChain chain(hot, options());
    chain.handleEvent(QStringList{hot}, QList<quint32>{0});
    ASSERT_TRUE(waitUntil([&] { return chain.passesRun() >= 2; }));
    EXPECT_TRUE(waitUntil([&] { return chain.batchesRun() == 1; }));
}

TEST_F(HotFolderChainTest, RefreshWaitsUntilNoPhotoIsStillBeingWritten)
{
    // The first pass moves photos but leaves one in transfer (maybe the card
    // of the photos it moved); the refresh must come after it is in.
    HotFolderIntakeResult first = moved(3);
    first.waiting = 1;
    first.nextCheck = QDateTime::currentDateTime().addMSecs(300);
    intake.script({first, moved(1), HotFolderIntakeResult()});
    HotFolderChain chain(hot, options(0.05));
    chainUnderTest = &chain;
    chain.handleEvent(QStringList{hot}, QList<quint32>{0});
    ASSERT_TRUE(waitUntil([&] { return chain.batchesRun() == 1; }));
    drainQueue();
    std::lock_guard lock(mutex);
    EXPECT_EQ(passesAtBatch, 2);
}

TEST_F(HotFolderChainTest, StoppingLetsThePassInHandFinishAndStartsNothingNew)
{
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    HotFolderChain::Options o = options();
    o.intake = [&](const QString &, const QString &, const std::atomic<bool> *abort) {
        entered.set_value();
        released.wait();
        HotFolderIntakeResult result = moved(1);
        result.aborted = abort->load();
        return result;
    };
    std::atomic<bool> processingFlag{false};
    o.processingFlag = &processingFlag;
    HotFolderChain chain(hot, o);
    chain.handleEvent(QStringList{hot}, QList<quint32>{0});
    entered.get_future().wait();
    EXPECT_TRUE(processingFlag.load());
    EXPECT_TRUE(chain.isProcessing());

    chain.setEnabled(false);
    chain.abortPass();
    chain.handleEvent(QStringList{hot}, QList<quint32>{0});
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return chain.passesRun() == 1; }));
    spinFor(300);
    drainQueue();
    EXPECT_EQ(chain.passesRun(), 1);
    EXPECT_FALSE(processingFlag.load());
    EXPECT_EQ(chain.batchesRun(), 0);
}

TEST_F(HotFolderChainTest, MarkerIsRewrittenWhileIdleAndNoShellSeesTheFolderName)
{
    // A folder name that would run commands if it ever reached a shell line.
    const QString root = makeTempFolder(QStringLiteral("root"));
    const QString folder = root + QStringLiteral("/hot \"$(touch PWNED)\"; touch PWNED2; `touch PWNED3` '");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString marker = folder + QLatin1Char('/') + cHotFolderMarkerFileName;

    HotFolderWatch watch(folder, options(), 0.05);
    watch.setRun(true); // start event, pass, marker, event, pass, marker...
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(marker) && intake.calls() >= 3; }));
    ASSERT_TRUE(QFile::remove(marker));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(marker); }));
    EXPECT_TRUE(readFile(marker).endsWith('\n'));
    watch.setRun(false);
    drainQueue();

    EXPECT_EQ(lines(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)), QFileInfo(folder).fileName().toStdString());
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + QStringLiteral("/PWNED")));
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + QStringLiteral("/PWNED2")));
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + QStringLiteral("/PWNED3")));
}

// The real chain end to end: a two-camera shoot already in the hot folder is
// taken by the start event, decoded camera by camera and delivered.
TEST_F(HotFolderChainTest, DeliversAShootThatIsAlreadyInTheHotFolderWhenStarted)
{
    const HotFolderChain::Options o = useRealFolders(QStringLiteral("yyyy-MM-dd"));
    ShootSpec spec = shootSpec(2, 2);
    spec.cameras = {nikonCamera(), canonCamera()};
    spec.interleave = true;
    spec.photosBeforeFirstCard = 1;
    const std::optional<Shoot> shoot = writeShoot(hot, spec);
    ASSERT_TRUE(shoot);
    Settings::shared().setValue(cPrefOriginalNameFormatTag, shoot->nameFormatTag());
    HotFolderWatch watch(hot, o, 0.05);
    watch.setRun(true);

    ASSERT_TRUE(waitUntil([&] { return watch.chain().batchesRun() >= 1; }, 30000));
    watch.setRun(false);
    drainQueue();

    const QString daily = QDir(main).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
    EXPECT_EQ(lines(filesBelow(main)), lines(deliveredPaths({*shoot}, daily)));
    // Two cards a camera: both are kept for the next batch.
    QStringList cards;
    for (const ShootPhoto &photo : shoot->photos) {
        if (photo.isCard)
            cards << photo.expectedName;
    }
    EXPECT_EQ(lines(QDir(source).entryList(QDir::Files, QDir::Name)), sortedLines(cards));
    EXPECT_TRUE(QDir(hot).entryList(QDir::Files).isEmpty());
}

// Hot folder mode switched on over a source folder that holds a shoot
// never decoded (copied from a card): the next batch reads their cards
// first, instead of sweeping them all into UNASSIGNED_PHOTOS unread.
TEST_F(HotFolderChainTest, PhotosFoundUndecodedInTheSourceFolderAreReadBeforeTheirDelivery)
{
    HotFolderChain::Options o = useRealFolders(QStringLiteral("'day'"));

    // 20 photos, 5 of them readable cards, already in the source folder.
    ShootSpec before = shootSpec(5, 3);
    const std::optional<Shoot> undecoded = writeShoot(source, before);
    ASSERT_TRUE(undecoded);
    ASSERT_EQ(undecoded->photos.size(), 20);
    Settings::shared().setValue(cPrefOriginalNameFormatTag, undecoded->nameFormatTag());
    // The next batch, an hour later, through the hot folder.
    ShootSpec next = shootSpec(1, 1);
    next.codes = {QStringLiteral("T001")};
    next.firstFrameNumber = 101;
    next.start = undecoded->photos.last().captureTime.addSecs(3600);
    const QString staging = makeTempFolder(QStringLiteral("staging"));
    const std::optional<Shoot> batch = writeShoot(staging, next);
    ASSERT_TRUE(batch);

    QStringList reports;
    o.report = [&](const QString &line) {
        std::lock_guard lock(mutex);
        reports << line;
    };
    HotFolderWatch watch(hot, o, 0.05);
    watch.setRun(true);
    for (const QString &name : batch->fileNames())
        ASSERT_TRUE(QFile::rename(staging + QLatin1Char('/') + name, hot + QLatin1Char('/') + name));
    ASSERT_TRUE(waitUntil([&] { return watch.chain().batchesRun() >= 1 && QDir(hot).isEmpty(); }, 60000));
    watch.setRun(false);
    drainQueue();

    EXPECT_EQ(lines(filesBelow(main)), lines(deliveredPaths({*undecoded, *batch}, QStringLiteral("day"))));
    // The newest two cards stay for the next batch; the others went once
    // their subjects had.
    EXPECT_EQ(lines(QDir(source).entryList(QDir::Files, QDir::Name)),
              lines(QStringList{undecoded->photos.at(16).expectedName, batch->photos.at(0).expectedName}));
    std::lock_guard lock(mutex);
    EXPECT_EQ(reports.filter(QStringLiteral("decode: 20 photo(s) found in the source folder under camera names")).size(), 1)
        << lines(reports);
}

} // namespace
