#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

namespace sorrelby {

namespace {

int toMilliseconds(double seconds)
{
    return seconds <= 0 ? 0 : static_cast<int>(std::lround(seconds * 1000.0));
}

void postTo(QObject *context, Job job)
{
    QMetaObject::invokeMethod(context, std::move(job), Qt::QueuedConnection);
}

void postAfter(QObject *context, double seconds, Job job)
{
    // Timers must be started on the thread they belong to: hop there first.
    const int ms = toMilliseconds(seconds);
    postTo(context, [context, ms, job = std::move(job)]() mutable { QTimer::singleShot(ms, Qt::PreciseTimer, context, std::move(job)); });
}

void runAndWait(QObject *context, const Job &job)
{
    if (context->thread() == QThread::currentThread()) {
        job();
        return;
    }
    QMetaObject::invokeMethod(context, job, Qt::BlockingQueuedConnection);
}

QObject *mainContext()
{
    // A QObject owned by the application, living on the main thread.
    static QObject *context = [] {
        auto *app = QCoreApplication::instance();
        Q_ASSERT_X(app, "mainqueue", "a QCoreApplication must exist");
        // Parentless, because the first use may come from a worker thread,
        // where an object cannot be given a parent on the main thread.
        auto *obj = new QObject;
        if (obj->thread() != app->thread())
            obj->moveToThread(app->thread());
        return obj;
    }();
    return context;
}

struct FileWorkQueues {
    std::mutex mutex;
    std::vector<const SerialQueue *> queues;
};

FileWorkQueues &fileWorkQueues()
{
    static FileWorkQueues registry;
    return registry;
}

} // namespace

struct SerialQueue::Private {
    QString label;
    QThread thread;
    QObject *worker = nullptr;
    std::atomic<int> pending{0};

    // The job, counted from now until it has run.
    Job counted(Job job)
    {
        pending.fetch_add(1);
        return [this, job = std::move(job)] {
            job();
            pending.fetch_sub(1);
        };
    }
};

SerialQueue::SerialQueue(const QString &label)
    : d(std::make_unique<Private>())
{
    d->label = label;
    d->thread.setObjectName(label.right(15)); // thread names are cut at 15 bytes
    d->worker = new QObject;
    d->worker->moveToThread(&d->thread);
    QObject::connect(&d->thread, &QThread::finished, d->worker, &QObject::deleteLater);
    d->thread.start();
}

SerialQueue::~SerialQueue()
{
    setChangesFiles(false);
    d->thread.quit();
    d->thread.wait();
}

QString SerialQueue::label() const
{
    return d->label;
}

void SerialQueue::async(Job job)
{
    postTo(d->worker, d->counted(std::move(job)));
}

void SerialQueue::after(double seconds, Job job)
{
    Private *p = d.get();
    postAfter(d->worker, seconds, [p, job = std::move(job)]() mutable { p->counted(std::move(job))(); });
}

void SerialQueue::sync(const Job &job)
{
    if (isCurrent()) {
        job();
        return;
    }
    runAndWait(d->worker, d->counted(job));
}

int SerialQueue::pendingJobs() const
{
    return d->pending.load();
}

bool SerialQueue::isCurrent() const
{
    return QThread::currentThread() == &d->thread;
}

QObject *SerialQueue::context() const
{
    return d->worker;
}

void SerialQueue::setChangesFiles(bool on)
{
    FileWorkQueues &registry = fileWorkQueues();
    std::lock_guard lock(registry.mutex);
    std::erase(registry.queues, this);
    if (on)
        registry.queues.push_back(this);
}

SerialQueue &sharedWorkingQueue()
{
    static SerialQueue *queue = [] {
        auto *made = new SerialQueue(QString(cWorkingQueueLabel));
        made->setChangesFiles(true);
        return made;
    }();
    return *queue;
}

namespace filework {

QStringList busyQueues(const SerialQueue *except)
{
    FileWorkQueues &registry = fileWorkQueues();
    std::lock_guard lock(registry.mutex);
    QStringList busy;
    for (const SerialQueue *queue : registry.queues) {
        if (queue != except && queue->pendingJobs() > 0)
            busy << queue->label();
    }
    return busy;
}

void waitUntilIdle(const std::function<void(const QStringList &busy)> &waiting)
{
    QDeadlineTimer nextNote(0);
    for (QStringList busy = busyQueues(); !busy.isEmpty(); busy = busyQueues()) {
        if (waiting && nextNote.hasExpired()) {
            waiting(busy);
            nextNote.setRemainingTime(10000);
        }
        if (mainqueue::isCurrent())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

} // namespace filework

namespace mainqueue {

void async(Job job)
{
    postTo(mainContext(), std::move(job));
}

void after(double seconds, Job job)
{
    postAfter(mainContext(), seconds, std::move(job));
}

void sync(const Job &job)
{
    runAndWait(mainContext(), job);
}

bool isCurrent()
{
    auto *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void runOrAsync(Job job)
{
    if (isCurrent())
        job();
    else
        async(std::move(job));
}

} // namespace mainqueue

namespace globalqueue {

void async(Job job)
{
    QThreadPool::globalInstance()->start(std::move(job));
}

} // namespace globalqueue

} // namespace sorrelby
