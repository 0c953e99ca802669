#pragma once
// Runs a node script (of this folder, or at an absolute path) as a child process with pipes to its standard
// input and output, for talking to independent peers. The child ends when its input closes; the destructor
// waits a bounded time and kills it (by its own pid) if it does not.
#include <chrono>
#include <string>
#include <vector>

namespace orva::interop {

// The folder holding node_modules of the interop peers, or "" when the peers are not
// installed (tests then skip).
std::string peersFolder();
// The project's source folder.
std::string sourceDir();
// The full path of a node script of this folder.
std::string nodeScript(const std::string& script);

class ChildProcess {
public:
    // program is looked up in PATH unless it holds a "/"; NODE_PATH points at the peers.
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void send(const std::string& line);
    // The next output line, or "" when none arrives in time or the child ended.
    std::string readLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Reads lines until one starts with prefix; returns it, or "" on time-out.
    std::string waitFor(const std::string& prefix,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Waits for the child's exit code (-1 on time-out or a signal).
    int wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(30000));
    // Asks the child to end (SIGTERM).
    void terminate();

private:
    int pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int exitCode_ = -1;
    bool reaped_ = false;
    std::string buffer_;
};

// A loopback port that was free a moment ago.
int freeLoopbackPort();

}  // namespace orva::interop
