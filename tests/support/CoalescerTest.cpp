#include "tests/testkit/fixtures/CoalescerScene.h"

using namespace sorrelby::testkit::coalescer;

TEST(Coalescer, TrailingBurstRunsTheLastJobOnceOnTheTargetQueue)
{
    SerialQueue target(QStringLiteral("target"));
    Runs runs;
    for (int id = 1; id <= 3; ++id) {
        runOnceForKeyAfterWaiting(QStringLiteral("refresh"), &target, 0.6, runs.job(id, &target));
        testkit::spinFor(100);
    }
    ASSERT_TRUE(testkit::waitUntil([&] { return runs.count() >= 1; }));
    testkit::spinFor(400);
    EXPECT_EQ(runs.snapshot(), std::vector<int>{3});
    EXPECT_FALSE(runs.offTarget);

    // A single call after the burst is a burst of its own.
    runOnceForKeyAfterWaiting(QStringLiteral("refresh"), &target, 0.05, runs.job(4, &target));
    ASSERT_TRUE(testkit::waitUntil([&] { return runs.count() >= 2; }));
    EXPECT_EQ(runs.snapshot(), (std::vector<int>{3, 4}));
}

TEST(Coalescer, KeysNeverSuppressEachOtherAndCallsMayComeFromAnyThread)
{
    Runs a, b;
    SerialQueue caller(QStringLiteral("caller"));
    for (int id = 1; id <= 3; ++id) {
        caller.async([&, id] {
            runOnceForKeyAfterWaiting(QStringLiteral("a"), nullptr, 0.3, a.job(id));
            runOnceForKeyAfterWaiting(QStringLiteral("b"), nullptr, 0.3, b.job(10 + id));
        });
    }
    ASSERT_TRUE(testkit::waitUntil([&] { return a.count() >= 1 && b.count() >= 1; }));
    testkit::spinFor(400);
    EXPECT_EQ(a.snapshot(), std::vector<int>{3});
    EXPECT_EQ(b.snapshot(), std::vector<int>{13});
    EXPECT_FALSE(a.offTarget); // no queue given: the main queue
}
