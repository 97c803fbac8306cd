#include "relaunch/DailyRelaunch.h"

#include "platform/Dispatch.h"

#include <QDeadlineTimer>
#include <QSemaphore>

#include <algorithm>

namespace sorrelby {

DailyRelaunchTimer::DailyRelaunchTimer(const QDateTime &due, Clock clock, std::function<void()> fire, QObject *parent)
    : QObject(parent)
    , m_due(due)
    , m_clock(std::move(clock))
    , m_fire(std::move(fire))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DailyRelaunchTimer::check);
    arm();
}

void DailyRelaunchTimer::arm()
{
    const qint64 remaining = m_clock().msecsTo(m_due);
    m_timer.start(int(std::clamp<qint64>(remaining, 0, cLongestWaitMs)));
}

void DailyRelaunchTimer::check()
{
    if (m_clock() < m_due) {
        arm();
        return;
    }
    m_fire();
}

struct QuietMoment::State : std::enable_shared_from_this<State> {
    enum Phase { Waiting, Probing, Held, Done };

    SerialQueue *queue = nullptr;
    const std::atomic<bool> *processing = nullptr;
    QuietMomentTiming timing;
    std::function<void()> idle;
    std::function<void()> gaveUp;
    QDeadlineTimer deadline;
    std::atomic<int> phase{Waiting};
    QSemaphore release;

    void look()
    {
        if (phase.load() != Waiting)
            return;
        if (deadline.hasExpired()) {
            expire();
            return;
        }
        if (processing->load()) {
            lookAgainLater();
            return;
        }
        phase = Probing;
        // Runs between two jobs of the queue. Nothing else waiting means
        // idle; holding the queue then keeps any new job from starting.
        queue->async([self = shared_from_this()] {
            if (self->phase.load() != Probing)
                return;
            if (self->queue->pendingJobs() > 1 || self->processing->load()) {
                int probing = Probing;
                if (self->phase.compare_exchange_strong(probing, Waiting))
                    self->lookAgainLater();
                return;
            }
            int probing = Probing;
            if (!self->phase.compare_exchange_strong(probing, Held))
                return;
            mainqueue::async([self] { self->whileHeld(); });
            // A main thread that never comes (it waits for this queue) must
            // not hold the queue for ever: then it is let go and looked at
            // again.
            if (!self->release.tryAcquire(1, int(self->timing.longestHold * 1000))) {
                int held = Held;
                if (self->phase.compare_exchange_strong(held, Waiting))
                    self->lookAgainLater();
            }
        });
    }

    // The longest wait is over also while a probe waits behind a long job.
    void expire()
    {
        for (int from : {Waiting, Probing}) {
            if (phase.compare_exchange_strong(from, Done)) {
                gaveUp();
                return;
            }
        }
    }

    void lookAgainLater()
    {
        mainqueue::after(timing.pollInterval, [weak = weak_from_this()] {
            if (auto self = weak.lock())
                self->look();
        });
    }

    void whileHeld()
    {
        // A card copy or a reassign on a queue of its own must end first too.
        // Only this thread starts their jobs, so none can start before idle().
        if (!filework::busyQueues(queue).isEmpty()) {
            int held = Held;
            if (phase.compare_exchange_strong(held, Waiting)) {
                release.release();
                lookAgainLater();
            }
            return;
        }
        int held = Held;
        if (!phase.compare_exchange_strong(held, Done))
            return; // let go meanwhile (or stopped)
        idle();
        release.release();
    }
};

QuietMoment::QuietMoment(SerialQueue &workQueue, const std::atomic<bool> &processingHotFolder, QuietMomentTiming timing,
                         std::function<void()> idle, std::function<void()> gaveUp)
    : d(std::make_shared<State>())
{
    d->queue = &workQueue;
    d->processing = &processingHotFolder;
    d->timing = timing;
    d->idle = std::move(idle);
    d->gaveUp = std::move(gaveUp);
    d->deadline = QDeadlineTimer(qint64(timing.longestWait * 1000));
    mainqueue::after(timing.longestWait, [weak = std::weak_ptr<State>(d)] {
        if (auto self = weak.lock())
            self->expire();
    });
    d->look();
}

QuietMoment::~QuietMoment()
{
    d->phase = State::Done;
    d->release.release();
}

} // namespace sorrelby
