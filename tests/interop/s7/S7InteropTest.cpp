// Our access library against node-snap7's S7Server, and node-snap7's S7Client against our
// simulator: two peers written by others.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "ChildProcess.h"
#include "plc/S7Protocol.h"
#include "plc/TcpIpS7Tool.h"
#include "plcsim/PlcSimulator.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using orva::interop::ChildProcess;

#define REQUIRE_PEERS()                                                                   \
    if (orva::interop::peersFolder().empty()) {                                           \
        GTEST_SKIP() << "node-snap7 is not installed (run npm install in tests/interop)"; \
    }

class Snap7Server : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_PEERS();
        // A port another process takes in between makes the server fail to start: try a few.
        for (int attempt = 0; attempt < 5 && endpoint_.empty(); ++attempt) {
            const int port = orva::interop::freeLoopbackPort();
            server_ = std::make_unique<ChildProcess>(
                "node",
                std::vector<std::string>{orva::interop::nodeScript("snap7_server.js"), std::to_string(port)});
            ASSERT_TRUE(server_->started());
            if (server_->waitFor("ready") == "ready " + std::to_string(port)) {
                endpoint_ = "127.0.0.1:" + std::to_string(port);
            }
        }
        ASSERT_FALSE(endpoint_.empty()) << "node-snap7's server did not start";
        PlcConnectionEntryFor(endpoint_);
        ASSERT_EQ(tool_.open(&entry_, 1), orva::plc::kS7Ok);
    }

    void PlcConnectionEntryFor(const std::string& endpoint)
    {
        entry_ = {};
        std::snprintf(entry_.address, sizeof entry_.address, "%s", endpoint.c_str());
        entry_.cpuSlot = 2;
    }

    Bytes dump(int dataBlock)
    {
        server_->send("dump " + std::to_string(dataBlock));
        const std::string line = server_->waitFor("DB" + std::to_string(dataBlock) + " ");
        Bytes bytes;
        const std::string hex = line.substr(line.find(' ') + 1);
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return bytes;
    }

    std::unique_ptr<ChildProcess> server_;
    std::string endpoint_;
    orva::plc::PlcConnectionEntry entry_{};
    orva::plc::TcpIpS7Tool tool_{orva::plc::S7Timeouts{1000ms, 1000ms}};
};

TEST_F(Snap7Server, ReadsAndWritesFullPieces)
{
    ASSERT_EQ(tool_.selectPlc(1, 0), orva::plc::kS7Ok);
    Bytes read(222);
    ASSERT_EQ(tool_.readBytes(1, 222, 0, read.data()), orva::plc::kS7Ok);
    for (size_t i = 0; i < read.size(); ++i)
        ASSERT_EQ(read[i], i & 0xFF) << i;
    ASSERT_EQ(tool_.readBytes(1, 222, 290, read.data()), orva::plc::kS7Ok);  // up to the block's end
    EXPECT_EQ(read[221], (290 + 221) & 0xFF);

    Bytes written(212);
    for (size_t i = 0; i < written.size(); ++i)
        written[i] = static_cast<uint8_t>(0xA5 ^ i);
    ASSERT_EQ(tool_.writeBytes(1, 212, 100, written.data()), orva::plc::kS7Ok);
    const Bytes memory = dump(1);
    ASSERT_EQ(memory.size(), 512u);
    EXPECT_EQ(Bytes(memory.begin() + 100, memory.begin() + 312), written);
    EXPECT_EQ(memory[99], 99);
    EXPECT_EQ(memory[312], 312 & 0xFF);
}

TEST_F(Snap7Server, MissingBlockAndRangeAreSingleAccessErrors)
{
    ASSERT_EQ(tool_.selectPlc(1, 0), orva::plc::kS7Ok);
    uint8_t buffer[16];
    EXPECT_EQ(tool_.readBytes(7, 4, 0, buffer), orva::plc::kS7DataBlockMissing);
    EXPECT_EQ(tool_.writeBytes(7, 4, 0, buffer), orva::plc::kS7DataBlockMissing);
    EXPECT_EQ(tool_.readBytes(2, 16, 8, buffer), orva::plc::kS7AddressOutOfRange);
    // The connection survives access errors.
    EXPECT_EQ(tool_.readBytes(2, 16, 0, buffer), orva::plc::kS7Ok);
    EXPECT_EQ(tool_.connectionCount(), 1);
}

