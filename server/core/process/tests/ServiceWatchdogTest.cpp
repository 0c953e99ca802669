// The service watchdog is fed only while the communication thread's iteration count moves.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "process/ServiceManager.h"

using namespace orva::process;
using namespace std::chrono_literals;

namespace {

template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds bound = 10s)
{
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

}  // namespace

TEST(ServiceWatchdog, FeedsWhileTheThreadProgressesAndStopsWhenItHangs)
{
    std::atomic<std::uint64_t> iterations{0};
    std::atomic<int> feeds{0};
    std::atomic<int> warnings{0};
    LogSink log("Tornel", [&warnings](std::string_view line) {
        if (line.find("no progress") != std::string_view::npos) ++warnings;
    });
    ServiceWatchdog watchdog([&iterations] { return std::optional<std::uint64_t>(iterations.load()); }, log,
                             20ms, [&feeds] { ++feeds; });
    ASSERT_TRUE(watchdog.active());

    // Progressing: fed again and again.
    ASSERT_TRUE(eventually([&] {
        ++iterations;
        return feeds.load() >= 5;
    }));

    // Hung: one warning, and no more feeds however long it stays hung.
    ASSERT_TRUE(eventually([&] { return warnings.load() == 1; }));
    const int fedBeforeHang = feeds.load();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(feeds.load(), fedBeforeHang);
    EXPECT_EQ(warnings.load(), 1);

    // Moving again: fed again.
    ++iterations;
    EXPECT_TRUE(eventually([&] { return feeds.load() > fedBeforeHang; }));
}

TEST(ServiceWatchdog, WithoutAnIntervalFromTheServiceManagerNothingRuns)
{
    LogSink log("Tornel", [](std::string_view) {});
    int feeds = 0;
    ServiceWatchdog idle([] { return std::optional<std::uint64_t>(); }, log, 0us, [&feeds] { ++feeds; });
    EXPECT_FALSE(idle.active());
    EXPECT_EQ(feeds, 0);
}
