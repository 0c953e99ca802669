#include "process/ServiceManager.h"

#include <systemd/sd-daemon.h>

#include <string>

namespace orva::process {

namespace service {

void notifyReady(std::string_view status)
{
    const std::string message = "READY=1\nSTATUS=" + std::string(status);
    sd_notify(0, message.c_str());
}

void notifyStopping()
{
    sd_notify(0, "STOPPING=1\nSTATUS=shutting down");
}

}  // namespace service

namespace {

std::chrono::microseconds requestedWatchdogInterval()
{
    uint64_t usec = 0;
    // Positive only when WATCHDOG_USEC is set for this very process (WATCHDOG_PID).
    if (sd_watchdog_enabled(0, &usec) <= 0) return std::chrono::microseconds(0);
    return std::chrono::microseconds(usec);
}

}  // namespace

ServiceWatchdog::ServiceWatchdog(Progress progress, LogSink& log)
    : ServiceWatchdog(std::move(progress), log, requestedWatchdogInterval(),
                      [] { sd_notify(0, "WATCHDOG=1"); })
{
}

ServiceWatchdog::ServiceWatchdog(Progress progress, LogSink& log, std::chrono::microseconds interval,
                                 std::function<void()> feed)
    : progress_(std::move(progress)), log_(log), feed_(std::move(feed))
{
    if (interval.count() <= 0) return;
    thread_ = std::thread([this, interval] { run(interval / 2); });
}

ServiceWatchdog::~ServiceWatchdog()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ServiceWatchdog::run(std::chrono::microseconds period)
{
    std::optional<std::uint64_t> last = progress_();
    bool stalled = false;
    feed_();
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, period, [this] { return stop_; })) {
        const std::optional<std::uint64_t> now = progress_();
        if (!now || now != last) {
            feed_();
            if (stalled) log_.log(LogPriority::Notice, "the communication thread makes progress again");
            stalled = false;
            last = now;
        } else if (!stalled) {
            // One missed feed is survivable; the service manager restarts the server if the next
            // one is missed too.
            stalled = true;
            log_.log(LogPriority::Warning, "the communication thread has made no progress for " +
                                               std::to_string(period.count() / 1000) +
                                               " ms; the watchdog is not fed");
        }
    }
}

}  // namespace orva::process