TEST_F(Snap7Server, StoppedServerGivesAConnectionErrorAndARestartIsPickedUp)
{
    ASSERT_EQ(tool_.selectPlc(1, 0), orva::plc::kS7Ok);
    uint8_t buffer[4];
    ASSERT_EQ(tool_.readBytes(1, 4, 0, buffer), orva::plc::kS7Ok);

    server_->send("stop");
    ASSERT_EQ(server_->waitFor("stopped"), "stopped");
    const int lost = tool_.readBytes(1, 4, 0, buffer);
    EXPECT_TRUE(orva::plc::isConnectionLevel(lost)) << lost;
    EXPECT_EQ(tool_.connectionCount(), 0);
    // As the server does after a connection-level error: close, reopen, select.
    tool_.close();
    ASSERT_EQ(tool_.open(&entry_, 1), orva::plc::kS7Ok);
    EXPECT_EQ(tool_.selectPlc(1, 0), orva::plc::kS7Unreachable);

    server_->send("start");
    ASSERT_EQ(server_->waitFor("started"), "started");
    int selected = -1;
    for (int attempt = 0; attempt < 50 && selected != orva::plc::kS7Ok; ++attempt) {
        tool_.close();
        ASSERT_EQ(tool_.open(&entry_, 1), orva::plc::kS7Ok);
        selected = tool_.selectPlc(1, 0);
        if (selected != orva::plc::kS7Ok) std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(selected, orva::plc::kS7Ok);
    ASSERT_EQ(tool_.readBytes(1, 4, 8, buffer), orva::plc::kS7Ok);
    EXPECT_EQ(buffer[0], 8);
}

TEST(Snap7Client, DrivesTheSimulator)
{
    REQUIRE_PEERS();
    orva::plcsim::SimulatorOptions options;
    options.dataBlocks = {{1, 512}};
    orva::plcsim::PlcSimulator sim(options);
    Bytes pattern(512);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(sim.writeMemory(1, 0, pattern));
    ASSERT_TRUE(sim.start());

    ChildProcess client("node", {orva::interop::nodeScript("snap7_client.js"), std::to_string(sim.port())});
    ASSERT_TRUE(client.started());
    const std::string verdict = client.readLine(30s);
    EXPECT_EQ(verdict, "ok");
    EXPECT_EQ(client.wait(), 0);

    Bytes written(212);
    ASSERT_TRUE(sim.readMemory(1, 50, written));
    for (size_t i = 0; i < written.size(); ++i)
        ASSERT_EQ(written[i], (255 - i) & 0xFF) << i;
    bool sawWrite = false;
    for (const auto& record : sim.requests()) {
        sawWrite = sawWrite || orva::plcsim::formatRecord(record) == "write DB1 start=50 size=212";
    }
    EXPECT_TRUE(sawWrite);
}

TEST(Snap7Client, DrivesThePlcsimExecutable)
{
    REQUIRE_PEERS();
    const char* binaryDir = std::getenv("ORVA_BINARY_DIR");
    const std::string plcsim =
        std::string(binaryDir != nullptr ? binaryDir : ORVA_INTEROP_BINARY_DIR) + "/bin/plcsim";
    ChildProcess sim(plcsim,
                     {"--port", "0", "--db", "1:512", "--pattern", "--log", "-", "--duration", "120"});
    ASSERT_TRUE(sim.started());
    const std::string listening = sim.waitFor("plcsim listening on 127.0.0.1:");
    ASSERT_FALSE(listening.empty()) << "plcsim did not start";
    const std::string port = listening.substr(listening.rfind(':') + 1);

    ChildProcess client("node", {orva::interop::nodeScript("snap7_client.js"), port});
    ASSERT_TRUE(client.started());
    EXPECT_EQ(client.readLine(30s), "ok");
    EXPECT_EQ(client.wait(), 0);
    // The simulator's request log shows the client's accesses.
    EXPECT_EQ(sim.waitFor("write DB1 start=50 size=212"), "write DB1 start=50 size=212");
    sim.terminate();
    EXPECT_EQ(sim.waitFor("plcsim stopped"), "plcsim stopped");
    EXPECT_EQ(sim.wait(), 0);
}

}  // namespace
