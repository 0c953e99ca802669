// A redundant Tornel PLC end to end: two PLC simulators as side A and side B, the real TCP/IP
// access library, and ServerRedundancyState and a tag's value as the client sees them.

#include "TornelServer.h"
#include "plcsim/PlcSimulator.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::e2e;
using namespace orva::opc::client;

namespace {

class RedundancyPlcsim : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (auto* sim : {&a, &b}) {
            orva::plcsim::SimulatorOptions options;
            options.dataBlocks = {{1, 16}, {20, 4}};
            *sim = std::make_unique<orva::plcsim::PlcSimulator>(options);
            ASSERT_TRUE((*sim)->start());
        }
        // T tells the sides apart: 1 on side A, 2 on side B.
        setByte(*a, 1, 1, 1);
        setByte(*b, 1, 1, 2);
        const std::string plc =
            "<PLC name=\"R\" address=\"" + a->endpoint() + "\"><redundancy><addressB>" + b->endpoint() +
            "</addressB><Block>20</Block><StatusByte>0</StatusByte><StatusBit>0</StatusBit>"
            "<CmdByte>1</CmdByte><CmdBit>2</CmdBit></redundancy><tags>" +
            tagElement("T", "VT_I2", 0) + "</tags></PLC>";
        server = std::make_unique<TornelServer>(plc);
        ASSERT_TRUE(server->loaded());
    }
    void TearDown() override
    {
        server.reset();
        a.reset();
        b.reset();
    }
    static void setByte(orva::plcsim::PlcSimulator& sim, uint16_t db, std::size_t offset, uint8_t value)
    {
        const uint8_t bytes[] = {value};
        sim.writeMemory(db, offset, bytes);
    }
    static uint8_t byteOf(orva::plcsim::PlcSimulator& sim, uint16_t db, std::size_t offset)
    {
        uint8_t out[1] = {};
        sim.readMemory(db, offset, out);
        return out[0];
    }
    void subscribe()
    {
        group = server->client().addGroup("g", 100);
        t = group->addItem("R.T").handle;
        const AddItemResult s = group->addItem("R.ServerRedundancyState");
        ASSERT_EQ(s.result, S_OK);
        ASSERT_EQ(s.nativeType, VT_I2);
        state = s.handle;
    }
    // The side the server uses, as the client sees it, and the tag's value.
    bool uses(int side, int value)
    {
        const RequestResult s = group->readCache(state);
        const RequestResult v = group->readCache(t);
        return s.quality == OPC_QUALITY_GOOD && s.value.getType() == VT_I2 && s.value.toInt64() == side &&
               v.quality == OPC_QUALITY_GOOD && v.value.toInt64() == value;
    }

    std::unique_ptr<orva::plcsim::PlcSimulator> a, b;
    std::unique_ptr<TornelServer> server;
    std::shared_ptr<Group> group;
    ItemHandle t = 0, state = 0;
};

}  // namespace

TEST_F(RedundancyPlcsim, TheServerFollowsTheMasterAndTellsWhichSideItUses)
{
    setByte(*a, 20, 0, 1);
    server->start();
    subscribe();
    ASSERT_TRUE(eventually([&] { return uses(0, 1); }));

    // B becomes master.
    setByte(*a, 20, 0, 0);
    setByte(*b, 20, 0, 1);
    ASSERT_TRUE(eventually([&] { return uses(1, 2); }));

    // B goes away: A is used although it does not report master, and is asked to take over.
    b->stop();
    ASSERT_TRUE(eventually([&] { return uses(0, 1); }));
    EXPECT_TRUE(eventually([&] { return (byteOf(*a, 20, 1) & 0x04) != 0; }));

    // Neither side reachable.
    a->stop();
    EXPECT_TRUE(eventually([&] {
        const RequestResult s = group->readCache(state);
        return s.quality == OPC_QUALITY_GOOD && s.value.toInt64() == 2;
    }));
    EXPECT_TRUE(eventually([&] { return server->reports().lastCode().value_or(0) != 0; }));
}
