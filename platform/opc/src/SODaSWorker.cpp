#include "SODaSWorker.h"

#include <algorithm>

#include "opc/SODaSGroup.h"

namespace orva::opc {

namespace {

// A group with rate 0 asks for "as fast as possible"; it gets turns every 10 ms.
constexpr std::chrono::milliseconds kFastestTurn{10};

std::chrono::milliseconds turnOf(const SODaSGroup& g)
{
    return std::max(kFastestTurn, std::chrono::milliseconds(g.getUpdateRate()));
}

}  // namespace

void SODaSWorker::start()
{
    std::lock_guard g(mutex_);
    if (running_) return;
    running_ = true;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void SODaSWorker::stop()
{
    {
        std::lock_guard g(mutex_);
        if (!running_) return;
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) {
        if (onWorkerThread())
            thread_.detach();
        else
            thread_.join();
    }
    std::vector<SODaSGroup*> groups;
    {
        std::lock_guard g(mutex_);
        running_ = false;
        groups.swap(groups_);
    }
    for (SODaSGroup* group : groups)
        group->release();
}

bool SODaSWorker::isRunning() const
{
    std::lock_guard g(mutex_);
    return running_ && !stopping_;
}

void SODaSWorker::registerGroup(SODaSGroup* group)
{
    {
        std::lock_guard g(mutex_);
        group->addRef();
        group->nextDue = std::chrono::steady_clock::now();
        groups_.push_back(group);
        woken_ = true;
    }
    cv_.notify_all();
}

void SODaSWorker::unregisterGroup(SODaSGroup* group)
{
    bool found = false;
    {
        std::lock_guard g(mutex_);
        auto it = std::find(groups_.begin(), groups_.end(), group);
        if (it != groups_.end()) {
            groups_.erase(it);
            found = true;
        }
    }
    if (found) group->release();
}

void SODaSWorker::wake()
{
    {
        std::lock_guard g(mutex_);
        woken_ = true;
    }
    cv_.notify_all();
}

bool SODaSWorker::post(std::function<void()> task)
{
    {
        std::lock_guard g(mutex_);
        if (!running_ || stopping_) return false;
        tasks_.push_back(std::move(task));
    }
    cv_.notify_all();
    return true;
}

void SODaSWorker::run()
{
    std::unique_lock lock(mutex_);
    while (true) {
        while (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
        if (stopping_) break;

        const auto now = std::chrono::steady_clock::now();
        auto wakeAt = now + std::chrono::seconds(60);
        std::vector<SODaSGroup*> due;
        for (SODaSGroup* g : groups_) {
            if (now >= g->nextDue) {
                g->addRef();
                due.push_back(g);
                g->nextDue = now + turnOf(*g);
            }
            wakeAt = std::min(wakeAt, g->nextDue);
        }
        if (!due.empty()) {
            lock.unlock();
            for (SODaSGroup* g : due) {
                g->deliver(g->collectChanges());
                g->release();
            }
            lock.lock();
            continue;  // tasks may have arrived meanwhile
        }
        woken_ = false;
        cv_.wait_until(lock, wakeAt, [this] { return stopping_ || woken_ || !tasks_.empty(); });
        if (woken_) {
            // A rate changed or a group arrived: recompute due times from the new rates.
            const auto t = std::chrono::steady_clock::now();
            for (SODaSGroup* g : groups_)
                g->nextDue = std::min(g->nextDue, t + turnOf(*g));
        }
    }
}

}  // namespace orva::opc
