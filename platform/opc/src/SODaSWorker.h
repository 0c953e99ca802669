#pragma once
// The toolkit's worker thread: gives every registered active group a data-change turn once per
// update rate, and runs posted tasks (client callbacks: completions, shutdown requests) in order.
// It sleeps until the next group is due or a task arrives; it never spins.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orva::opc {

class SODaSGroup;

class SODaSWorker {
public:
    SODaSWorker() = default;
    ~SODaSWorker() { stop(); }
    SODaSWorker(const SODaSWorker&) = delete;
    SODaSWorker& operator=(const SODaSWorker&) = delete;

    void start();
    // Runs the remaining tasks, then joins the thread.
    void stop();
    bool isRunning() const;
    bool onWorkerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    void registerGroup(SODaSGroup* group);
    void unregisterGroup(SODaSGroup* group);
    void wake();
    // False when the worker is not running (the caller runs the task itself).
    bool post(std::function<void()> task);

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::thread thread_;
    bool running_ = false;
    bool stopping_ = false;
    bool woken_ = false;
    std::vector<SODaSGroup*> groups_;  // registered groups hold a reference each
    std::deque<std::function<void()>> tasks_;
};

}  // namespace orva::opc
