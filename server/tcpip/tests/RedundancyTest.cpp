// Supervision of a redundant PLC against the recording fake library, whose side B has memory of
// its own: which side is selected, when the status is read, when a side is commanded, and what
// ServerRedundancyState shows.

#include <algorithm>

#include "CommFixture.h"
#include "tcpip/Redundancy.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;
using namespace orva::tcpip;
using namespace orva::opc::client;

namespace {

// Status bit 0 of DB20 byte 0, command bit 2 of DB20 byte 1.
const char* const kRedundancy =
    "<redundancy><addressB>127.0.0.2</addressB><Block>20</Block><StatusByte>0</StatusByte>"
    "<StatusBit>0</StatusBit><CmdByte>1</CmdByte><CmdBit>2</CmdBit></redundancy>";
constexpr uint16_t B = FakeTransport::SIDE_B;

class Redundancy : public CommFixture {
protected:
    // A redundant PLC "R" with tag T (VT_I2 at DB1.0) and a plain PLC "Q" with tag U.
    void prepare()
    {
        loadPlcs("<PLC name=\"R\" address=\"127.0.0.1\">" + std::string(kRedundancy) + "<tags>" +
                 tagXml("T", "VT_I2", 0) + "</tags></PLC>" + plc("Q", tagXml("U", "VT_I2", 0)));
        thread->setRedundancyHooks(&supervision);
        ASSERT_TRUE(thread->begin());
        fake.calls.clear();
    }
    void master(uint16_t side, bool on)
    {
        fake.db(static_cast<uint16_t>(1 + (side ? B : 0)), 20)[0] = on ? 1 : 0;
    }
    S7Plc& r() { return plcAt(0); }
    // ServerRedundancyState as the client sees it: value (or -1) and quality.
    std::pair<int, uint16_t> state()
    {
        SOCmnVariant v;
        auto cache = r().serverStateTag->getCache();
        if (!cache->getValue(v) || v.getType() != VT_I2) return {-1, cache->getQuality()};
        return {static_cast<int>(v.toInt64()), cache->getQuality()};
    }
    std::shared_ptr<Group> subscribe(const std::string& id, uint32_t rate)
    {
        auto g = connection->addGroup(id + std::to_string(rate), rate);
        EXPECT_EQ(g->addItem(id).result, S_OK);
        return g;
    }
    long count(const std::string& call) const
    {
        return std::count(fake.calls.begin(), fake.calls.end(), call);
    }

    RedundancySupervision supervision;
};

}  // namespace

TEST_F(Redundancy, TheStatusBlockFollowsTheFastestClientWithinTheLimitAndLeavesWithTheLastClient)
{
    prepare();
    auto slow = subscribe("R.T", 5000);
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+2@5000", "DB20:0+2@1000"}));
    EXPECT_EQ(r().redundancyBlock, r().blocks[1].get());
    auto fast = subscribe("R.T", 200);
    run(1);
    // T moved to a 200 ms block, and the status block follows it.
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB20:0+2@200", "DB1:0+2@200"}));
    fast.reset();
    slow.reset();
    run(1);
    // Nobody polls the PLC any more: the status block goes too, and the PLC is left alone.
    EXPECT_TRUE(blocks().empty());
    EXPECT_EQ(r().redundancyBlock, nullptr);
    fake.calls.clear();
    run(4, 1001);
    EXPECT_EQ(count("select 1 0") + count("select 1 1"), 0);
    // The next application of changes (on any PLC) brings it back, the one after takes it away.
    auto other = subscribe("Q.U", 100);
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB20:0+2@1000"}));
    other.reset();
    run(1);
    EXPECT_TRUE(blocks().empty());
}

