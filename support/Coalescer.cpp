#include "support/Coalescer.h"

#include <QHash>

#include <memory>

namespace sorrelby {

namespace {

SerialQueue &coalescingQueue()
{
    // Never destroyed: delayed bookkeeping may still be pending at exit.
    static SerialQueue *queue = new SerialQueue(QStringLiteral("com.truvo.coalescing"));
    return *queue;
}

// Pending calls per key; a key is present only while calls are pending.
// Touched on the coalescing queue only.
QHash<QString, int> &pendingCalls()
{
    static QHash<QString, int> counts;
    return counts;
}

bool hasLeadingEdge(RunWhen when)
{
    return (int(when) & int(RunWhen::Leading)) != 0;
}

bool hasTrailingEdge(RunWhen when)
{
    return (int(when) & int(RunWhen::Trailing)) != 0;
}

} // namespace

void QueueRef::async(Job job) const
{
    if (serial)
        serial->async(std::move(job));
    else
        mainqueue::async(std::move(job));
}

void runOnceForKey(const QString &key, QueueRef queue, double seconds, RunWhen when, Job job)
{
    // Both edges may need the job; share one copy between them.
    auto shared = std::make_shared<Job>(std::move(job));
    SerialQueue &bookkeeping = coalescingQueue();

    bookkeeping.async([key, queue, when, shared] {
        int &count = pendingCalls()[key];
        if (count == 0 && hasLeadingEdge(when))
            queue.async(*shared);
        ++count;
    });

    // Scheduled from here, not from the job above, so the wait counts from
    // the call itself.
    bookkeeping.after(seconds, [key, queue, when, shared] {
        auto &counts = pendingCalls();
        const auto it = counts.find(key);
        if (it == counts.end())
            return;
        if (it.value() != 1) {
            --it.value();
            return;
        }
        counts.erase(it);
        if (hasTrailingEdge(when))
            queue.async(*shared);
    });
}

void runOnceForKeyCollectingFor(const QString &key, QueueRef queue, double seconds, Job job)
{
    runOnceForKey(key, queue, seconds, RunWhen::Leading, std::move(job));
}

void runOnceForKeyAfterWaiting(const QString &key, QueueRef queue, double seconds, Job job)
{
    runOnceForKey(key, queue, seconds, RunWhen::Trailing, std::move(job));
}

void runOnceForKeyBeforeAndAfter(const QString &key, QueueRef queue, double seconds, Job job)
{
    runOnceForKey(key, queue, seconds, RunWhen::LeadingAndTrailing, std::move(job));
}

} // namespace sorrelby
