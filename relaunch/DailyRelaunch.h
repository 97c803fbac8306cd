#pragma once
// The two halves of the daily quit and relaunch that run inside the
// application object: the one-shot timer that fires at the relaunch date,
// and the wait for a quiet moment before the process is ended. Both live on
// the main thread and are owned by the application object.

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace sorrelby {

class SerialQueue;

using Clock = std::function<QDateTime()>;

// A one-shot timer for a wall-clock date. It wakes at least once a minute
// and compares the clock with the date, so a clock that is set, a daylight
// saving change or a suspended machine cannot make it fire at another time.
class DailyRelaunchTimer : public QObject {
    Q_OBJECT
public:
    DailyRelaunchTimer(const QDateTime &due, Clock clock, std::function<void()> fire, QObject *parent = nullptr);

    QDateTime dueDate() const { return m_due; }
    bool isArmed() const { return m_timer.isActive(); }

    // The longest single wait before the clock is read again.
    static constexpr int cLongestWaitMs = 60 * 1000;

private:
    void arm();
    void check();

    QDateTime m_due;
    Clock m_clock;
    std::function<void()> m_fire;
    QTimer m_timer;
};

struct QuietMomentTiming {
    double pollInterval = 1.0;  // between looks at a busy work queue
    double longestWait = 600.0; // then the relaunch is skipped for the day
    double longestHold = 30.0;  // the work queue is held this long for the main thread
};

// Waits until the work queue has nothing to run and no intake pass is in
// hand, then holds the queue (no job can start) and calls idle on the main
// thread; when idle returns, the queue is let go. Gives up after the
// longest wait and calls gaveUp instead. Destroying it stops the wait.
class QuietMoment {
public:
    QuietMoment(SerialQueue &workQueue, const std::atomic<bool> &processingHotFolder, QuietMomentTiming timing, std::function<void()> idle,
                std::function<void()> gaveUp);
    ~QuietMoment();
    QuietMoment(const QuietMoment &) = delete;
    QuietMoment &operator=(const QuietMoment &) = delete;

    struct State;

private:
    std::shared_ptr<State> d;
};

} // namespace sorrelby
