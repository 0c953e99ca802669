// A redundant CPU pair as a plant runs it: Tornel as a process, two PLC simulators as CPU A and
// CPU B on two loopback ports, the status bits set by the test as the PLC programs would, and an
// OPC UA client that watches ServerRedundancyState and a tag whose value tells the CPUs apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "ServerProcess.h"
#include "UaSession.h"
#include "opcua/AddressSpace.h"
#include "plcsim/PlcSimulator.h"
#include "registry/Registry.h"

using namespace orva::e2e;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The layout of the sample configuration.
constexpr uint16_t kDataBlock = 1;  // Cpu at byte 0, Setpoint at byte 4, Limit at byte 6
constexpr uint16_t kRedundancyBlock = 20;
constexpr size_t kStatusByte = 2;
constexpr uint8_t kMasterBit = 1u << 3;
constexpr size_t kCommandByte = 5;
constexpr uint8_t kCommandBit = 1u << 6;

const orva::opcua::NodeId kState = orva::opcua::NodeId::str("Pair.ServerRedundancyState");
const orva::opcua::NodeId kCpu = orva::opcua::NodeId::str("Pair.Line.Cpu");
const orva::opcua::NodeId kSetpoint = orva::opcua::NodeId::str("Pair.Line.Setpoint");
const orva::opcua::NodeId kLimit = orva::opcua::NodeId::str("Pair.Line.Limit");
constexpr size_t kStateIndex = 0, kCpuIndex = 1;  // in the watcher's subscription

constexpr double kCached = 1e9;  // a MaxAge that any cached value meets

std::optional<int64_t> intOf(const orva::opcua::Variant& v)
{
    if (v.isArray) return std::nullopt;
    if (std::holds_alternative<uint64_t>(v.scalar)) return static_cast<int64_t>(std::get<uint64_t>(v.scalar));
    if (!std::holds_alternative<int64_t>(v.scalar)) return std::nullopt;
    return std::get<int64_t>(v.scalar);
}

bool isInt16(const orva::opcua::DataValue& v, int64_t expected)
{
    return v.status == orva::opcua::status::Good && v.value.type == orva::opcua::BuiltinType::Int16 &&
           intOf(v.value) == expected;
}

std::string describe(const std::optional<orva::opcua::DataValue>& v)
{
    if (!v) return "none";
    std::ostringstream out;
    out << "type " << static_cast<int>(v->value.type) << " value " << intOf(v->value).value_or(-999)
        << " status 0x" << std::hex << v->status;
    return out.str();
}

uint16_t distinctPort(const std::set<int>& taken)
{
    for (int i = 0; i < 50; ++i) {
        const int port = freeLoopbackPort();
        if (port > 0 && !taken.contains(port)) return static_cast<uint16_t>(port);
    }
    return 0;
}

