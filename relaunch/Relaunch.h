#pragma once
// The relaunch operations of the application: the watchdog at start-up, the
// date of the next daily quit and relaunch, and an immediate relaunch
// through the "relaunch" helper. Class operations only; main thread. Dates
// are computed for a given "now" so that callers can bring their own clock.

#include <QDateTime>
#include <QString>

#include <functional>

namespace sorrelby {

class Relaunch {
public:
    Relaunch() = delete;

    static constexpr int cRelaunchesBeforeEscape = 4;
    static constexpr double cRelaunchWindowSeconds = 30.0;
    static constexpr const char *cDisabledDisplayString = "< Not Setup - Disabled >";

    // Watched by the watchdog unless in a crash loop (4 starts in 30 s).
    static void setupWatchdog();

    // Makes sure a relaunch time is stored ("00:06" the first time), then
    // stores the next relaunch date after now.
    static void setupDefaultLaunchCtlDate(const QDateTime &now);
    // Stores under cPrefNextScheduledTime (and its display text)
    // the next time of day of cPrefDailyScheduledTime2 after now; returns it
    // (invalid when no time is stored).
    static QDateTime convertToNextLaunchCtlDate(const QDateTime &now);
    // The next moment after now, in now's time zone, at the time of day of
    // timeOfDay: today when now is earlier, else tomorrow (the same time of
    // day, also across a daylight saving change).
    static QDateTime convertToNextLaunchCtlDate2(const QDateTime &timeOfDay, const QDateTime &now);

    // How a relaunch date is shown.
    static QString displayString(const QDateTime &date);

    // Hands the restart to the "relaunch" helper (it waits for this process
    // to end, then starts the application again) and quits in order through
    // terminate. Returns false, quitting nothing, when the helper cannot run.
    static bool relaunch(const QString &sender, int launchFlags, const std::function<void()> &terminate);
};

} // namespace sorrelby
