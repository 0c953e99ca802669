// The communication thread against an independent S7 PLC, node-snap7's S7Server: which reads and
// writes reach the PLC, the values and qualities the client sees, a PLC that stops and returns.

#include <map>
#include <set>

#include "ChildProcess.h"
#include "PolledGroup.h"
#include "TornelServer.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::e2e;
using namespace orva::opc::client;

namespace {

class CommSnap7 : public ::testing::Test, protected PolledGroup {
protected:
    void SetUp() override
    {
        if (orva::interop::peersFolder().empty())
            GTEST_SKIP() << "node-snap7 is not installed (npm ci in tests/interop)";
        port = orva::interop::freeLoopbackPort();
        plc = std::make_unique<orva::interop::ChildProcess>(
            "node", std::vector<std::string>{ORVA_COMM_INTEROP_DIR "/snap7_plc.js", std::to_string(port)});
        ASSERT_TRUE(plc->started());
        ASSERT_EQ(plc->waitFor("ready"), "ready " + std::to_string(port));
        // I2 -2 at 0, R4 1.0 at 4, bit 3 set at 8, "ABCD" at 10; I2 258 at 100.
        command("set 1 0 fffe00003f8000000800414243440000", "set");
        command("set 1 100 0102", "set");
        const std::string endpoint = "127.0.0.1:" + std::to_string(port);
        const std::string tags = tagElement("I2", "VT_I2", 0) + tagElement("R4", "VT_R4", 4) +
                                 tagElement("Bit", "VT_BOOL", 8, 1, "<databit>3</databit>") +
                                 tagElement("Text", "VT_BSTR", 10, 1, "<elements>4</elements>") +
                                 tagElement("Far", "VT_I2", 100);
        server = std::make_unique<TornelServer>(plcElement("P", endpoint, tags));
        ASSERT_TRUE(server->loaded());
    }
    void TearDown() override
    {
        server.reset();
        if (plc) plc->send("quit");
        plc.reset();
    }

    // Sends a command and reads up to its answer, collecting the access lines on the way.
    std::string command(const std::string& line, const std::string& answerPrefix)
    {
        plc->send(line);
        for (int i = 0; i < 10000; ++i) {
            const std::string out = plc->readLine(std::chrono::seconds(10));
            if (out.empty()) return {};
            if (out.rfind(answerPrefix, 0) == 0) return out;
            accesses.insert(out);
        }
        return {};
    }
    // Reads access lines until every expected one has been seen, for at most five seconds.
    bool seen(const std::vector<std::string>& expected)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        auto all = [&] {
            for (const auto& e : expected)
                if (!accesses.count(e)) return false;
            return true;
        };
        while (!all() && std::chrono::steady_clock::now() < deadline) {
            const std::string out = plc->readLine(std::chrono::milliseconds(200));
            if (!out.empty()) accesses.insert(out);
        }
        return all();
    }
    void subscribeAll() { subscribe(*server, {"I2", "R4", "Bit", "Text", "Far"}); }

    int port = 0;
    std::unique_ptr<orva::interop::ChildProcess> plc;
    std::unique_ptr<TornelServer> server;
    std::set<std::string> accesses;
};

}  // namespace

TEST_F(CommSnap7, NeighboursAreReadTogetherAndArriveGoodWithTheirTypes)
{
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));
    EXPECT_EQ(cached("I2").value.getType(), VT_I2);
    EXPECT_EQ(cached("I2").value.toInt64(), -2);
    EXPECT_EQ(cached("R4").value.toDouble(), 1.0);
    EXPECT_EQ(cached("Bit").value.toInt64(), VARIANT_TRUE);
    EXPECT_EQ(cached("Text").value.getString(), u"ABCD");
    EXPECT_EQ(cached("Far").value.toInt64(), 258);
    // Bytes 0 to 13 in one read; byte 100 lies 86 bytes further, beyond the gap: a read of its own.
    EXPECT_TRUE(seen({"read 1 0 14", "read 1 100 2"})) << ::testing::PrintToString(accesses);
    for (const auto& a : accesses)
        EXPECT_TRUE(a.rfind("read 1 ", 0) == 0) << a;
}

TEST_F(CommSnap7, WritesLandInThePlcWithNeighboursInOneCall)
{
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));
    SOCmnVariant i2, r4, bit;
    i2.setI2(1234);
    r4.setR4(-2.5f);
    bit.setBool(false);
    auto a = group->write(handles["I2"], i2);
    auto b = group->write(handles["R4"], r4);
    auto c = group->write(handles["Bit"], bit);
    for (const auto& r : {a, b, c}) {
        const auto result = r->wait(std::chrono::seconds(10));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->result, S_OK);
    }
    const std::string dump = command("dump 1", "DB1 ");
    ASSERT_GE(dump.size(), 4u + 2 * 9);
    EXPECT_EQ(dump.substr(4, 2 * 9),
              "04d2"
              "0000"
              "c0200000"
              "00");
    // I2 at 0 and R4 at 4 are two bytes apart: written separately, never the bytes between. R4
    // and the bit at 8 touch: one block, read first because of the bit, written in one call.
    EXPECT_TRUE(seen({"write 1 0 2", "read 1 4 5", "write 1 4 5"})) << ::testing::PrintToString(accesses);
    EXPECT_TRUE(eventually([&] { return cached("I2").value.toInt64() == 1234; }));
}

TEST_F(CommSnap7, AStoppedPlcGivesBadQualityAndAReportAndComesBack)
{
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));
    ASSERT_EQ(command("stop", "stopped"), "stopped");
    ASSERT_TRUE(eventually([&] {
        const uint16_t q = cached("I2").quality;
        return q != OPC_QUALITY_GOOD && q != OPC_QUALITY_UNCERTAIN;
    }));
    EXPECT_TRUE(eventually([&] { return server->reports().lastCode().value_or(0) != 0; }));
    ASSERT_EQ(command("start", "started"), "started");
    EXPECT_TRUE(eventually([&] { return allGood(); }, std::chrono::seconds(20)));
    EXPECT_TRUE(eventually([&] { return server->reports().lastCode() == 0; }));
}

TEST_F(CommSnap7, EveryRequestIsCompletedExactlyOnceAlsoAcrossAStop)
{
    server->start();
    subscribeAll();
    ASSERT_TRUE(eventually([&] { return allGood(); }));
    CompletionCounter counter;
    auto own = server->client().addGroup("requests", 1000, false);
    const ItemHandle i2 = own->addItem("P.I2", false).handle;
    const ItemHandle far = own->addItem("P.Far", false).handle;
    std::vector<RequestPtr> requests;
    constexpr int rounds = 30;
    for (int i = 0; i < rounds; ++i) {
        if (i == rounds / 3) {
            ASSERT_EQ(command("stop", "stopped"), "stopped");
        }
        if (i == 2 * rounds / 3) {
            ASSERT_EQ(command("start", "started"), "started");
        }
        SOCmnVariant v;
        v.setI2(static_cast<int16_t>(i));
        requests.push_back(own->write(i2, v, counter.callback()));
        requests.push_back(own->readDevice(far, counter.callback()));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(eventually([&] { return counter.count() == 2 * rounds; }, std::chrono::seconds(30)));
    for (const auto& r : requests)
        EXPECT_TRUE(r->isDone());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(counter.count(), 2 * rounds);
    // The PLC is back: the last write lands.
    EXPECT_TRUE(eventually([&] {
        SOCmnVariant v;
        v.setI2(999);
        auto r = own->write(i2, v);
        const auto result = r->wait(std::chrono::seconds(10));
        return result && result->result == S_OK;
    }));
}
