#include "process/HeadlessWindow.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace orva::process {
namespace {

// Even without a wake-up pipe the loop notices a close request within this time.
constexpr int kPollSliceMs = 1000;

}  // namespace

HeadlessWindow::HeadlessWindow(const ServerIdentity& identity, LogSink& log, ErrorTextFunction errorText)
    : identity_(identity), log_(log), status_(std::move(errorText))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
}

HeadlessWindow::~HeadlessWindow()
{
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

void HeadlessWindow::setPlcs(std::vector<PlcLine> plcs)
{
    const std::lock_guard lock(mutex_);
    status_.setPlcs(std::move(plcs));
}

void HeadlessWindow::showWarning(std::string_view title, std::string_view text)
{
    std::string line = "warning [";
    line += title;
    line += "]: ";
    line += text;
    log_.log(LogPriority::Warning, line);
}

void HeadlessWindow::reportPlcStatus(int code, PlcHandle plc)
{
    std::string line;
    bool anyError = false;
    {
        const std::lock_guard lock(mutex_);
        if (!status_.report(code, plc)) return;
        const auto lines = status_.nonEmptyLines();
        anyError = !lines.empty();
        line = "status: ";
        if (lines.empty()) line += "no communication error";
        for (std::size_t i = 0; i < lines.size(); ++i)
            line += (i ? " | " : "") + lines[i];
    }
    // A communication error is a warning; its end is worth noticing.
    log_.log(anyError ? LogPriority::Warning : LogPriority::Notice, line);
}

void HeadlessWindow::reportNoPlc()
{
    showWarning(identity_.noPlcTitle, identity_.noPlcMessage);
    requestClose();
}

void HeadlessWindow::requestClose()
{
    closeRequested_.store(true);
    if (wakeWrite_ >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);
    }
}

int HeadlessWindow::run(ShutdownSignals* signals)
{
    while (!closeRequested_.load()) {
        pollfd fds[2];
        nfds_t count = 0;
        if (wakeRead_ >= 0) fds[count++] = pollfd{wakeRead_, POLLIN, 0};
        if (signals != nullptr) fds[count++] = pollfd{signals->fd(), POLLIN, 0};
        const int ready = ::poll(fds, count, kPollSliceMs);
        if (ready < 0 && errno != EINTR) break;
        if (signals != nullptr) {
            if (const int signal = signals->takeSignal(); signal != 0) {
                log_.log(LogPriority::Notice, std::string("shutting down on signal ") + ::strsignal(signal));
                closeRequested_.store(true);
            }
        }
    }
    return 0;
}

std::string HeadlessWindow::statusText() const
{
    const std::lock_guard lock(mutex_);
    return status_.text();
}

}  // namespace orva::process