class RedundantPairOverUa : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("orva-e2e-redundancy-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "registry");
        fs::copy_file(ORVA_TORNEL_PATH, dir / "Tornel");

        std::set<int> taken;
        for (auto* sim : {&a, &b}) {
            orva::plcsim::SimulatorOptions options;
            options.port = distinctPort(taken);
            ASSERT_NE(options.port, 0);
            taken.insert(options.port);
            options.dataBlocks = {{kDataBlock, 16}, {kRedundancyBlock, 8}};
            *sim = std::make_unique<orva::plcsim::PlcSimulator>(options);
            std::string error;
            ASSERT_TRUE((*sim)->start(&error)) << error;
        }
        uaPort = distinctPort(taken);
        ASSERT_NE(uaPort, 0);

        // Cpu tells the CPUs apart; other bits of the status and command bytes are set so that
        // only the configured bits can count.
        setWord(*a, kDataBlock, 0, 1);
        setWord(*b, kDataBlock, 0, 2);
        setByte(*a, kRedundancyBlock, kStatusByte, 0x41);
        setByte(*b, kRedundancyBlock, kStatusByte, 0x41);
        setByte(*a, kRedundancyBlock, kCommandByte, 0x81);
        setByte(*b, kRedundancyBlock, kCommandByte, 0x02);
        setMaster(*a, true);

        std::ifstream in(ORVA_REDUNDANT_SAMPLE);
        std::stringstream sample;
        sample << in.rdbuf();
        std::string config = sample.str();
        ASSERT_FALSE(config.empty());
        replace(config, "@PORT_A@", std::to_string(a->port()));
        replace(config, "@PORT_B@", std::to_string(b->port()));
        std::ofstream(dir / "Tornel.xml") << config;
        const orva::registry::Registry registry(dir / "registry");
        const char* key = "SOFTWARE\\ORVAAutomation\\Tornel";
        ASSERT_EQ(registry.writeString(key, "OpcUaPort", std::to_string(uaPort)), orva::registry::Status::Ok);
        // The test's anonymous client commands the PLCs; the certificates stay in the test's folder.
        ASSERT_EQ(registry.writeString(key, "AnonymousAccess", "write"), orva::registry::Status::Ok);
        ASSERT_EQ(registry.writeString(key, "PkiFolder", (dir / "pki").string()), orva::registry::Status::Ok);

        tornel = std::make_unique<ServerProcess>((dir / "Tornel").string(), std::vector<std::string>{},
                                                 std::map<std::string, std::optional<std::string>>{
                                                     {"ORVA_REGISTRY_ROOT", (dir / "registry").string()},
                                                     {"DISPLAY", std::nullopt},
                                                     {"WAYLAND_DISPLAY", std::nullopt},
                                                     {"QT_QPA_PLATFORM", std::nullopt}});
        ASSERT_TRUE(tornel->waitForLine("OPC UA endpoint", 30s)) << "Tornel did not open its endpoint";
        ASSERT_TRUE(session.open(uaPort));
        ASSERT_TRUE(watcher.start(uaPort, {kState, kCpu}, 100));
    }

    void TearDown() override
    {
        if (tornel) {
            tornel->signal(SIGTERM);
            EXPECT_EQ(tornel->waitForExit(30s), std::optional<int>(0));
            tornel.reset();
        }
        a.reset();
        b.reset();
        fs::remove_all(dir);
    }

    static void replace(std::string& text, const std::string& from, const std::string& to)
    {
        for (size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, from.size(), to);
    }
    static void setByte(orva::plcsim::PlcSimulator& sim, uint16_t db, size_t offset, uint8_t value)
    {
        const uint8_t bytes[] = {value};
        sim.writeMemory(db, offset, bytes);
    }
    static uint8_t byteOf(const orva::plcsim::PlcSimulator& sim, uint16_t db, size_t offset)
    {
        uint8_t out[1] = {};
        sim.readMemory(db, offset, out);
        return out[0];
    }
    static void setWord(orva::plcsim::PlcSimulator& sim, uint16_t db, size_t offset, uint16_t value)
    {
        const uint8_t bytes[] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
        sim.writeMemory(db, offset, bytes);
    }
    static uint16_t wordOf(const orva::plcsim::PlcSimulator& sim, uint16_t db, size_t offset)
    {
        uint8_t out[2] = {};
        sim.readMemory(db, offset, out);
        return static_cast<uint16_t>(out[0] << 8 | out[1]);
    }
    // What the PLC program of a CPU reports: master or standby.
    static void setMaster(orva::plcsim::PlcSimulator& sim, bool master)
    {
        const uint8_t status = byteOf(sim, kRedundancyBlock, kStatusByte);
        setByte(sim, kRedundancyBlock, kStatusByte,
                static_cast<uint8_t>(master ? status | kMasterBit : status & ~kMasterBit));
    }
    static size_t requestsTo(const orva::plcsim::PlcSimulator& sim, bool write, uint16_t db,
                             uint32_t startByte)
    {
        const auto records = sim.requests();
        return static_cast<size_t>(std::count_if(records.begin(), records.end(), [&](const auto& r) {
            return r.write == write && r.dataBlock == db && (write ? r.startByte == startByte : true);
        }));
    }
    static size_t statusReads(const orva::plcsim::PlcSimulator& sim)
    {
        return requestsTo(sim, false, kRedundancyBlock, 0);
    }
    static size_t commands(const orva::plcsim::PlcSimulator& sim)
    {
        return requestsTo(sim, true, kRedundancyBlock, kCommandByte);
    }

    // Polls until the condition holds; the server's log keeps flowing meanwhile.
    bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            tornel->waitForLine("\n", 20ms);  // never matches: only drains the log
        }
        return true;
    }
    // The subscription shows the side in use and the value of Cpu read from that side.
    bool uses(int side, int cpu) const
    {
        const auto state = watcher.latest(kStateIndex);
        const auto value = watcher.latest(kCpuIndex);
        return state && isInt16(*state, side) && value && isInt16(*value, cpu);
    }
    std::string seen() const
    {
        return "state: " + describe(watcher.latest(kStateIndex)) +
               ", Cpu: " + describe(watcher.latest(kCpuIndex));
    }
    // ServerRedundancyState read directly, from the device (as most clients read) and from the cache.
    void expectReadState(int side)
    {
        for (const double maxAge : {0.0, kCached}) {
            const auto v = session.readValue(kState, maxAge);
            ASSERT_TRUE(v) << "no answer, MaxAge " << maxAge;
            EXPECT_TRUE(isInt16(*v, side)) << describe(v) << ", MaxAge " << maxAge;
        }
    }

    fs::path dir;
    std::unique_ptr<orva::plcsim::PlcSimulator> a, b;
    uint16_t uaPort = 0;
    std::unique_ptr<ServerProcess> tornel;
    UaSession session;
    UaWatcher watcher;
};

}  // namespace

