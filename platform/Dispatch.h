#pragma once
// Serial queues and the main queue. A SerialQueue is one thread with its own
// event loop; jobs submitted to it run one at a time in submission order. The
// main queue is the thread of the QCoreApplication. Global work goes to a
// shared QThreadPool.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QThread;
class QObject;

namespace sorrelby {

using Job = std::function<void()>;

class SerialQueue {
public:
    explicit SerialQueue(const QString &label);
    // Lets already queued jobs finish, then stops the thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    QString label() const;
    void async(Job job);
    void after(double seconds, Job job);
    // Runs the job on the queue and waits for it (runs it at once when called
    // from the queue itself).
    void sync(const Job &job);
    bool isCurrent() const;
    // Jobs submitted and not finished yet (delayed jobs count once due),
    // the one running included: 1 inside a job means nothing else waits.
    int pendingJobs() const;
    // The QObject living on the queue's thread (a context for Qt connections).
    QObject *context() const;
    // Its jobs rename, move or copy photos: an orderly quit and the daily
    // relaunch wait until it is idle (filework below).
    void setChangesFiles(bool on);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The work queue of the shoot ("com.halvane.vemo.sorrelby.decodequeue"):
// every operation on a source folder (decode, revert, delivery, hot folder
// pass and batch) runs there, one at a time. Process-wide, registered as
// changing files, and never destroyed (coalesced work may still be due at
// exit).
inline constexpr QLatin1StringView cWorkingQueueLabel{"com.halvane.vemo.sorrelby.decodequeue"};
SerialQueue &sharedWorkingQueue();

namespace mainqueue {
void async(Job job);
void after(double seconds, Job job);
// Runs the job on the main thread and waits (at once when already there).
void sync(const Job &job);
bool isCurrent();
// Runs the job at once when on the main thread, else queues it there
// (observers of notifications and settings that touch a window).
void runOrAsync(Job job);
} // namespace mainqueue

// The queues whose jobs change files, taken together.
namespace filework {
// Labels of those with a job submitted or running; `except` is left out
// (a queue asking about the others from one of its own jobs).
QStringList busyQueues(const SerialQueue *except = nullptr);
// Processes the main thread's events (jobs may hop there) until none is busy;
// `waiting` hears which ones are, now and then.
void waitUntilIdle(const std::function<void(const QStringList &busy)> &waiting = {});
} // namespace filework

namespace globalqueue {
// Runs the job on the shared pool of worker threads.
void async(Job job);
} // namespace globalqueue

} // namespace sorrelby
