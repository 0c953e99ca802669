#pragma once
// What the group and item hooks of the toolkit's tests write down: a log that the toolkit's
// threads add lines to and the test takes, and a creator that makes the test's logging group and
// item classes (each constructed from the log).

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "opc/SODaSEntry.h"

namespace opc::test {

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

}  // namespace opc::test
