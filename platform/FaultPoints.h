#pragma once
// Numbered file-changing steps, so that a test can stop a real process at
// any one of them: every step that the file operations take on disk (a
// rename, a link, an unlink, a new folder, a flushed copy, a trash info
// file) is counted, and a plan can SIGKILL the process right after step N,
// SIGSTOP it there (the test then changes the world and continues it), or
// make every step from N on fail with a given errno (a full disk, a
// read-only or vanished volume).
//
// The plan comes from the environment (read once) or from setPlan() in a
// test's own process; without one, each hook is one relaxed atomic load.
// Thread-safe.

#include <QByteArray>
#include <QString>

namespace sorrelby::faults {

// Environment variables of a plan (numbers count steps from 1).
inline constexpr char cKillAfterVar[] = "SORRELBY_FAULT_KILL_AFTER";
inline constexpr char cStopAfterVar[] = "SORRELBY_FAULT_STOP_AFTER";
inline constexpr char cFailAfterVar[] = "SORRELBY_FAULT_FAIL_AFTER"; // steps after this one fail
inline constexpr char cErrnoVar[] = "SORRELBY_FAULT_ERRNO";          // ENOSPC (default), EIO, EROFS, ENOENT
inline constexpr char cStepLogVar[] = "SORRELBY_FAULT_STEP_LOG";     // a file: one line per step

struct Plan {
    int killAfter = 0;  // 0: never
    int stopAfter = 0;  // 0: never
    int failAfter = -1; // -1: never; 0: every step fails
    int error = 0;      // errno of failing steps (ENOSPC when 0)
    QString stepLog;    // empty: no log
};

// Replaces the plan (and restarts the count); for tests in their own process.
void setPlan(const Plan &plan);

// A file-changing step is about to be taken: the errno it must fail with
// under the plan, or 0. Also asked before writing data, so that a full disk
// shows in the middle of a copy.
int before();

// A file-changing step was taken: counts it, logs it, and kills or stops the
// process here when the plan says so.
void after(const char *what, const QByteArray &path);

// Steps taken so far in this process.
int stepsTaken();

// An errno name of a plan ("ENOSPC") as its number; 0 when unknown.
int errnoFromName(const QString &name);

} // namespace sorrelby::faults