TEST_F(RedundantPairOverUa, FollowsTheMasterSwitchesWhenItStopsAndCommandsWhenNoneIsMaster)
{
    // CPU A is master: the server reads A and says so, as a read-only Int16.
    ASSERT_TRUE(eventually([&] { return uses(0, 1); })) << seen();
    const auto attributes = session.read(
        {{kState, orva::opcua::attr::DataType}, {kState, orva::opcua::attr::AccessLevel}}, kCached);
    ASSERT_EQ(attributes.size(), 2u);
    ASSERT_TRUE(std::holds_alternative<orva::opcua::NodeId>(attributes[0].value.scalar));
    EXPECT_TRUE(std::get<orva::opcua::NodeId>(attributes[0].value.scalar).isNumeric(4)) << "not Int16";
    ASSERT_TRUE(intOf(attributes[1].value));
    EXPECT_EQ(*intOf(attributes[1].value) & 0x03, 0x01) << "not read-only";
    expectReadState(0);
    const auto refused =
        session.write(kState, orva::opcua::Variant::of(orva::opcua::BuiltinType::Int16, int64_t{1}));
    ASSERT_TRUE(refused);
    EXPECT_TRUE(orva::opcua::isBad(*refused));

    // The status bit moves from A to B (B takes over before A gives up, as a pair hands over).
    setMaster(*b, true);
    setMaster(*a, false);
    ASSERT_TRUE(eventually([&] { return uses(1, 2); })) << seen();
    expectReadState(1);
    const auto cpu = session.readValue(kCpu, 0);
    ASSERT_TRUE(cpu);
    EXPECT_TRUE(isInt16(*cpu, 2)) << describe(cpu);

    // And back to A.
    setMaster(*a, true);
    setMaster(*b, false);
    ASSERT_TRUE(eventually([&] { return uses(0, 1); })) << seen();

    // While both report master the server stays with A.
    setMaster(*b, true);
    const size_t readsBefore = statusReads(*a);
    ASSERT_TRUE(eventually([&] { return statusReads(*a) >= readsBefore + 5; }));
    EXPECT_TRUE(uses(0, 1)) << seen();

    // A stops: B is used, and a write issued at that moment lands in B exactly once.
    b->clearRequests();
    a->stop();
    const auto written =
        session.write(kSetpoint, orva::opcua::Variant::of(orva::opcua::BuiltinType::Int16, int64_t{1234}));
    ASSERT_TRUE(written) << "no answer to the write";
    EXPECT_EQ(*written, orva::opcua::status::Good) << std::hex << *written;
    ASSERT_TRUE(eventually([&] { return uses(1, 2); })) << seen();
    EXPECT_TRUE(eventually([&] { return wordOf(*b, kDataBlock, 4) == 1234; }));
    EXPECT_EQ(requestsTo(*b, true, kDataBlock, 4), 1u);
    EXPECT_EQ(wordOf(*a, kDataBlock, 4), 0);
    expectReadState(1);

    // A is back but neither CPU reports master: the server commands a CPU to take over, setting
    // the command bit and keeping the other bits of the command byte, five times and no more.
    // The server's tick is the machine's steady clock, whose first five minutes are a command pause.
    if (std::chrono::steady_clock::now().time_since_epoch() < 310s)
        GTEST_SKIP() << "the machine started less than five minutes ago: no commands yet";
    setMaster(*a, false);
    a->clearRequests();
    std::string error;
    ASSERT_TRUE(a->start(&error)) << error;
    setMaster(*b, false);
    EXPECT_TRUE(eventually([&] {
        return byteOf(*a, kRedundancyBlock, kCommandByte) == (0x81 | kCommandBit);
    })) << "command byte of A: "
        << int{byteOf(*a, kRedundancyBlock, kCommandByte)};
    EXPECT_TRUE(eventually([&] { return commands(*a) + commands(*b) >= 5; }));
    const size_t readsAfterBurst = statusReads(*a) + statusReads(*b);
    ASSERT_TRUE(eventually([&] { return statusReads(*a) + statusReads(*b) >= readsAfterBurst + 10; }));
    EXPECT_EQ(commands(*a) + commands(*b), 5u);
    EXPECT_EQ(byteOf(*b, kRedundancyBlock, kCommandByte) & ~kCommandBit, 0x02);
    const auto state = watcher.latest(kStateIndex);
    ASSERT_TRUE(state);
    EXPECT_TRUE(isInt16(*state, 0) || isInt16(*state, 1)) << describe(state);

    // Neither CPU reachable.
    a->stop();
    b->stop();
    ASSERT_TRUE(eventually([&] {
        const auto s = watcher.latest(kStateIndex);
        return s && isInt16(*s, 2);
    })) << seen();
    expectReadState(2);
    // The data of the pair is no longer good either.
    EXPECT_TRUE(eventually([&] {
        const auto now = watcher.latest(kCpuIndex);
        return now && now->status != orva::opcua::status::Good;
    })) << seen();
}

