#include "process/ShutdownSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace orva::process {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

std::atomic<int> gWriteFd{-1};
struct sigaction gPrevious[std::size(kSignals)];

extern "C" void onShutdownSignal(int signal)
{
    const int savedErrno = errno;
    const int fd = gWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);  // a full pipe already says enough
    }
    errno = savedErrno;
}

}  // namespace

std::unique_ptr<ShutdownSignals> ShutdownSignals::install(std::string* error)
{
    if (gWriteFd.load() >= 0) {
        if (error) *error = "shutdown signal handlers are already installed";
        return nullptr;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = std::string("cannot create the signal pipe: ") + std::strerror(errno);
        return nullptr;
    }
    gWriteFd.store(fds[1]);
    struct sigaction action {};
    action.sa_handler = onShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &gPrevious[i]);
    return std::make_unique<ShutdownSignals>(Token{}, fds[0], fds[1]);
}

ShutdownSignals::~ShutdownSignals()
{
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    gWriteFd.store(-1);
    ::close(readFd_);
    ::close(writeFd_);
}

int ShutdownSignals::takeSignal()
{
    int last = 0;
    unsigned char buffer[16];
    while (true) {
        const ssize_t n = ::read(readFd_, buffer, sizeof buffer);
        if (n > 0) {
            last = buffer[n - 1];
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return last;  // empty (EAGAIN) or closed
    }
}

int ShutdownSignals::wait(int timeoutMs)
{
    pollfd pfd{readFd_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, timeoutMs);
    return ready > 0 ? takeSignal() : 0;
}

}  // namespace orva::process
