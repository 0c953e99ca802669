// Subscriptions turned into read blocks, and the polling of those blocks, against the recording
// fake library: which blocks exist, which calls are made, what the tags' caches hold.

#include "CommFixture.h"
#include "core/ReadBlocks.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;
using namespace orva::opc::client;

namespace {

std::string i2At(const std::string& name, int byte, int block = 1)
{
    return tagXml(name, "VT_I2", byte, block);
}

class ReadBlocks : public CommFixture {};

}  // namespace

TEST(BlockAcceptance, GapAndLengthLimits)
{
    // After the block: at most G unused bytes, and at most 222 bytes in all.
    EXPECT_TRUE(readBlockAccepts(0, 2, 40, 2, 50));
    EXPECT_FALSE(readBlockAccepts(0, 2, 100, 2, 50));  // 98 unused bytes
    EXPECT_FALSE(readBlockAccepts(0, 2, 40, 2, 10));   // Lorvik's gap
    EXPECT_TRUE(readBlockAccepts(0, 200, 218, 4, 50));
    EXPECT_FALSE(readBlockAccepts(0, 200, 220, 4, 50));  // 224 bytes
    // Before the block: the distance counts, and the union.
    EXPECT_TRUE(readBlockAccepts(40, 2, 0, 2, 50));
    EXPECT_FALSE(readBlockAccepts(60, 2, 0, 2, 50));
    EXPECT_FALSE(readBlockAccepts(30, 200, 0, 2, 50));  // union of 230 bytes
    // Overlapping tags always fit when the union does.
    EXPECT_TRUE(readBlockAccepts(10, 20, 12, 4, 0));
    // Writes: touching or overlapping only, at most 212 bytes, never before the block.
    EXPECT_TRUE(writeBlockAccepts(10, 2, 12, 2));
    EXPECT_TRUE(writeBlockAccepts(10, 4, 11, 2));
    EXPECT_FALSE(writeBlockAccepts(10, 2, 13, 2));
    EXPECT_FALSE(writeBlockAccepts(10, 2, 8, 2));
    EXPECT_FALSE(writeBlockAccepts(0, 200, 200, 14));
}

TEST_F(ReadBlocks, NeighboursShareABlockWithinTheGapAndTheRestOpenNewOnes)
{
    loadPlcs(plc("P", i2At("A", 0) + i2At("B", 40) + i2At("C", 100) + i2At("D", 42, 2)));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 1000);
    for (const char* id : {"P.A", "P.B", "P.C", "P.D"})
        ASSERT_EQ(group->addItem(id).result, S_OK);
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+42@1000", "DB1:100+2@1000", "DB2:42+2@1000"}));
}

TEST_F(ReadBlocks, TheSmallerGapOfTheMpiServersSplitsEarlier)
{
    loadPlcs(plc("P", i2At("A", 0) + i2At("B", 40) + i2At("C", 10)),
             commSettingsFor(config::ServerKind::Lorvik));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 1000);
    group->addItem("P.A");
    group->addItem("P.B");
    group->addItem("P.C");
    run(1);
    // Changes are applied in address order: A and C (gap 8) share, B (gap 28) does not.
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+12@1000", "DB1:40+2@1000"}));
}

TEST_F(ReadBlocks, ABlockNeverPassesTheLimitOfOneReadCall)
{
    std::string tags;
    for (int byte : {0, 50, 100, 150, 200})
        tags += i2At("T" + std::to_string(byte), byte);
    tags += tagXml("Far", "VT_I4", 220);
    loadPlcs(plc("P", tags));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 1000);
    for (int byte : {0, 50, 100, 150, 200})
        group->addItem("P.T" + std::to_string(byte));
    group->addItem("P.Far");
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+202@1000", "DB1:220+4@1000"}));
}

TEST_F(ReadBlocks, ArraysKeepBlocksOfTheirOwnAndLongOnesAreReadInPieces)
{
    loadPlcs(plc("P", i2At("A", 0) +
                          tagXml("Arr", "VT_UI1 ARRAY", 2, 1, "READWRITE", "<elements>300</elements>") +
                          i2At("B", 4)));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 100);
    group->addItem("P.A");
    group->addItem("P.Arr");
    group->addItem("P.B");
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+6@100", "DB1:2+300@100"}));

    for (int i = 0; i < 300; ++i)
        fake.db(1, 1)[2 + i] = static_cast<uint8_t>(i);
    fake.calls.clear();
    run(6, 60);
    const std::vector<std::string> reads = fake.only("read");
    ASSERT_GE(reads.size(), 3u);
    EXPECT_NE(std::find(reads.begin(), reads.end(), "read 1 2 222"), reads.end());
    EXPECT_NE(std::find(reads.begin(), reads.end(), "read 1 224 78"), reads.end());
    const SOCmnVariant arr = value("P.Arr");
    ASSERT_EQ(arr.getArrayLength(), 300u);
    EXPECT_EQ(arr.getArrayInt(299), 299 & 0xFF);
    EXPECT_EQ(quality("P.Arr"), OPC_QUALITY_GOOD);
}