// The values of one Write call reach the communication thread together, so neighbouring tags go to
// the PLC as one write however busy the server is (the subscription keeps it polling meanwhile).
TEST_F(RedundantPairOverUa, TheValuesOfOneWriteCallReachThePlcAsOneWrite)
{
    ASSERT_TRUE(eventually([&] { return uses(0, 1); })) << seen();
    a->clearRequests();
    constexpr int kCalls = 25;
    for (int i = 1; i <= kCalls; ++i) {
        const auto results = session.write(
            {{kSetpoint, orva::opcua::Variant::of(orva::opcua::BuiltinType::Int16, int64_t{i})},
             {kLimit, orva::opcua::Variant::of(orva::opcua::BuiltinType::Int16, int64_t{1000 + i})}});
        ASSERT_EQ(results.size(), 2u) << "call " << i << " not answered";
        ASSERT_EQ(results[0], orva::opcua::status::Good) << "call " << i;
        ASSERT_EQ(results[1], orva::opcua::status::Good) << "call " << i;
    }
    EXPECT_EQ(wordOf(*a, kDataBlock, 4), kCalls);
    EXPECT_EQ(wordOf(*a, kDataBlock, 6), 1000 + kCalls);

    size_t writes = 0;
    for (const auto& r : a->requests()) {
        if (!r.write || r.dataBlock != kDataBlock) continue;
        ++writes;
        EXPECT_EQ(r.startByte, 4u) << orva::plcsim::formatRecord(r);
        EXPECT_EQ(r.size, 4u) << orva::plcsim::formatRecord(r);
    }
    EXPECT_EQ(writes, static_cast<size_t>(kCalls));
    EXPECT_EQ(requestsTo(*b, true, kDataBlock, 4), 0u) << "the standby CPU was written";
}
