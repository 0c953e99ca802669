// Vardel's polling through the real SAPI-S7 library against simulated PLCs found through a
// private connection database: values, writes, a PLC that stops and returns, and two PLCs of
// which one falls silent.

#include <chrono>
#include <thread>

#include "SapiFixture.h"
#include "SapiTestSupport.h"
#include "plcsim/PlcSimulator.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::sapi;
using namespace orva::sapi::test;
using namespace std::chrono_literals;

namespace {

std::unique_ptr<orva::plcsim::PlcSimulator> startPlc(uint16_t port = 0)
{
    orva::plcsim::SimulatorOptions options;
    options.port = port;
    options.dataBlocks = {{10, 64}};
    auto sim = std::make_unique<orva::plcsim::PlcSimulator>(options);
    EXPECT_TRUE(sim->start());
    return sim;
}

class SapiPlcsim : public SapiFixture {
protected:
    // PLCs by name, each served by its simulator, with tags Speed (VT_I2 at DB10.0) and Temp
    // (VT_R4 at DB10.2), all subscribed at 100 ms.
    void prepare(const std::vector<std::pair<std::string, orva::plcsim::PlcSimulator*>>& plcList)
    {
        std::vector<std::pair<std::string, std::string>> connections;
        std::string xml;
        std::vector<std::string> ids;
        for (const auto& [name, sim] : plcList) {
            connections.emplace_back(name, sim->endpoint() + " rack=0 slot=2");
            xml += vardelPlc(name, core::test::tagXml("Speed", "VT_I2", 0, 10) +
                                       core::test::tagXml("Temp", "VT_R4", 2, 10));
            ids.push_back(name + ".Speed");
            ids.push_back(name + ".Temp");
        }
        ASSERT_TRUE(database.setInterface("CP_H1_1:", connections));
        loadVardel(vardelFile("CP_H1_1:", xml), makeSapiLibrary(database.registry()));
        ASSERT_TRUE(thread->begin());
        group = subscribe(ids).get();
    }
    // Iterations 200 ms apart (in ticks) until the condition holds, within a generous bound.
    bool runUntil(const std::function<bool()>& condition, std::chrono::seconds bound = 20s)
    {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (!condition() && std::chrono::steady_clock::now() < end)
            run(1, 200);
        return condition();
    }

    orva::sapis7::test::TempDatabase database;
    orva::opc::client::Group* group = nullptr;  // the group of prepare(), kept by the fixture
};

TEST_F(SapiPlcsim, ValuesWritesAndAPlcThatStopsAndReturns)
{
    auto sim = startPlc();
    const uint16_t port = sim->port();
    ASSERT_TRUE(sim->writeMemory(10, 0, std::vector<uint8_t>{0x01, 0x2C, 0x42, 0x28, 0x00, 0x00}));
    prepare({{"Press", sim.get()}});
    ASSERT_TRUE(runUntil([&] { return quality("Press.Speed") == OPC_QUALITY_GOOD; }));
    EXPECT_EQ(value("Press.Speed").toInt64(), 300);
    EXPECT_FLOAT_EQ(static_cast<float>(value("Press.Temp").toDouble()), 42.0f);

    SOCmnVariant speed;
    speed.setI2(-1234);
    auto request =
        group->write(group->addItem("Press.Speed", false).handle, speed, nullptr, SODASREQUEST_TYPE_DEVICE);
    run(1, 200);
    const auto result = request->wait(5s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->result, S_OK);
    uint8_t memory[2] = {};
    ASSERT_TRUE(sim->readMemory(10, 0, memory));
    EXPECT_EQ(memory[0], 0xFB);
    EXPECT_EQ(memory[1], 0x2E);

    sim->stop();
    ASSERT_TRUE(runUntil([&] { return quality("Press.Speed") != OPC_QUALITY_GOOD; }));
    EXPECT_EQ(quality("Press.Speed"), 0x1C) << "a lost or refused connection is out of service";
    EXPECT_FALSE(sink.reports.empty());
    EXPECT_EQ(sink.reports.back().plc, "Press");

    sim.reset();
    auto back = startPlc(port);
    ASSERT_TRUE(back->writeMemory(10, 0, std::vector<uint8_t>{0x00, 0x05}));
    ASSERT_TRUE(runUntil([&] { return quality("Press.Speed") == OPC_QUALITY_GOOD; }));
    EXPECT_EQ(value("Press.Speed").toInt64(), 5);
    EXPECT_EQ(sink.reports.back(), (core::test::Report{0, "Press"}));
}

TEST_F(SapiPlcsim, ASilentPlcDoesNotDisturbTheOtherConnection)
{
    auto press = startPlc();
    auto oven = startPlc();
    prepare({{"Press", press.get()}, {"Oven", oven.get()}});
    ASSERT_TRUE(runUntil([&] {
        return quality("Press.Speed") == OPC_QUALITY_GOOD && quality("Oven.Speed") == OPC_QUALITY_GOOD;
    }));
    orva::plcsim::Faults slow;
    slow.responseDelay = 3s;
    oven->setFaults(slow);
    ASSERT_TRUE(runUntil([&] { return quality("Oven.Speed") == 0x18; }));
    EXPECT_EQ(std::count(sink.reports.begin(), sink.reports.end(), core::test::Report{124, "Oven"}), 1);
    EXPECT_EQ(access->errorText(124), "Connection error: dropped");
    ASSERT_TRUE(press->writeMemory(10, 0, std::vector<uint8_t>{0x00, 0x63}));
    ASSERT_TRUE(runUntil([&] { return value("Press.Speed").toInt64() == 99; }));
    EXPECT_EQ(quality("Press.Speed"), OPC_QUALITY_GOOD);
    EXPECT_EQ(press->acceptedConnections(), 1u) << "the interface was never reopened";
}

TEST_F(SapiPlcsim, PlcMissingFromTheDatabaseShowsTheLibrarysText)
{
    auto press = startPlc();
    ASSERT_TRUE(database.setInterface("CP_H1_1:", {{"Press", press->endpoint()}}));
    loadVardel(vardelFile("CP_H1_1:", vardelPlc("Mill", core::test::tagXml("Speed", "VT_I2", 0, 10))),
               makeSapiLibrary(database.registry()));
    ASSERT_TRUE(thread->begin());
    subscribe({"Mill.Speed"});
    ASSERT_TRUE(runUntil([&] { return !sink.reports.empty(); }));
    EXPECT_EQ(sink.reports.back(), (core::test::Report{orva::sapis7::kSapiUnknownConnection, "Mill"}));
    EXPECT_EQ(access->errorText(orva::sapis7::kSapiUnknownConnection),
              "connection Mill is not configured for interface CP_H1_1:");
}

}  // namespace
