#pragma once
// Keeps the application running on an unattended station: a small helper
// process ("watchdog", beside the executable) waits for this process to end
// and starts it again with "--autorelaunched", unless we said we quit in
// order. A start by the watchdog is counted in "recentLaunchDates"; too many
// within a short time is a crash loop, and the next start is not watched.
// Class operations only, for the whole process; main thread, except the
// signal handlers, which only do what is safe inside one.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace sorrelby {

class Watchdog {
public:
    Watchdog() = delete;

    // Asked in a crash loop with the number of launches and the interval
    // they took; true keeps watching all the same.
    using EscapeBlock = std::function<bool(int launches, double interval)>;

    static constexpr const char *cAutorelaunchedArgument = "--autorelaunched";
    static constexpr const char *cRecentLaunchDatesKey = "recentLaunchDates";

    // Runs handler on the main thread whenever signo arrives (instead of its
    // default action). Returns false, with a log line, when it cannot.
    static bool catchSignal(int signo, std::function<void()> handler);
    // Once: SIGHUP is logged and ignored, SIGTERM quits in order, SIGPIPE is
    // ignored, and the other signals up to 15 (but 9) end the process at once
    // with the signal's number as exit status, so that the watchdog starts it
    // again.
    static void catchCrashSignals();

    // Starts the watchdog, once per process, and stops it again when the
    // application quits in order. Logs when the helper is missing.
    static void keepUsRunning();
    static void stopKeepingUsRunning();
    // A watchdog has answered that it watches us and has not ended since.
    static bool isKeepingUsRunning();

    // The start-up decision: an ordinary start clears the history and is
    // watched; a start by the watchdog is watched unless `launches` such
    // starts came within `seconds` and escape does not insist.
    static void autoRelaunchUnless(int launches, double seconds, const EscapeBlock &escape);
    // The same decision for the given arguments and time, with the history
    // kept in the settings; returns whether to watch.
    static bool shouldKeepRunning(const QStringList &arguments, const QDateTime &now, int launches, double seconds,
                                  const EscapeBlock &escape);

    // Ends the process at once with status 0, past the orderly quit, so the
    // watchdog starts it again. Returns (false) only when no watchdog could
    // be started: the process then keeps running.
    static bool quitAndRelaunch();
};

} // namespace sorrelby
