#include "platform/Dispatch.h"
#include "tests/testkit/TestEnvironment.h"

#include <QThread>

#include <atomic>
#include <gtest/gtest.h>

using namespace sorrelby;

TEST(Dispatch, SerialQueueRunsJobsOneAtATimeInOrderOffTheMainThread)
{
    SerialQueue queue(QStringLiteral("com.halvane.vemo.sorrelby.decodequeue"));
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> onMain{false};
    for (int i = 0; i < 50; ++i) {
        queue.async([&, i] {
            if (running.fetch_add(1) != 0)
                overlapped = true;
            if (mainqueue::isCurrent())
                onMain = true;
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    queue.sync([] {});
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[size_t(i)], i);
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(onMain);
}

TEST(Dispatch, DelayedJobsAndHopsToTheMainThread)
{
    SerialQueue queue(QStringLiteral("q"));
    std::atomic<int> step{0};
    std::atomic<bool> ranOnMain{false};
    queue.after(0.05, [&] {
        EXPECT_TRUE(queue.isCurrent());
        step = 2;
        mainqueue::async([&] { ranOnMain = mainqueue::isCurrent(); });
    });
    queue.async([&] { step = 1; });
    EXPECT_TRUE(testkit::waitUntil([&] { return ranOnMain.load(); }, 3000));
    EXPECT_EQ(step.load(), 2);
}