TEST_F(Redundancy, AMasterSideAIsKeptAndPublishedAsZero)
{
    prepare();
    master(0, true);
    auto g = subscribe("R.T", 100);
    run(6, 101);
    EXPECT_EQ(r().redundancySide, 0u);
    EXPECT_EQ(state(), std::make_pair(0, uint16_t{OPC_QUALITY_GOOD}));
    EXPECT_EQ(count("select 1 1"), 0);
    EXPECT_GE(count("read 20 0 2"), 2);
    EXPECT_EQ(fake.only("write").size(), 0u);
    // Its subscription changes are dropped: the server's own state never enters a block.
    auto s = subscribe("R.ServerRedundancyState", 100);
    run(1);
    for (const auto& b : r().blocks)
        EXPECT_NE(b->dataBlock, 0);
}

TEST_F(Redundancy, ANonMasterSideIsLeftForTheMasterSide)
{
    prepare();
    master(0, false);
    master(1, true);
    auto g = subscribe("R.T", 100);
    run(1);
    fake.calls.clear();
    run(1, 101);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"select 1 0", "read 20 0 2", "select 1 1", "read 20 0 2",
                                                    "read 1 0 2"}));
    EXPECT_EQ(r().redundancySide, 1u);
    EXPECT_EQ(state(), std::make_pair(1, uint16_t{OPC_QUALITY_GOOD}));
    // Writes and reads go to side B from now on.
    fake.db(1 + B, 1)[1] = 9;
    run(3, 101);
    EXPECT_EQ(value("R.T").toInt64(), 9);
}

TEST_F(Redundancy, AnUnreachableSideAIsLeftForSideB)
{
    prepare();
    master(1, true);
    fake.inject = [](const std::string& call) { return call == "select 1 0" ? 20 : 0; };
    auto g = subscribe("R.T", 100);
    run(1);
    EXPECT_EQ(r().redundancySide, 1u);
    EXPECT_EQ(state(), std::make_pair(1, uint16_t{OPC_QUALITY_GOOD}));
    EXPECT_EQ(thread->currentError(), 0);
    EXPECT_TRUE(fake.only("close").empty());
}

TEST_F(Redundancy, NeitherSideSelectableShowsTwoAndReopensTheTable)
{
    prepare();
    fake.inject = [](const std::string& call) { return call.rfind("select 1", 0) == 0 ? 23 : 0; };
    auto g = subscribe("R.T", 100);
    run(1);
    EXPECT_EQ(state(), std::make_pair(2, uint16_t{OPC_QUALITY_GOOD}));
    EXPECT_EQ(fake.only("close").size(), 1u);
    EXPECT_EQ(fake.openCount, 2);
    EXPECT_EQ(sink.reports.back(), (Report{23, "R"}));
    // Side B stays in use across the reopening; when it answers again it is master.
    fake.inject = nullptr;
    master(1, true);
    run(4, 101);
    EXPECT_EQ(state(), std::make_pair(1, uint16_t{OPC_QUALITY_GOOD}));
}

TEST_F(Redundancy, WithoutAMasterTheSideReachedIsCommandedFiveTimesThenPausesFiveMinutes)
{
    prepare();
    master(0, false);
    master(1, false);
    fake.db(1, 20)[1] = 0x81;  // other bits of the command byte are kept
    auto g = subscribe("R.T", 100);
    run(1);
    // Commands wait until the tick has passed the first pause.
    run(3, 101);
    EXPECT_TRUE(fake.only("write").empty());
    ticks.advance(300000);
    fake.calls.clear();
    run(14, 101);
    EXPECT_EQ(fake.only("write").size(), 5u);
    EXPECT_TRUE(fake.db(1, 20)[1] == 0x85 || fake.db(1 + B, 20)[1] == 0x04);
    EXPECT_EQ(thread->currentError(), 0);
    // Five minutes of silence, then the next burst.
    fake.calls.clear();
    run(20, 10000);
    EXPECT_TRUE(fake.only("write").empty());
    run(10, 101);
    EXPECT_TRUE(fake.only("write").empty());
    ticks.advance(300000);
    run(2, 101);
    const auto writes = fake.only("write");
    EXPECT_FALSE(writes.empty());
    for (const auto& w : writes)
        EXPECT_EQ(w, "write 20 1 1");
    EXPECT_EQ(state().second, OPC_QUALITY_GOOD);
}

