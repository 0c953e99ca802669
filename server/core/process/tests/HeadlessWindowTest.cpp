#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <future>
#include <regex>
#include <thread>

#include "process/HeadlessWindow.h"
#include "process/LogSink.h"
#include "process/ShutdownSignals.h"

using namespace orva::process;
using orva::config::ServerKind;
using namespace std::chrono_literals;

namespace {

// Collects log lines; only the tests' threads write, under the sink's own lock.
struct CapturedLog {
    std::vector<std::string> lines;
    LogSink sink{"Tornel", [this](std::string_view line) { lines.emplace_back(line); }};
};

const int plcA = 1, plcB = 2;

}  // namespace

TEST(LogSink, EachLineGetsATimeStampAndTheProgramName)
{
    CapturedLog log;
    log.sink.log("first\n\nsecond\r\n");
    ASSERT_EQ(log.lines.size(), 2u);
    const std::regex format(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z Tornel: first\n)");
    EXPECT_TRUE(std::regex_match(log.lines[0], format)) << log.lines[0];
    EXPECT_TRUE(log.lines[1].ends_with(" Tornel: second\n"));

    using namespace std::chrono;
    EXPECT_EQ(LogSink::timestamp(system_clock::time_point(milliseconds(1500))), "1970-01-01T00:00:01.500Z");
    EXPECT_EQ(LogSink::timestamp(system_clock::time_point(seconds(1796624700) + milliseconds(7))),
              "2026-12-07T06:25:00.007Z");
}

// Under systemd the journal stamps and tags each line itself; the line carries its priority, and
// only when JOURNAL_STREAM names the very descriptor the log goes to.
TEST(LogSink, IntoTheJournalLinesCarryTheirPriorityInsteadOfATimeStamp)
{
    std::vector<std::string> lines;
    LogSink sink(
        "Tornel", [&lines](std::string_view line) { lines.emplace_back(line); }, LogFormat::Journal);
    HeadlessWindow window(serverIdentity(ServerKind::Tornel), sink,
                          [](int code) { return "code " + std::to_string(code); });
    window.setPlcs({{&plcA, "Press"}});
    sink.log("configuration /etc/orva/Tornel.xml\nsecond line");
    window.reportPlcStatus(20, &plcA);
    window.reportPlcStatus(0, &plcA);
    window.showWarning("Title", "text");
    window.showWarning("Title", "loader text\n");  // the loader's texts end with a line feed
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "<6>configuration /etc/orva/Tornel.xml\n", "<6>second line\n",
                         "<4>status: code 20 on Press\n", "<5>status: no communication error\n",
                         "<4>warning [Title]: text\n", "<4>warning [Title]: loader text\n"}));

    const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    const std::string mine = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    EXPECT_EQ(LogSink::formatFor(mine.c_str(), fd), LogFormat::Journal);
    EXPECT_EQ(LogSink::formatFor((mine + "1").c_str(), fd), LogFormat::Timestamped);
    EXPECT_EQ(LogSink::formatFor("garbage", fd), LogFormat::Timestamped);
    EXPECT_EQ(LogSink::formatFor(nullptr, fd), LogFormat::Timestamped);
    ::close(fd);
}

TEST(HeadlessWindow, MessageBoxesAndStatusChangesGoToTheLog)
{
    CapturedLog log;
    HeadlessWindow window(serverIdentity(ServerKind::Tornel), log.sink,
                          [](int code) { return "code " + std::to_string(code); });
    window.setPlcs({{&plcA, "Press"}, {&plcB, "Oven"}});

    window.showWarning("Tcp/Ip S7 OPC Server", "The configuration file couldn't be loaded !");
    window.reportPlcStatus(104, &plcB);
    window.reportPlcStatus(104, &plcB);  // unchanged: not logged again
    EXPECT_EQ(window.statusText(), "\ncode 104 on Oven\n");
    window.reportPlcStatus(0, &plcB);
    EXPECT_EQ(window.statusText(), "\n\n");

    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_TRUE(log.lines[0].ends_with(
        "Tornel: warning [Tcp/Ip S7 OPC Server]: The configuration file couldn't be loaded !\n"));
    EXPECT_TRUE(log.lines[1].ends_with("Tornel: status: code 104 on Oven\n"));
    EXPECT_TRUE(log.lines[2].ends_with("Tornel: status: no communication error\n"));
    EXPECT_FALSE(window.closeRequested());
}

TEST(HeadlessWindow, NoPlcWarnsAndCloses)
{
    CapturedLog log;
    HeadlessWindow window(serverIdentity(ServerKind::Vardel), log.sink, nullptr);
    window.reportNoPlc();
    EXPECT_TRUE(window.closeRequested());
    EXPECT_EQ(window.run(), 0);  // returns at once
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_TRUE(log.lines[0].ends_with(
        "warning [OPC Siemens S7 Server]: No S7 PLC configured. OPC Server being closed.\n"));
}

TEST(HeadlessWindow, RunEndsWhenAnotherThreadRequestsTheClose)
{
    CapturedLog log;
    HeadlessWindow window(serverIdentity(ServerKind::Lorvik), log.sink, nullptr);
    auto running = std::async(std::launch::async, [&] { return window.run(); });
    EXPECT_EQ(running.wait_for(50ms), std::future_status::timeout);  // it waits for a reason to end
    window.requestClose();
    ASSERT_EQ(running.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(running.get(), 0);
}

TEST(ShutdownSignals, TerminationSignalsEndTheRunLoopAndHandlersAreRestored)
{
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        auto signals = ShutdownSignals::install();
        ASSERT_NE(signals, nullptr);
        std::string error;
        EXPECT_EQ(ShutdownSignals::install(&error), nullptr);  // one set of handlers at a time
        EXPECT_FALSE(error.empty());

        EXPECT_EQ(signals->wait(0), 0);
        ::raise(SIGINT);
        EXPECT_EQ(signals->wait(10000), SIGINT);

        CapturedLog log;
        HeadlessWindow window(serverIdentity(ServerKind::Pennat), log.sink, nullptr);
        auto running = std::async(std::launch::async, [&] { return window.run(signals.get()); });
        ::raise(SIGTERM);
        ASSERT_EQ(running.wait_for(10s), std::future_status::ready);
        EXPECT_TRUE(window.closeRequested());
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines[0].find("shutting down on signal"), std::string::npos);
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    auto again = ShutdownSignals::install();
    EXPECT_NE(again, nullptr);
}
