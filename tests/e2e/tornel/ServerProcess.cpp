#include "ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace orva::e2e {

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& args,
                             const std::map<std::string, std::optional<std::string>>& env)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A test or soak that dies takes its servers and simulators with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(fds[1], 2);
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            ::dup2(devNull, 0);
            ::dup2(devNull, 1);
        }
        for (const auto& [name, value] : env) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        std::vector<char*> argv;
        for (auto& a : argStore)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return;
    }
    pid_ = pid;
    err_ = fds[0];
}

ServerProcess::~ServerProcess()
{
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (err_ >= 0) ::close(err_);
}

bool ServerProcess::readMore(std::chrono::milliseconds timeout)
{
    if (err_ < 0) return false;
    pollfd p{err_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (ready <= 0) return ready == 0 || errno == EINTR;
    char buffer[4096];
    const ssize_t n = ::read(err_, buffer, sizeof buffer);
    if (n <= 0) {
        ::close(err_);
        err_ = -1;
        return false;
    }
    partial_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
        lines_.push_back(partial_.substr(0, end));
        partial_.erase(0, end + 1);
    }
    return true;
}

void ServerProcess::drain()
{
    // Bounded: what a busy child writes meanwhile is read on the next call.
    for (int chunk = 0; chunk < 256 && err_ >= 0; ++chunk) {
        pollfd p{err_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !readMore(std::chrono::milliseconds(0))) return;
    }
}

std::optional<std::string> ServerProcess::waitForLine(const std::string& text,
                                                      std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t checked = 0;
    while (true) {
        for (; checked < lines_.size(); ++checked)
            if (lines_[checked].find(text) != std::string::npos) return lines_[checked];
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readMore(std::min(left, std::chrono::milliseconds(200)))) break;
    }
    for (; checked < lines_.size(); ++checked)
        if (lines_[checked].find(text) != std::string::npos) return lines_[checked];
    return std::nullopt;
}

void ServerProcess::signal(int signalNumber)
{
    if (pid_ > 0 && !reaped_) ::kill(pid_, signalNumber);
}

std::optional<int> ServerProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reaped_) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            if (WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        // Keep the log flowing so the child never blocks on a full pipe.
        if (!readMore(std::chrono::milliseconds(20)))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (int i = 0; i < 100 && err_ >= 0; ++i)
        if (!readMore(std::chrono::milliseconds(10))) break;
    return exitCode_;
}

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

Environment isolatedServerEnvironment(const std::filesystem::path& dir)
{
    return {{"ORVA_REGISTRY_ROOT", (dir / "registry").string()},
            {"ORVA_CONFIG_DIR", (dir / "etc").string()},
            {"ORVA_STATE_DIR", (dir / "state").string()},
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"QT_QPA_PLATFORM", std::nullopt},
            {"NOTIFY_SOCKET", std::nullopt},
            {"WATCHDOG_USEC", std::nullopt},
            {"WATCHDOG_PID", std::nullopt},
            {"JOURNAL_STREAM", std::nullopt}};
}

}  // namespace orva::e2e