TEST_F(Redundancy, AFailedStatusReadKeepsTheLastMasterAndReturnsTheError)
{
    prepare();
    master(0, true);
    auto g = subscribe("R.T", 100);
    run(3, 101);
    ASSERT_EQ(state().first, 0);
    fake.inject = [](const std::string& call) { return call == "read 20 0 2" ? 85 : 0; };
    fake.calls.clear();
    run(2, 101);
    // Still master by the last value; the error marks the status block's tags only.
    EXPECT_EQ(r().redundancySide, 0u);
    EXPECT_EQ(count("select 1 1"), 0);
    EXPECT_EQ(r().redundancyStatusTag->getCache()->getQuality(), OPC_QUALITY_DEVICE_FAILURE);
    EXPECT_NE(std::find(sink.reports.begin(), sink.reports.end(), Report{85, "R"}), sink.reports.end());
    EXPECT_TRUE(fake.only("close").empty());
}

TEST_F(Redundancy, WhileCommandsPauseTheStateStillNamesTheSideInUse)
{
    prepare();
    master(1, false);
    fake.inject = [](const std::string& call) { return call == "select 1 0" ? 20 : 0; };
    auto g = subscribe("R.T", 100);
    run(1);  // the tick is below the first pause: no command
    EXPECT_TRUE(fake.only("write").empty());
    EXPECT_EQ(r().redundancySide, 1u);
    EXPECT_EQ(state(), std::make_pair(1, uint16_t{OPC_QUALITY_GOOD}));
}

TEST_F(Redundancy, AWriteAfterTheSideInUseStoppedLandsOnceInTheOtherSide)
{
    prepare();
    master(0, true);
    master(1, true);
    auto g = subscribe("R.T", 100);
    run(3, 101);
    ASSERT_EQ(r().redundancySide, 0u);
    // Side A stops between two steps, and a client writes before the next step notices.
    fake.inject = [](const std::string& call) { return call == "select 1 0" ? 20 : 0; };
    auto io = connection->addGroup("io", 1000, false);
    const ItemHandle item = io->addItem("R.T", false).handle;
    fake.calls.clear();
    SOCmnVariant v;
    v.setI2(77);
    auto request = io->write(item, v);
    thread->iterate();
    const auto result = request->wait(std::chrono::seconds(5));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->result, S_OK);
    ASSERT_GE(fake.calls.size(), 3u);
    EXPECT_EQ(fake.calls[0], "select 1 0");
    EXPECT_EQ(fake.calls[1], "select 1 1");
    EXPECT_EQ(count("write 1 0 2"), 1);
    EXPECT_EQ(fake.db(1 + B, 1)[1], 77);
    EXPECT_EQ(fake.db(1, 1)[1], 0);
    EXPECT_EQ(state(), std::make_pair(1, uint16_t{OPC_QUALITY_GOOD}));
}

TEST_F(Redundancy, ADeviceReadOfTheServerStateIsAnsweredWithoutThePlc)
{
    prepare();
    master(1, true);
    auto g = subscribe("R.T", 100);
    run(3, 101);
    ASSERT_EQ(state(), std::make_pair(1, uint16_t{OPC_QUALITY_GOOD}));
    auto io = connection->addGroup("io", 1000, false);
    const ItemHandle item = io->addItem("R.ServerRedundancyState", false).handle;
    fake.calls.clear();
    auto request = io->readDevice(item);
    thread->iterate();
    const auto result = request->wait(std::chrono::seconds(5));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->result, S_OK);
    EXPECT_EQ(result->quality, OPC_QUALITY_GOOD);
    EXPECT_EQ(result->value.getType(), VT_I2);
    EXPECT_EQ(result->value.toInt64(), 1);
    for (const auto& call : fake.calls)
        EXPECT_NE(call.rfind("read 0 ", 0), 0u) << call;
    EXPECT_EQ(state(), std::make_pair(1, uint16_t{OPC_QUALITY_GOOD}));
}
