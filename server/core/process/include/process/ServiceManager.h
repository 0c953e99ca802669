#pragma once
// The server as a systemd service (Type=notify): it tells the service manager when it is ready
// (the endpoint listens) and when it is stopping, and feeds the watchdog only while the
// communication thread makes progress, so that a hung thread gets the service restarted.
// Started any other way every call does nothing.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "process/LogSink.h"

namespace orva::process {

namespace service {
// "READY=1" with a status line for systemctl status.
void notifyReady(std::string_view status);
// "STOPPING=1": the shutdown has begun.
void notifyStopping();
}  // namespace service

class ServiceWatchdog {
public:
    // Completed iterations of the communication thread; nullopt when it does not count them, and
    // then the watchdog only sees that the process lives.
    using Progress = std::function<std::optional<std::uint64_t>()>;

    // Feeds systemd's watchdog at half its interval when systemd asked this process for one
    // (WatchdogSec=), as long as the progress count moves between two feeds.
    ServiceWatchdog(Progress progress, LogSink& log);
    // With an explicit interval and feeding function, for tests.
    ServiceWatchdog(Progress progress, LogSink& log, std::chrono::microseconds interval,
                    std::function<void()> feed);
    ~ServiceWatchdog();
    ServiceWatchdog(const ServiceWatchdog&) = delete;
    ServiceWatchdog& operator=(const ServiceWatchdog&) = delete;

    bool active() const { return thread_.joinable(); }

private:
    void run(std::chrono::microseconds period);

    Progress progress_;
    LogSink& log_;
    std::function<void()> feed_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace orva::process
