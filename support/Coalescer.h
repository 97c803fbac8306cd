#pragma once
// Keyed coalescing: a burst of calls naming the same job by a text key runs
// the job once, at the first call of the burst, the waiting time after the
// last call, or both. The bookkeeping lives on one private serial queue, so
// calls may come from any thread; jobs run on the queue the caller names.

#include "platform/Dispatch.h"

#include <QString>

namespace sorrelby {

// Where a coalesced job runs: a serial queue, or the main queue when null.
// The queue must outlive the calls pending on it.
struct QueueRef {
    QueueRef(SerialQueue *queue = nullptr)
        : serial(queue)
    { }
    void async(Job job) const;

    SerialQueue *serial = nullptr;
};

enum class RunWhen : int {
    Leading = 1,            // at the first call of a burst
    Trailing = 2,           // once, the waiting time after the last call
    LeadingAndTrailing = 3, // both
};

// Every call counts itself in for `seconds`. A burst ends when no call has
// been counted in for `seconds`; the trailing job is the one passed with the
// last call of the burst, the leading job the one passed with the first.
void runOnceForKey(const QString &key, QueueRef queue, double seconds, RunWhen when, Job job);

void runOnceForKeyCollectingFor(const QString &key, QueueRef queue, double seconds, Job job);
void runOnceForKeyAfterWaiting(const QString &key, QueueRef queue, double seconds, Job job);
void runOnceForKeyBeforeAndAfter(const QString &key, QueueRef queue, double seconds, Job job);

} // namespace sorrelby
