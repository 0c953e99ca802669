// The communication thread end to end: a Tornel server in this process, the real TCP/IP access
// library and the S7 PLC simulator, observed through the in-process OPC client.

#include <filesystem>

#include "PolledGroup.h"
#include "ServerProcess.h"
#include "TornelServer.h"
#include "plcsim/PlcSimulator.h"
#include "process/HeadlessWindow.h"
#include "process/ServerIdentity.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::e2e;
using namespace orva::opc::client;

namespace {

std::string tags()
{
    return tagElement("I2", "VT_I2", 0) + tagElement("R4", "VT_R4", 4) +
           tagElement("Bit", "VT_BOOL", 8, 1, "<databit>3</databit>") +
           tagElement("Text", "VT_BSTR", 10, 1, "<elements>4</elements>") +
           tagElement("Arr", "VT_I2 ARRAY", 20, 1, "<elements>3</elements>") +
           tagElement("U4", "VT_UI4", 40) + tagElement("B", "VT_UI1", 0, 2);
}

class CommPlcsim : public ::testing::Test, protected PolledGroup {
protected:
    void SetUp() override
    {
        orva::plcsim::SimulatorOptions options;
        options.port = static_cast<uint16_t>(freeLoopbackPort());
        options.dataBlocks = {{1, 256}, {2, 16}};
        sim = std::make_unique<orva::plcsim::PlcSimulator>(options);
        std::string error;
        ASSERT_TRUE(sim->start(&error)) << error;
        const uint8_t db1[] = {0xFF, 0xFE, 0, 0, 0x3F, 0x80, 0, 0, 0xF8, 0, 'A', 'B', 'C', 'D'};
        sim->writeMemory(1, 0, db1);
        const uint8_t arr[] = {0, 1, 0xFF, 0xFF, 0x01, 0x02};
        sim->writeMemory(1, 20, arr);
        const uint8_t u4[] = {0x80, 0, 0, 1};
        sim->writeMemory(1, 40, u4);
        const uint8_t b[] = {200};
        sim->writeMemory(2, 0, b);
        server = std::make_unique<TornelServer>(plcElement("P", sim->endpoint(), tags()));
        ASSERT_TRUE(server->loaded());
    }
    void TearDown() override
    {
        server.reset();
        sim.reset();
    }

    // Subscribes every tag in one 100 ms group.
    void subscribeAll() { subscribe(*server, {"I2", "R4", "Bit", "Text", "Arr", "U4", "B"}); }

    std::unique_ptr<orva::plcsim::PlcSimulator> sim;
    std::unique_ptr<TornelServer> server;
};

}  // namespace

TEST_F(CommPlcsim, SubscribedValuesArriveGoodWithTheirTypes)
{
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));

    EXPECT_EQ(cached("I2").value.getType(), VT_I2);
    EXPECT_EQ(cached("I2").value.toInt64(), -2);
    EXPECT_EQ(cached("R4").value.getType(), VT_R4);
    EXPECT_EQ(cached("R4").value.toDouble(), 1.0);
    EXPECT_EQ(cached("Bit").value.getType(), VT_BOOL);
    EXPECT_EQ(cached("Bit").value.toInt64(), VARIANT_TRUE);
    EXPECT_EQ(cached("Text").value.getString(), u"ABCD");
    const SOCmnVariant arr = cached("Arr").value;
    EXPECT_EQ(arr.getType(), VT_ARRAY | VT_I2);
    ASSERT_EQ(arr.getArrayLength(), 3u);
    EXPECT_EQ(arr.getArrayInt(0), 1);
    EXPECT_EQ(arr.getArrayInt(1), -1);
    EXPECT_EQ(arr.getArrayInt(2), 258);
    EXPECT_EQ(cached("U4").value.getType(), VT_UI4);
    EXPECT_EQ(cached("U4").value.toInt64(), 0x80000001LL);
    EXPECT_EQ(cached("B").value.toInt64(), 200);

    // The neighbours of DB1 share one read, the array has one of its own.
    bool sharedBlock = false, arrayBlock = false;
    for (const auto& r : sim->requests()) {
        EXPECT_LE(r.size, 222u);
        if (r.dataBlock == 1 && r.startByte == 0 && r.size == 44) sharedBlock = true;
        if (r.dataBlock == 1 && r.startByte == 20 && r.size == 6) arrayBlock = true;
    }
    EXPECT_TRUE(sharedBlock);
    EXPECT_TRUE(arrayBlock);
    // The status dialog's view: the three blocks with their tags, values and qualities.
    const process::StatusSnapshot snapshot = server->communication().snapshotProvider()();
    ASSERT_EQ(snapshot.plcs.size(), 1u);
    EXPECT_EQ(snapshot.plcs[0].name, "P");
    std::size_t tagsShown = 0;
    for (const auto& block : snapshot.plcs[0].blocks) {
        for (const auto& tag : block.tags) {
            ++tagsShown;
            EXPECT_EQ(tag.quality, OPC_QUALITY_GOOD) << tag.name;
            if (tag.name == "I2") {
                EXPECT_EQ(process::valueDisplayText(tag), "-2");
            }
        }
    }
    EXPECT_EQ(snapshot.plcs[0].blocks.size(), 3u);
    EXPECT_EQ(tagsShown, 7u);
    // Values keep changing with the PLC.
    const uint8_t next[] = {0, 42};
    sim->writeMemory(1, 0, next);
    EXPECT_TRUE(eventually([&] { return cached("I2").value.toInt64() == 42; }));
}

