#include "shoot/TimeLeft.h"

#include <QElapsedTimer>

#include <cmath>

namespace sorrelby {

namespace {

qint64 monotonicMsecs()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

} // namespace

TimeLeft::TimeLeft(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(monotonicMsecs))
{ }

void TimeLeft::restart()
{
    m_startMsecs.reset();
    m_startDone = 0;
    m_shown.reset();
}

void TimeLeft::update(int done, int total)
{
    const qint64 now = m_clock();
    if (!m_startMsecs || done < m_startDone) {
        // Timed from the first report: its photo's time is not known.
        m_startMsecs = now;
        m_startDone = done;
        m_shown.reset();
        return;
    }
    const int counted = done - m_startDone;
    const qint64 elapsed = now - *m_startMsecs;
    if (counted < cPhotosBeforeEstimate || elapsed < cMsecsBeforeEstimate || total <= 0)
        return;
    // The average since the step began: one slow photo (a card, a large
    // RAW) moves it little.
    const double perPhoto = double(elapsed) / counted;
    const qint64 estimate = qint64(std::ceil(perPhoto * std::max(0, total - done) / 1000.0));
    // Down freely (time passes); up only by a quarter or more.
    if (!m_shown || estimate <= *m_shown || estimate >= *m_shown * 5 / 4 + 2)
        m_shown = estimate;
}

QString TimeLeft::text() const
{
    return m_shown ? describeTimeLeft(*m_shown) : QString();
}

QString describeTimeLeft(qint64 seconds)
{
    if (seconds < 10)
        return QStringLiteral("A few seconds left");
    const qint64 fives = (seconds + 4) / 5 * 5;
    if (fives < 60)
        return QStringLiteral("About %1 s left").arg(fives);
    if (seconds < 3600) {
        const qint64 minutes = (seconds + 30) / 60;
        return QStringLiteral("About %1 min left").arg(std::max<qint64>(1, minutes));
    }
    const qint64 minutes = (seconds + 30) / 60;
    return QStringLiteral("About %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

} // namespace sorrelby
