#pragma once
// What the toolkit's tests share: waiting on a condition of the toolkit's threads, and what the
// group and item hooks write down: a log that the toolkit's threads add lines to and the test
// takes, and a creator that makes the test's logging group and item classes (each constructed
// from the log).

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "opc/SODaSEntry.h"

namespace orva::opc::test {

// Polls until pred holds or the generous deadline passes.
template <class P>
bool eventually(P pred, std::chrono::milliseconds deadline = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

struct HookLog {
    std::mutex mutex;
    std::vector<std::string> lines;
    void add(std::string s)
    {
        std::lock_guard g(mutex);
        lines.push_back(std::move(s));
    }
    std::vector<std::string> take()
    {
        std::lock_guard g(mutex);
        return std::exchange(lines, {});
    }
};

template <class Group, class Item>
class LoggingCreator : public SODaSCreator {
public:
    explicit LoggingCreator(HookLog& log) : log_(log) {}
    SODaSGroup* createGroup(SODaSServer*) override { return new Group(log_); }
    SODaSItem* createItem(SODaSGroup*, SODaSItemTag*) override { return new Item(log_); }

private:
    HookLog& log_;
};

}  // namespace orva::opc::test