TEST_F(CommPlcsim, WritesLandInThePlcsMemoryAndComeBackThroughPolling)
{
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));
    CompletionCounter counter;
    SOCmnVariant i2, bit, text, u4;
    i2.setI2(1234);
    bit.setBool(false);
    text.setString(u"Hi");
    u4.setUI4(0xDEADBEEF);
    std::vector<RequestPtr> requests{group->write(handles["I2"], i2, counter.callback()),
                                     group->write(handles["Bit"], bit, counter.callback()),
                                     group->write(handles["Text"], text, counter.callback()),
                                     group->write(handles["U4"], u4, counter.callback())};
    for (const auto& r : requests) {
        const auto result = r->wait(std::chrono::seconds(10));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->result, S_OK);
    }
    std::vector<uint8_t> memory(44);
    ASSERT_TRUE(sim->readMemory(1, 0, memory));
    EXPECT_EQ(memory[0], 0x04);
    EXPECT_EQ(memory[1], 0xD2);
    EXPECT_EQ(memory[8], 0xF0);  // only bit 3 cleared
    EXPECT_EQ(std::string(memory.begin() + 10, memory.begin() + 14), std::string("Hi\0\0", 4));
    EXPECT_EQ(memory[40], 0xDE);
    EXPECT_EQ(memory[43], 0xEF);
    EXPECT_TRUE(eventually([&] {
        return cached("I2").value.toInt64() == 1234 &&
               cached("Text").value.getString() == std::u16string(u"Hi\0\0", 4);
    }));
    EXPECT_TRUE(eventually([&] { return counter.count() == 4; }));
}

TEST_F(CommPlcsim, AStoppedPlcGivesBadQualityAndAReportAndComesBackWithoutARestart)
{
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));

    sim->stop();
    ASSERT_TRUE(eventually([&] {
        const uint16_t q = cached("I2").quality;
        return q != OPC_QUALITY_GOOD && q != OPC_QUALITY_UNCERTAIN;
    }));
    ASSERT_TRUE(eventually([&] { return server->reports().lastCode().value_or(0) != 0; }));
    EXPECT_EQ(server->reports().reports().back().plc, server->plcs().at(0));
    EXPECT_FALSE(server->communication().errorText()(*server->reports().lastCode()).empty());
    // Values stay; only the quality is lowered.
    EXPECT_EQ(cached("I2").value.toInt64(), -2);

    std::string error;
    ASSERT_TRUE(sim->start(&error)) << error;
    EXPECT_TRUE(eventually([&] { return allGood(); }));
    EXPECT_TRUE(eventually([&] { return server->reports().lastCode() == 0; }));
}

TEST_F(CommPlcsim, EveryRequestIsCompletedExactlyOnceEvenWhileThePlcIsAway)
{
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));
    CompletionCounter counter;
    constexpr int perClient = 40;
    std::vector<RequestPtr> requests;
    std::mutex requestsMutex;
    auto client = [&](int id) {
        auto own = server->client().addGroup("c" + std::to_string(id), 1000, false);
        const ItemHandle i2 = own->addItem("P.I2", false).handle;
        const ItemHandle text = own->addItem("P.Text", false).handle;
        for (int i = 0; i < perClient; ++i) {
            SOCmnVariant v;
            v.setI2(static_cast<int16_t>(i));
            RequestPtr w = own->write(i2, v, counter.callback());
            RequestPtr r = own->readDevice(i % 2 ? i2 : text, counter.callback());
            std::lock_guard lock(requestsMutex);
            requests.push_back(w);
            requests.push_back(r);
            if (i % 8 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
    };
    std::thread a(client, 1), b(client, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    sim->stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::string error;
    ASSERT_TRUE(sim->start(&error)) << error;
    a.join();
    b.join();
    ASSERT_EQ(requests.size(), 4u * perClient);
    EXPECT_TRUE(eventually([&] { return counter.count() == 4 * perClient; }, std::chrono::seconds(20)));
    for (const auto& r : requests)
        EXPECT_TRUE(r->isDone());
    // No completion comes twice.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(counter.count(), 4 * perClient);
}

TEST_F(CommPlcsim, TheMainWindowShowsTheErrorOnThePlcsLineAndClearsItWhenThePlcIsBack)
{
    std::mutex linesMutex;
    std::vector<std::string> lines;
    auto logged = [&](const std::string& part) {
        std::lock_guard lock(linesMutex);
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    };
    process::LogSink log("Tornel", [&](std::string_view line) {
        std::lock_guard lock(linesMutex);
        lines.emplace_back(line);
    });
    process::HeadlessWindow window(process::serverIdentity(config::ServerKind::Tornel), log,
                                   server->communication().errorText());
    window.setPlcs(process::plcLines(server->plcs()));
    server->forwardReportsTo(window);
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));
    sim->stop();
    EXPECT_TRUE(eventually([&] { return logged(" on P"); }));
    std::string error;
    ASSERT_TRUE(sim->start(&error)) << error;
    EXPECT_TRUE(eventually([&] { return logged("no communication error"); }));
    server->stop();  // no report may reach the window after it is gone
}

TEST(CommEmpty, AnEmptyPlcListIsReportedAndTheThreadEnds)
{
    TornelServer server("");
    ASSERT_TRUE(server.loaded());
    server.start();
    EXPECT_TRUE(eventually([&] { return server.reports().noPlcReports() == 1; }));
    server.stop();
    EXPECT_TRUE(server.reports().reports().empty());
}
