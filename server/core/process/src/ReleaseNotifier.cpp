#include "process/ReleaseNotifier.h"

namespace orva::process {

std::chrono::milliseconds clientShutdownWait(std::size_t serverObjects)
{
    return serverObjects > 1 ? std::chrono::milliseconds(10000) : std::chrono::milliseconds(0);
}

void ReleaseNotifier::lastObjectReleased()
{
    OwnerWindow* window = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (armed_) {
            signalled_ = true;
            released_.notify_all();
        }
        if (embeddedStart_) window = window_;
    }
    if (window != nullptr) window->requestClose();
}

void ReleaseNotifier::armShutdownEvent()
{
    const std::lock_guard lock(mutex_);
    armed_ = true;
    signalled_ = false;
}

bool ReleaseNotifier::waitForRelease(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return released_.wait_for(lock, timeout, [this] { return signalled_; });
}

void ReleaseNotifier::disarmShutdownEvent()
{
    const std::lock_guard lock(mutex_);
    armed_ = false;
    signalled_ = false;
}

void ReleaseNotifier::forgetWindow()
{
    const std::lock_guard lock(mutex_);
    window_ = nullptr;
}

}  // namespace orva::process
