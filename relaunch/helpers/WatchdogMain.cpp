// watchdog PID [LOGFILE]: keeps the application with process id PID running.
// When that process ends while we are still wanted, a crash note goes beside
// the log file and the application starts again with "--autorelaunched":
// the same executable and arguments, our environment and working folder
// (both the application's, which started us). Then we end: the new copy
// starts a watchdog of its own.
//
// Standard input is a socket to the application. We answer "watching" once
// the pidfd is open; it tells us, one line each:
//   "quit"       an orderly quit follows: end without relaunching
//   "relaunch"   it ends for the daily relaunch: relaunch, no crash note
//   "signal N"   it is ending because of signal N (for the crash note)
// Standard error is the application's log file.

#include "relaunch/helpers/ProcessTools.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace sorrelby::helpers;

namespace {

const char *const cName = "watchdog";
const char *const cAutorelaunched = "--autorelaunched";
const size_t cCrashNoteLines = 50;

struct Told {
    bool quit = false;
    bool relaunch = false;
    std::string signal;
};

void takeLine(const std::string &line, Told &told)
{
    if (line == "quit")
        told.quit = true;
    else if (line == "relaunch")
        told.relaunch = true;
    else if (line.rfind("signal ", 0) == 0)
        told.signal = describeSignal(std::atoi(line.c_str() + 7));
}

// Reads what the application has said so far; false once it has closed
// its end.
bool readControl(int fd, std::string &pending, Told &told, bool block)
{
    char buffer[256];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, block ? 0 : MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        pending.append(buffer, static_cast<size_t>(n));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            takeLine(pending.substr(0, end), told);
            pending.erase(0, end + 1);
        }
        if (block)
            return true;
    }
}

std::string defaultLogFile()
{
    const char *state = std::getenv("XDG_STATE_HOME");
    std::string folder = state && *state ? state : std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.local/state";
    return folder + "/Vemo/Sorrelby.log";
}

std::string lastLines(const std::string &path, size_t count)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "(the log file cannot be read: " + std::string(std::strerror(errno)) + ")\n";
    // Log lines are short: the last 256 KiB hold far more than 50 of them.
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const off_t from = std::max<off_t>(0, size - 256 * 1024);
    std::string text(static_cast<size_t>(size - from), '\0');
    const ssize_t n = ::pread(fd, text.data(), text.size(), from);
    ::close(fd);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    size_t start = text.size();
    if (start > 0 && text[start - 1] == '\n')
        --start;
    for (size_t found = 0; start > 0; --start) {
        if (text[start - 1] == '\n' && ++found == count)
            break;
    }
    std::string tail = text.substr(start);
    if (!tail.empty() && tail.back() != '\n')
        tail += '\n';
    return tail;
}

// "<log name>_<date>.crash" beside the log; never replaces a note already
// there (two crashes in one second get "-2", "-3"...).
std::string writeCrashNote(const std::string &logFile, pid_t pid, const std::string &exe, const std::string &status)
{
    const auto slash = logFile.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : logFile.substr(0, slash);
    std::string stem = slash == std::string::npos ? logFile : logFile.substr(slash + 1);
    if (const auto dot = stem.rfind('.'); dot != std::string::npos && dot > 0)
        stem.resize(dot);

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char date[64], when[64];
    std::strftime(date, sizeof date, "%Y-%m-%d_%H-%M-%S", &local);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S %z", &local);

    const std::string note = std::string("Sorrelby ended unexpectedly.\n") + "Process: " + std::to_string(pid) + " " + exe + "\n"
        + "Ended: " + when + "\n" + "How: " + status + "\n" + "\nThe last " + std::to_string(cCrashNoteLines) + " lines of " + logFile
        + ":\n" + lastLines(logFile, cCrashNoteLines);

    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::string path
            = folder + "/" + stem + "_" + date + (attempt > 1 ? "-" + std::to_string(attempt) : std::string()) + ".crash";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            logLine(cName, "cannot write the crash note " + path + ": " + std::strerror(errno));
            return {};
        }
        const bool written = ::write(fd, note.data(), note.size()) == static_cast<ssize_t>(note.size());
        const bool flushed = ::fsync(fd) == 0;
        ::close(fd);
        if (!written || !flushed) {
            logLine(cName, "the crash note " + path + " could not be written whole");
            return {};
        }
        return path;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        logLine(cName, "usage: watchdog PID [LOGFILE]");
        return 2;
    }
    const pid_t pid = static_cast<pid_t>(std::strtol(argv[1], nullptr, 10));
    const std::string logFile = argc > 2 && *argv[2] ? argv[2] : defaultLogFile();
    // A terminal closing or its Ctrl-C must not take us down with the
    // application's process group; an orderly quit says "quit" or sends
    // SIGTERM, which ends us.
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    ::setsid();

    const int pidfd = pid > 0 ? openPidfd(pid) : -1;
    if (pidfd < 0) {
        logLine(cName, "cannot watch PID " + std::string(argv[1]) + ": " + std::strerror(errno));
        return 1;
    }
    const std::string exe = executableOf(pid);
    std::vector<std::string> arguments = commandLineOf(pid);
    // What we read belongs to the process only if it was still running
    // after we read it (its number cannot be reused while it runs).
    if (waitForEnd(pidfd, 0) || exe.empty() || arguments.empty()) {
        logLine(cName, "PID " + std::to_string(pid) + " ended before it could be watched");
        return 1;
    }
    static const char cWatching[] = "watching\n";
    ::send(0, cWatching, sizeof cWatching - 1, MSG_NOSIGNAL);
    logLine(cName, "watching PID " + std::to_string(pid) + " (" + exe + ")");

    Told told;
    std::string pending;
    bool controlOpen = true;
    for (;;) {
        pollfd fds[2] = {{pidfd, POLLIN, 0}, {0, POLLIN, 0}};
        const int n = ::poll(fds, controlOpen ? 2 : 1, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            logLine(cName, std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (controlOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            controlOpen = readControl(0, pending, told, true);
        if (told.quit) {
            logLine(cName, "PID " + std::to_string(pid) + " quits in order; not watching any more");
            return 0;
        }
        if (fds[0].revents & POLLIN)
            break;
    }
    // What it said just before it ended is already in the socket.
    if (controlOpen)
        readControl(0, pending, told, false);
    if (told.quit) {
        logLine(cName, "PID " + std::to_string(pid) + " quit in order; not relaunching");
        return 0;
    }

    if (told.relaunch) {
        logLine(cName, "PID " + std::to_string(pid) + " ended for its daily relaunch");
    } else {
        std::string status = told.signal;
        if (status.empty())
            status = zombieStatusOf(pid).value_or("unknown (ended without a word: killed, or exited on its own)");
        const std::string note = writeCrashNote(logFile, pid, exe, status);
        logLine(cName, "PID " + std::to_string(pid) + " ended unexpectedly: " + status + (note.empty() ? "" : "; crash note " + note));
    }

    arguments.erase(std::remove(arguments.begin() + 1, arguments.end(), cAutorelaunched), arguments.end());
    arguments.push_back(cAutorelaunched);
    const pid_t relaunched = spawnDetached(exe, arguments);
    if (relaunched < 0) {
        logLine(cName, "cannot start " + exe + " again: " + std::strerror(errno));
        return 1;
    }
    logLine(cName, "started " + exe + " again as PID " + std::to_string(relaunched));
    return 0;
}
