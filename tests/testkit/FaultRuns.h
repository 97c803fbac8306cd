#pragma once
// Faults for commands that change files: a real process run with a fault
// plan (see platform/FaultPoints.h), killed after each of its file-changing
// steps in turn, stopped at a step so that the test can pull a folder away,
// or failing from a step on with a full disk or a read-only volume. And a
// census of file contents, to tell a photo lost or doubled from one moved.

#include "tests/testkit/TestEnvironment.h"

#include <QMultiMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace sorrelby::testkit {

struct FaultPlan {
    int killAfter = 0;  // SIGKILL right after this step (0: never)
    int stopAfter = 0;  // SIGSTOP right after this step (0: never)
    int failAfter = -1; // the steps after this one fail (-1: never)
    QString error;      // "ENOSPC" (default), "EIO", "EROFS", "ENOENT"
    QString stepLog;    // a file that gets one line per step
};

// The environment of a run under the plan, on top of `base` (the test's own when empty).
QProcessEnvironment faultEnvironment(const FaultPlan &plan, const QProcessEnvironment &base = {});

// Runs a program under a plan to its end (a SIGKILL shows as crashed, exit code 9).
ProgramRun runWithFaults(const QString &program, const QStringList &args, const FaultPlan &plan, int timeoutMs = 60000,
                         const QProcessEnvironment &base = {});

// The file-changing steps of one undisturbed run, one line each: "N what path".
QStringList stepsOf(const QString &program, const QStringList &args, int timeoutMs = 60000, const QProcessEnvironment &base = {});

// Runs a program stopped after step `step`; `meanwhile` runs while it is
// stopped (take a folder away, fill a disk), then it goes on to its end.
// A run that ends before the step just ends.
ProgramRun runStoppedAfter(const QString &program, const QStringList &args, int step, const std::function<void()> &meanwhile,
                           int timeoutMs = 60000, const QProcessEnvironment &base = {});

// A command killed after each of its steps in turn. For every point the
// scene is made afresh by prepare(), the command runs with the kill planned,
// and restartAndCheck(point) restarts what a user would restart and returns
// what it found wrong (empty: clean).
struct KillSweep {
    QString program;
    QStringList args;
    std::function<void()> prepare;
    std::function<QStringList(int point)> restartAndCheck;
    QProcessEnvironment environment; // the test's own when empty
    int timeoutMs = 60000;
    int maxPoints = 500;
};

struct KillSweepReport {
    int points = 0;       // steps of the undisturbed run
    int killed = 0;       // runs that died at their point
    QStringList problems; // "point N (what): problem"
    QStringList steps;    // the undisturbed run's steps
};

KillSweepReport runKillSweep(const KillSweep &sweep);

// SHA-1 of a file's bytes (hex); empty when it cannot be read.
QByteArray contentDigest(const QString &path);

// Digest → path of every regular file below the folders (hidden ones too).
QMultiMap<QByteArray, QString> contentCensus(const QStringList &folders);

// Every file below `folder` removed and the folder made again, empty.
void resetFolder(const QString &folder);

} // namespace sorrelby::testkit
