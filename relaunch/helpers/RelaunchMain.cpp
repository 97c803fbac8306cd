// relaunch APP PID FLAGS: waits for the process PID to end, then starts APP
// again (an ordinary start, in a session of its own, with our environment
// and working folder). FLAGS are the launch flags the application asked
// for; they are logged. Standard error is the application's log file.

#include "relaunch/helpers/ProcessTools.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace sorrelby::helpers;

int main(int argc, char **argv)
{
    const char *const name = "relaunch";
    if (argc < 3) {
        logLine(name, "usage: relaunch APP PID [FLAGS]");
        return 2;
    }
    const std::string app = argv[1];
    const pid_t pid = static_cast<pid_t>(std::strtol(argv[2], nullptr, 10));
    const std::string flags = argc > 3 ? argv[3] : "1";
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGINT, SIG_IGN);
    ::setsid();

    const int pidfd = pid > 0 ? openPidfd(pid) : -1;
    if (pidfd >= 0) {
        logLine(name, "waiting for PID " + std::to_string(pid) + " to end (launch flags " + flags + ")");
        waitForEnd(pidfd);
        ::close(pidfd);
    } else if (errno != ESRCH) {
        logLine(name, "cannot wait for PID " + std::string(argv[2]) + ": " + std::strerror(errno));
        return 1;
    }
    const pid_t started = spawnDetached(app, {app});
    if (started < 0) {
        logLine(name, "cannot start " + app + ": " + std::strerror(errno));
        return 1;
    }
    logLine(name, "started " + app + " as PID " + std::to_string(started));
    return 0;
}
