#pragma once
// The time an operation still needs, from the rate of the photos done so far
// in its current step, in words a person reads at a glance ("About 3 min
// left"). Nothing is said until a few photos are done, and the figure shown
// does not creep up by a little: a person reads a figure going up and down
// as nonsense, so a rise is shown only once it is a real one.
//
// A plain value owned by whoever shows the progress; one thread.

#include <QString>

#include <functional>
#include <optional>

namespace sorrelby {

class TimeLeft {
public:
    // Milliseconds of a monotonic clock (tests give their own).
    using Clock = std::function<qint64()>;

    explicit TimeLeft(Clock clock = {});

    // A new step begins: what came before says nothing about its rate.
    void restart();
    // done of total photos are handled in the step.
    void update(int done, int total);

    // None until the rate is known.
    std::optional<qint64> secondsLeft() const { return m_shown; }
    // "About 3 min left"; empty while unknown.
    QString text() const;

    // Photos and time that must pass before a figure is shown.
    static constexpr int cPhotosBeforeEstimate = 3;
    static constexpr qint64 cMsecsBeforeEstimate = 1500;

private:
    Clock m_clock;
    std::optional<qint64> m_startMsecs;
    int m_startDone = 0;
    std::optional<qint64> m_shown;
};

// Seconds in words, rounded as a person would say them.
QString describeTimeLeft(qint64 seconds);

} // namespace sorrelby
