#pragma once
// What the window benchmarks share: waiting while the event loop runs, and
// the longest stall of the GUI thread (how late a 10 ms timer fires).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace sorrelby::bench {

inline bool spinUntil(const std::function<bool()> &pred, int timeoutMs = 300000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

class StallMeter : public QObject {
public:
    StallMeter()
    {
        m_timer.setInterval(10);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worst = std::max(m_worst, (now - m_last) / 1e6 - 10.0);
            m_last = now;
        });
    }
    void start()
    {
        m_worst = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    // The longest stall since start(), in milliseconds.
    double stop()
    {
        m_timer.stop();
        return std::max(0.0, m_worst);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_worst = 0;
};

} // namespace sorrelby::bench
