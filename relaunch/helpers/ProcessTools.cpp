#include "relaunch/helpers/ProcessTools.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sorrelby::helpers {

int openPidfd(pid_t pid)
{
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool waitForEnd(int pidfd, int timeoutMs)
{
    pollfd pfd{pidfd, POLLIN, 0};
    for (;;) {
        const int n = ::poll(&pfd, 1, timeoutMs);
        if (n > 0)
            return true;
        if (n == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

std::string executableOf(pid_t pid)
{
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
}

std::vector<std::string> commandLineOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> argv;
    std::string::size_type start = 0;
    while (start < all.size()) {
        const auto end = all.find('\0', start);
        argv.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return argv;
}

std::optional<std::string> zombieStatusOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold blanks and parentheses: fields start after
    // the last ')'.
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(stat.substr(close + 1));
    std::vector<std::string> field{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
    // field[0] is the state (the 3rd field of the entry), field[49] the exit
    // code (the 52nd), in the form waitpid reports.
    if (field.size() < 50 || field[0] != "Z")
        return std::nullopt;
    const int code = std::atoi(field[49].c_str());
    if (WIFSIGNALED(code))
        return describeSignal(WTERMSIG(code));
    return "exit status " + std::to_string(WEXITSTATUS(code));
}

std::string describeSignal(int signo)
{
    const char *abbrev = ::sigabbrev_np(signo);
    return "signal " + std::to_string(signo) + (abbrev ? std::string(" (SIG") + abbrev + ")" : std::string());
}

pid_t spawnDetached(const std::string &program, const std::vector<std::string> &argv)
{
    // A close-on-exec pipe tells whether exec worked: it closes unread when
    // it did, and carries errno when it did not.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return -1;
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) {
        const int saved = errno;
        ::close(report[0]);
        ::close(report[1]);
        errno = saved;
        return -1;
    }
    if (child == 0) {
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            if (null > 2)
                ::close(null);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int signo : {SIGHUP, SIGINT, SIGPIPE, SIGTERM})
            ::signal(signo, SIG_DFL);
        ::execv(program.c_str(), args.data());
        const int error = errno;
        [[maybe_unused]] ssize_t ignored = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof error)) {
        ::waitpid(child, nullptr, 0);
        errno = error;
        return -1;
    }
    return child;
}

std::string timestamp()
{
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(now.tv_usec / 1000));
    return text;
}

void logLine(const char *name, const std::string &text)
{
    const std::string line = timestamp() + " " + name + "[" + std::to_string(::getpid()) + "] " + text + "\n";
    // One write, so the line is not torn by the application writing too.
    [[maybe_unused]] ssize_t ignored = ::write(2, line.data(), line.size());
}

} // namespace sorrelby::helpers
