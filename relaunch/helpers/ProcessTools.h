#pragma once
// Plain POSIX pieces shared by the two helper executables, "watchdog" and
// "relaunch": waiting for another process to end through its pidfd, reading
// what it was started with, starting a program detached from us, and log
// lines in the application's own log format. No Qt: the helpers must start
// in a few milliseconds and outlive the application they watch.

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sorrelby::helpers {

// A pidfd for pid (close-on-exec), or -1 with errno set.
int openPidfd(pid_t pid);

// Waits until the process behind pidfd has ended (for ever when
// timeoutMs < 0). Returns whether it has.
bool waitForEnd(int pidfd, int timeoutMs = -1);

// The executable of a running process, without the " (deleted)" that an
// upgraded binary leaves behind; empty when unknown.
std::string executableOf(pid_t pid);
// Its command line, argv[0] first.
std::vector<std::string> commandLineOf(pid_t pid);

// How a process that has ended but was not yet reaped ended, from its
// /proc entry: "signal N (name)" or "exit status N"; none when the entry is
// gone (reaped already) or the process still runs.
std::optional<std::string> zombieStatusOf(pid_t pid);

// "signal 11 (SIGSEGV)".
std::string describeSignal(int signo);

// Starts program with argv (argv[0] first) in a session of its own, with
// standard input and output on /dev/null and standard error shared with
// us; our environment and working folder go with it. Returns the new
// process id, or -1 when the program could not be executed (errno set).
pid_t spawnDetached(const std::string &program, const std::vector<std::string> &argv);

// "2026-12-07 02:30:00.123" in local time.
std::string timestamp();

// One line to standard error (the application's log file, which it
// shares), as "<timestamp> <name>[<pid>] text".
void logLine(const char *name, const std::string &text);

} // namespace sorrelby::helpers