TEST_F(ReadBlocks, TheShortestRateWinsAndStaysUntilTheLastItemGoes)
{
    loadPlcs(plc("P", i2At("A", 0)));
    ASSERT_TRUE(thread->begin());
    auto slow = connection->addGroup("slow", 1000);
    auto fast = connection->addGroup("fast", 200);
    auto s = slow->addItem("P.A");
    auto f = fast->addItem("P.A");
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+2@200"}));

    fast->removeItem(f.handle);
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+2@200"}));

    // A rate change follows the shortest rate of the items still active.
    slow->setUpdateRate(500);
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+2@500"}));

    slow->removeItem(s.handle);
    run(1);
    EXPECT_TRUE(blocks().empty());
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_UNCERTAIN);
}

TEST_F(ReadBlocks, RateChangesOfInactiveItemsPollNothing)
{
    loadPlcs(plc("P", i2At("A", 0) + i2At("B", 2)));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 1000);
    group->addItem("P.A");
    group->addItem("P.B", false);
    run(1);
    group->setUpdateRate(300);
    run(1);
    ASSERT_EQ(plcAt(0).blocks.size(), 1u);
    EXPECT_EQ(plcAt(0).blocks[0]->tags.size(), 1u);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+2@300"}));
}

TEST_F(ReadBlocks, TakingATagOutShrinksItsBlock)
{
    loadPlcs(plc("P", i2At("A", 0) + i2At("B", 10) + i2At("C", 30)));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 1000);
    group->addItem("P.A");
    group->addItem("P.B");
    auto c = group->addItem("P.C");
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+32@1000"}));
    group->removeItem(c.handle);
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+12@1000"}));
}

TEST_F(ReadBlocks, DueBlocksAreReadAndConvertedWithGoodQuality)
{
    loadPlcs(plc("P", i2At("A", 0) + tagXml("R", "VT_R4", 4) +
                          tagXml("Bit", "VT_BOOL", 8, 1, "READ", "<databit>3</databit>")));
    ASSERT_TRUE(thread->begin());
    auto& m = fake.db(1, 1);
    m[0] = 0xFF, m[1] = 0xFE, m[4] = 0x3F, m[5] = 0x80, m[8] = 0x08;
    auto group = connection->addGroup("g", 100);
    group->addItem("P.A");
    group->addItem("P.R");
    group->addItem("P.Bit");
    run(1);
    // Not due yet: the block was made now.
    EXPECT_TRUE(fake.only("read").empty());
    run(1, 101);
    EXPECT_EQ(fake.only("select"), (std::vector<std::string>{"select 1 0"}));
    EXPECT_EQ(fake.only("read"), (std::vector<std::string>{"read 1 0 9"}));
    EXPECT_EQ(value("P.A").toInt64(), -2);
    EXPECT_EQ(value("P.R").toDouble(), 1.0);
    EXPECT_EQ(value("P.Bit").toInt64(), VARIANT_TRUE);
    EXPECT_EQ(quality("P.A"), OPC_QUALITY_GOOD);
    // Within its rate the block is not read again; after it, it is.
    run(3, 20);
    EXPECT_EQ(fake.only("read").size(), 1u);
    run(1, 50);
    EXPECT_EQ(fake.only("read").size(), 2u);
}

TEST_F(ReadBlocks, PlcsTakeTurnsAndEachIsSelectedBeforeItsReads)
{
    loadPlcs(plc("P", i2At("A", 0)) + plc("Q", i2At("A", 0)));
    ASSERT_TRUE(thread->begin());
    auto group = connection->addGroup("g", 100);
    group->addItem("P.A");
    group->addItem("Q.A");
    run(1);
    fake.calls.clear();
    run(4, 101);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"select 2 0", "read 1 0 2", "select 1 0", "read 1 0 2",
                                                    "select 2 0", "read 1 0 2", "select 1 0", "read 1 0 2"}));
}

TEST_F(ReadBlocks, SnapshotCopiesBlocksAndTagValues)
{
    loadPlcs(plc("P", i2At("A", 0) + i2At("B", 2)) + plc("Q", ""));
    ASSERT_TRUE(thread->begin());
    fake.db(1, 1)[1] = 7;
    auto group = connection->addGroup("g", 100);
    group->addItem("P.A");
    group->addItem("P.B");
    // P's block is made, then Q has its (empty) turn, then P's block is read.
    run(3, 101);
    const CommSnapshot snap = thread->snapshot();
    ASSERT_EQ(snap.plcs.size(), 2u);
    EXPECT_EQ(snap.plcs[0].name, "P");
    EXPECT_TRUE(snap.plcs[1].blocks.empty());
    ASSERT_EQ(snap.plcs[0].blocks.size(), 1u);
    const BlockSnapshot& b = snap.plcs[0].blocks[0];
    EXPECT_EQ(b.dataBlock, 1);
    EXPECT_EQ(b.startByte, 0);
    EXPECT_EQ(b.length, 4);
    ASSERT_EQ(b.tags.size(), 2u);
    for (const auto& t : b.tags) {
        EXPECT_EQ(t.quality, OPC_QUALITY_GOOD);
        EXPECT_EQ(t.type, VT_I2);
        EXPECT_EQ(std::get<int64_t>(t.value), t.name == "A" ? 7 : 0);
    }
}
