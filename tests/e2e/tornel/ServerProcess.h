#pragma once
// A server executable run as a child process for end-to-end tests: its own environment, its
// standard error captured line by line, signals, and bounded waits for its exit.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orva::e2e {

using Environment = std::map<std::string, std::optional<std::string>>;

// A server started for a test or the soak keeps its registry, settings and state below `dir` and
// runs as a plain process: no display, no systemd notification or watchdog, no journal.
Environment isolatedServerEnvironment(const std::filesystem::path& dir);

class ServerProcess {
public:
    // env: variables set (value) or removed (nullopt) for the child.
    ServerProcess(const std::string& program, const std::vector<std::string>& args,
                  const std::map<std::string, std::optional<std::string>>& env);
    ~ServerProcess();  // SIGKILL and reap, if still running
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    // Reads standard error until a line containing text arrives; that line, or nullopt on
    // time-out or when the child's standard error closes first.
    std::optional<std::string> waitForLine(const std::string& text,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Reads what the child has written so far without waiting, so that it never blocks on a
    // full pipe while the caller is busy elsewhere.
    void drain();
    // Every line read so far.
    const std::vector<std::string>& lines() const { return lines_; }
    void signal(int signalNumber);
    // The exit code; nullopt on time-out or when a signal ended the child.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    bool readMore(std::chrono::milliseconds timeout);

    int pid_ = -1;
    int err_ = -1;
    bool reaped_ = false;
    std::optional<int> exitCode_;
    std::string partial_;
    std::vector<std::string> lines_;
};

// A loopback TCP port that was free a moment ago.
int freeLoopbackPort();

}  // namespace orva::e2e
