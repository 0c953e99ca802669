#include "ChildProcess.h"

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace orva::interop {
std::string sourceDir()
{
    const char* dir = std::getenv("ORVA_SOURCE_DIR");
    return dir != nullptr ? dir : ORVA_INTEROP_SOURCE_DIR;
}

std::string peersFolder()
{
    const std::filesystem::path folder = std::filesystem::path(sourceDir()) / "tests" / "interop";
    if (!std::filesystem::exists(folder / "node_modules" / "node-snap7" / "package.json")) return {};
    return folder.string();
}

std::string nodeScript(const std::string& script)
{
    return sourceDir() + "/tests/interop/s7/" + script;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args)
{
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string folder = peersFolder();
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText{"NODE_PATH=" + folder + "/node_modules"};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).rfind("NODE_PATH=", 0) != 0) envText.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
}

ChildProcess::~ChildProcess()
{
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    if (pid_ > 0 && wait(std::chrono::milliseconds(5000)) == -1 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) ::close(output_);
}

void ChildProcess::send(const std::string& line)
{
    const std::string text = line + "\n";
    if (input_ >= 0) [[maybe_unused]]
        auto n = ::write(input_, text.data(), text.size());
}

std::string ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const auto newline = buffer_.find('\n'); newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || output_ < 0) return {};
        pollfd p{output_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[4096];
        const ssize_t n = ::read(output_, chunk, sizeof chunk);
        if (n <= 0) return {};
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

std::string ChildProcess::waitFor(const std::string& prefix, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (int lines = 0; lines < 10000; ++lines) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return {};
        std::string line = readLine(left);
        if (line.rfind(prefix, 0) == 0) return line;
        if (line.empty() && std::chrono::steady_clock::now() >= end) return {};
    }
    return {};
}

int ChildProcess::wait(std::chrono::milliseconds timeout)
{
    if (reaped_) return exitCode_;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return exitCode_;
        }
        if (done < 0) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

void ChildProcess::terminate()
{
    if (pid_ > 0 && !reaped_) ::kill(pid_, SIGTERM);
}

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace orva::interop
