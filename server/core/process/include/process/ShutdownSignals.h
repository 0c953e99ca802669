#pragma once
// SIGTERM and SIGINT ask the server to close like its window's close box. The handler only
// writes the signal number to a pipe; the main loop watches the pipe's read end.

#include <memory>
#include <string>

namespace orva::process {

class ShutdownSignals {
public:
    // Installs the handlers; nullptr (with a reason) when they are already installed or the
    // pipe cannot be made.
    static std::unique_ptr<ShutdownSignals> install(std::string* error = nullptr);

    ShutdownSignals(const ShutdownSignals&) = delete;
    ShutdownSignals& operator=(const ShutdownSignals&) = delete;
    // Restores the handlers that were there before.
    ~ShutdownSignals();

    // Readable once a signal has arrived.
    int fd() const { return readFd_; }

    // Empties the pipe; the last signal received, or 0 when none was pending.
    int takeSignal();

    // Waits up to timeoutMs (negative: without limit) for a signal; the signal or 0.
    int wait(int timeoutMs);

private:
    struct Token {};

public:
    ShutdownSignals(Token, int readFd, int writeFd) : readFd_(readFd), writeFd_(writeFd) {}

private:
    int readFd_;
    int writeFd_;
};

}  // namespace orva::process
