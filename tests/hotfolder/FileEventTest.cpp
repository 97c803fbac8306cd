// The folder watcher: the start event, changes, and a watched folder that is
// deleted and made again. Latency and re-check interval are short;
// nothing here depends on how long a step takes.

#include "tests/testkit/fixtures/FileEventScene.h"

using namespace sorrelby::testkit::fileevent;

namespace {

TEST(FileEventTest, StartEventAtOnceThenChanges)
{
    const QString folder = makeTempFolder(QStringLiteral("hot"));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/IMG_0001.JPG"), "already there"));
    Recorder recorder;
    TRUVO_FileEvent watcher(QStringList{folder}, 0.05);
    watcher.setEventBlock(recorder.block());

    watcher.setRun(true);
    ASSERT_TRUE(waitUntil([&] { return recorder.count() == 1; }));
    EXPECT_TRUE(watcher.isRunning());
    const Event start = recorder.events()[0];
    ASSERT_TRUE(start.paths);
    EXPECT_EQ(*start.paths, QStringList{folder});
    EXPECT_FALSE(start.flags);

    for (int i = 2; i <= 6; ++i)
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/IMG_000%1.JPG").arg(i), "new"));
    ASSERT_TRUE(waitUntil([&] { return recorder.count() >= 2; }));
    const Event change = recorder.events()[1];
    ASSERT_TRUE(change.paths);
    EXPECT_TRUE(change.paths->contains(folder));
    ASSERT_TRUE(change.flags);
    EXPECT_EQ(change.flags->size(), change.paths->size());

    watcher.setRun(false);
    ASSERT_TRUE(waitUntil([&] { return !watcher.isRunning(); }));
}

TEST(FileEventTest, WatchesAFolderAgainOnceItIsMadeAgain)
{
    const QString root = makeTempFolder(QStringLiteral("root"));
    const QString folder = root + QStringLiteral("/hot");
    ASSERT_TRUE(QDir().mkpath(folder));
    Recorder recorder;
    TRUVO_FileEvent watcher(QStringList{folder}, 0.05);
    watcher.setReappearanceCheckInterval(0.05);
    watcher.setEventBlock(recorder.block());
    watcher.setRun(true);
    ASSERT_TRUE(waitUntil([&] { return recorder.count() == 1; }));

    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(waitUntil([&] { return recorder.count() >= 2; })); // the deletion
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(waitUntil([&] { return recorder.count() >= 3; })); // the new folder
    const size_t before = recorder.count();
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/IMG_0001.JPG"), "into the new folder"));
    EXPECT_TRUE(waitUntil([&] { return recorder.count() > before; }));
}

TEST(FileEventTest, MissingFolderAtStartIsWatchedWhenItAppears)
{
    const QString root = makeTempFolder(QStringLiteral("root"));
    const QString folder = root + QStringLiteral("/later");
    Recorder recorder;
    TRUVO_FileEvent watcher(QStringList{folder}, 0.05);
    watcher.setReappearanceCheckInterval(0.05);
    watcher.setEventBlock(recorder.block());
    watcher.setRun(true);
    // The pause goes through the watcher's queue behind the start: once it
    // shows, the start is over and has found the folder missing.
    watcher.setPaused(true);
    ASSERT_TRUE(waitUntil([&] { return watcher.isRunning() && watcher.isPaused(); }));
    watcher.setPaused(false);
    ASSERT_TRUE(waitUntil([&] { return !watcher.isPaused(); }));
    EXPECT_EQ(recorder.count(), 0u); // nothing to watch yet: no start event
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(waitUntil([&] { return recorder.count() >= 1; }));
}

} // namespace
