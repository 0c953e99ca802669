// Client writes carried out by the communication thread against the recording fake library:
// gathering into write blocks, read-before-write for bits, pieces of at most 212 bytes and the
// completion of every request exactly once.

#include <atomic>
#include <thread>

#include "CommFixture.h"
#include "core/ValueConversion.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;
using namespace orva::opc::client;

namespace {

class Writes : public CommFixture {
protected:
    // Loads the tags, opens the table and adds every tag to one inactive group.
    void prepare(const std::string& tags)
    {
        loadPlcs(plc("P", tags));
        ASSERT_TRUE(thread->begin());
        group = connection->addGroup("w", 1000, false);
        fake.calls.clear();
    }
    ItemHandle item(const std::string& name) { return group->addItem("P." + name, false).handle; }
    // Writes and counts the completions each request gets.
    RequestPtr write(const std::string& name, const SOCmnVariant& value,
                     uint16_t type = SODASREQUEST_TYPE_DEVICE)
    {
        return group->write(
            item(name), value, [this](const RequestResult&) { ++completions; }, type);
    }
    static SOCmnVariant bytes(std::size_t n, uint8_t first = 0)
    {
        SOCmnVariant v;
        v.initArray(VT_UI1, n);
        for (std::size_t i = 0; i < n; ++i)
            v.setArrayInt(i, static_cast<uint8_t>(first + i));
        return v;
    }
    static SOCmnVariant boolean(bool b)
    {
        SOCmnVariant v;
        v.setBool(b);
        return v;
    }
    // Completion callbacks run on the toolkit's worker: waits for the count to reach n.
    int completedCount(int n)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (completions.load() < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return completions.load();
    }
    static RequestResult done(const RequestPtr& r)
    {
        auto result = r->wait(std::chrono::seconds(5));
        EXPECT_TRUE(result);
        return result.value_or(RequestResult{});
    }

    std::shared_ptr<Group> group;
    std::atomic<int> completions{0};
};

}  // namespace

TEST_F(Writes, NeighboursShareOneCallAndAGapKeepsWritesApart)
{
    prepare(tagXml("A", "VT_I2", 10) + tagXml("B", "VT_I2", 12) + tagXml("C", "VT_I2", 20) +
            tagXml("D", "VT_I2", 23));
    auto a = write("A", variantI2(0x0102));
    auto b = write("B", variantI2(-2));
    auto c = write("C", variantI2(7));
    auto d = write("D", variantI2(8));
    run(1);
    // C and D are one byte apart: that byte belongs to nobody, so they are written separately.
    EXPECT_EQ(fake.only("write"), (std::vector<std::string>{"write 1 10 4", "write 1 20 2", "write 1 23 2"}));
    EXPECT_TRUE(fake.only("read").empty());
    const auto& m = fake.db(1, 1);
    EXPECT_EQ(std::vector<uint8_t>(m.begin() + 10, m.begin() + 14), (std::vector<uint8_t>{1, 2, 0xFF, 0xFE}));
    EXPECT_EQ(m[22], 0);
    for (const auto& r : {a, b, c, d}) {
        const RequestResult result = done(r);
        EXPECT_EQ(result.result, S_OK);
    }
    EXPECT_EQ(completedCount(4), 4);
}

TEST_F(Writes, BitsAreReadFirstAndOnlyTheirBitChanges)
{
    prepare(tagXml("Bit3", "VT_BOOL", 5, 1, "READWRITE", "<databit>3</databit>") +
            tagXml("Bit7", "VT_BOOL", 6, 1, "READWRITE", "<databit>7</databit>"));
    fake.db(1, 1)[5] = 0xF0;
    fake.db(1, 1)[6] = 0xFF;
    auto set = write("Bit3", boolean(true));
    auto clear = write("Bit7", boolean(false));
    run(1);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"select 1 0", "read 1 5 2", "write 1 5 2"}));
    EXPECT_EQ(fake.db(1, 1)[5], 0xF8);
    EXPECT_EQ(fake.db(1, 1)[6], 0x7F);
    EXPECT_EQ(done(set).result, S_OK);
    EXPECT_EQ(done(clear).result, S_OK);
}

TEST_F(Writes, AFailedReadBeforeWriteFailsOnlyTheRequestsThatNeedIt)
{
    prepare(tagXml("Bit", "VT_BOOL", 5, 1, "READWRITE", "<databit>1</databit>") + tagXml("B", "VT_UI1", 6));
    fake.inject = [](const std::string& call) { return call.rfind("read", 0) == 0 ? 85 : 0; };
    auto bit = write("Bit", boolean(true));
    SOCmnVariant byte;
    byte.setUI1(9);
    auto b = write("B", byte);
    run(1);
    // The bit's byte could not be read, so it is not written; the byte beside it needs no read.
    EXPECT_EQ(fake.only("write"), (std::vector<std::string>{"write 1 6 1"}));
    EXPECT_EQ(fake.db(1, 1)[6], 9);
    const RequestResult failed = done(bit);
    EXPECT_EQ(failed.result, E_FAIL);
    EXPECT_EQ(failed.quality, OPC_QUALITY_BAD);
    EXPECT_EQ(done(b).result, S_OK);
    EXPECT_EQ(completedCount(2), 2);
    EXPECT_EQ(thread->currentError(), 0);  // write errors never touch the polling
}

TEST_F(Writes, ARefusedBlockGivesEachRequestItsOwnOutcome)
{
    prepare(tagXml("A", "VT_I2", 0) + tagXml("B", "VT_I2", 2) + tagXml("C", "VT_I2", 4) +
            tagXml("D", "VT_I2", 6));
    // The PLC refuses any write that touches bytes 2..3 (B).
    fake.inject = [](const std::string& call) {
        return call == "write 1 0 4" || call == "write 1 2 2" ? 85 : 0;
    };
    auto a = write("A", variantI2(1));
    auto b = write("B", variantI2(2));
    run(1);
    EXPECT_EQ(done(a).result, S_OK);
    EXPECT_EQ(fake.db(1, 1)[1], 1);
    const RequestResult refused = done(b);
    EXPECT_EQ(refused.result, E_FAIL);
    EXPECT_EQ(refused.quality, OPC_QUALITY_DEVICE_FAILURE);

    // Device reads grouped with a refused one still read their own tag.
    fake.inject = [](const std::string& call) {
        return call == "read 1 4 4" || call == "read 1 4 2" ? 85 : 0;
    };
    fake.db(1, 1)[7] = 42;
    auto c = group->readDevice(item("C"));
    auto d = group->readDevice(item("D"));
    run(1);
    EXPECT_EQ(done(c).quality, OPC_QUALITY_DEVICE_FAILURE);
    const RequestResult read = done(d);
    EXPECT_EQ(read.quality, OPC_QUALITY_GOOD);
    EXPECT_EQ(read.value.toInt64(), 42);
    EXPECT_EQ(thread->currentError(), 0);
}

TEST_F(Writes, LongArraysGoOutInPiecesOf212Bytes)
{
    prepare(tagXml("Arr", "VT_UI1 ARRAY", 0, 1, "READWRITE", "<elements>300</elements>"));
    auto r = write("Arr", bytes(300, 1));
    run(1);
    EXPECT_EQ(fake.only("write"), (std::vector<std::string>{"write 1 0 212", "write 1 212 88"}));
    EXPECT_EQ(fake.db(1, 1)[0], 1);
    EXPECT_EQ(fake.db(1, 1)[299], static_cast<uint8_t>(300));
    EXPECT_EQ(done(r).result, S_OK);
}

TEST_F(Writes, AFailingPieceStopsTheBlockAndFailsItsRequestsWithTheErrorsQuality)
{
    prepare(tagXml("Arr", "VT_UI1 ARRAY", 0, 1, "READWRITE", "<elements>300</elements>"));
    fake.inject = [](const std::string& call) { return call == "write 1 212 88" ? 121 : 0; };
    auto r = write("Arr", bytes(300, 1));
    run(1);
    const RequestResult result = done(r);
    EXPECT_EQ(result.result, E_FAIL);
    EXPECT_EQ(result.quality, OPC_QUALITY_COMM_FAILURE);
    // The first piece stays written; nothing is closed or reopened.
    EXPECT_EQ(fake.db(1, 1)[211], 212);
    EXPECT_EQ(fake.db(1, 1)[212], 0);
    EXPECT_TRUE(fake.only("close").empty());
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_EQ(completedCount(1), 1);
}

TEST_F(Writes, AWriteNeverReachesPastItsTagNorChangesItsShape)
{
    prepare(tagXml("S", "VT_BSTR", 0, 1, "READWRITE", "<elements>4</elements>") +
            tagXml("Arr", "VT_I2 ARRAY", 10, 1, "READWRITE", "<elements>3</elements>") +
            tagXml("Next", "VT_I2", 16));
    auto poll = connection->addGroup("poll", 100);
    poll->addItem("P.S");
    run(1);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+4@100"}));
    auto& memory = fake.db(1, 1);
    std::fill(memory.begin(), memory.begin() + 18, 'x');
    fake.calls.clear();

    SOCmnVariant longText, shortText, empty, twoWords;
    longText.setString(u"ABCDEF");
    shortText.setString(u"AB");
    empty.setString(u"");
    twoWords.initArray(VT_I2, 2);
    // Refused before they reach the communication thread: nothing is written.
    EXPECT_EQ(done(write("S", longText)).result, OPC_E_RANGE);
    EXPECT_EQ(done(write("Arr", twoWords)).result, OPC_E_BADTYPE);
    run(1);
    EXPECT_TRUE(fake.only("write").empty());

    // A shorter string is padded to the tag's length; an empty one clears it.
    auto r = write("S", shortText);
    run(1);
    EXPECT_EQ(done(r).result, S_OK);
    EXPECT_EQ(std::vector<uint8_t>(memory.begin(), memory.begin() + 5),
              (std::vector<uint8_t>{'A', 'B', 0, 0, 'x'}));
    r = write("S", empty);
    run(1);
    EXPECT_EQ(done(r).result, S_OK);
    EXPECT_EQ(fake.only("write"), (std::vector<std::string>{"write 1 0 4", "write 1 0 4"}));
    EXPECT_EQ(memory[0], 0);
    EXPECT_EQ(tag("P.S").elements, 4);
    EXPECT_EQ(tag("P.Arr").elements, 3);
    EXPECT_EQ(blocks(), (std::vector<std::string>{"DB1:0+4@100"}));
    EXPECT_EQ(memory[16], 'x');
    EXPECT_EQ(completedCount(4), 4);
}

TEST_F(Writes, ARangeReplacesExactlyItsElements)
{
    prepare(
        tagXml("Arr", "VT_I2 ARRAY", 10, 1, "READWRITE", "<elements>4</elements>") +
        tagXml("Bits", "VT_BOOL ARRAY", 20, 1, "READWRITE", "<databit>6</databit><elements>10</elements>") +
        tagXml("S", "VT_BSTR", 30, 1, "READWRITE", "<elements>6</elements>"));
    auto& memory = fake.db(1, 1);
    std::fill(memory.begin(), memory.begin() + 40, 0xAA);
    const auto rangeWrite = [&](const std::string& name, const SOCmnVariant& value, SOElementRange range) {
        return group->write(item(name), value, {}, SODASREQUEST_TYPE_DEVICE, range);
    };
    SOCmnVariant words, bits, text;
    words.initArray(VT_I2, 2);
    words.setArrayInt(0, 0x0102);
    words.setArrayInt(1, 0x0304);
    bits.initArray(VT_BOOL, 2);
    bits.setArrayBool(0, false);
    bits.setArrayBool(1, true);
    text.setString(u"xy");
    const RequestPtr ok[] = {rangeWrite("Arr", words, {1, 2}), rangeWrite("Bits", bits, {2, 2}),
                             rangeWrite("S", text, {4, 2})};
    EXPECT_EQ(done(rangeWrite("Arr", words, {3, 2})).result, E_INVALIDARG);   // past the last element
    EXPECT_EQ(done(rangeWrite("Arr", words, {0, 3})).result, OPC_E_BADTYPE);  // value of another length
    run(1);
    for (const auto& r : ok)
        EXPECT_EQ(done(r).result, S_OK);
    // Elements 1 and 2 of the array: bytes 12..15.
    EXPECT_EQ(std::vector<uint8_t>(memory.begin() + 10, memory.begin() + 18),
              (std::vector<uint8_t>{0xAA, 0xAA, 1, 2, 3, 4, 0xAA, 0xAA}));
    // Bits 2 and 3 of an array starting at bit 6 are bits 0 and 1 of byte 21, read first.
    EXPECT_EQ(memory[20], 0xAA);
    EXPECT_EQ(memory[21], (0xAA & ~0x01) | 0x02);
    EXPECT_EQ(std::vector<uint8_t>(memory.begin() + 30, memory.begin() + 37),
              (std::vector<uint8_t>{0xAA, 0xAA, 0xAA, 0xAA, 'x', 'y', 0xAA}));
}

TEST_F(Writes, CttModeConfirmsCacheWritesBeforeThePlcIsWrittenAndOnlyOnce)
{
    queues->cttMode = true;
    prepare(tagXml("A", "VT_I2", 0));
    auto r = write("A", variantI2(5), SODASREQUEST_TYPE_CACHE);
    EXPECT_TRUE(r->isDone());
    EXPECT_TRUE(fake.only("write").empty());
    run(1);
    EXPECT_EQ(fake.only("write"), (std::vector<std::string>{"write 1 0 2"}));
    EXPECT_EQ(fake.db(1, 1)[1], 5);
    EXPECT_EQ(completedCount(1), 1);
}

TEST_F(Writes, EachPlcIsSelectedBeforeItsWrites)
{
    loadPlcs(plc("P", tagXml("A", "VT_I2", 0)) + plc("Q", tagXml("A", "VT_I2", 0)));
    ASSERT_TRUE(thread->begin());
    group = connection->addGroup("w", 1000, false);
    fake.calls.clear();
    auto p = group->write(group->addItem("P.A", false).handle, variantI2(1));
    auto q = group->write(group->addItem("Q.A", false).handle, variantI2(2));
    run(1);
    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{"select 1 0", "write 1 0 2", "select 2 0", "write 1 0 2"}));
    EXPECT_EQ(fake.db(1, 1)[1], 1);
    EXPECT_EQ(fake.db(2, 1)[1], 2);
    EXPECT_EQ(done(p).result, S_OK);
    EXPECT_EQ(done(q).result, S_OK);
}

TEST_F(Writes, ADeviceReadIssuedAfterAWriteSeesTheWrittenValue)
{
    loadPlcs(plc("P", tagXml("A", "VT_I2", 0)));
    group = connection->addGroup("g", 1000, false);
    const auto handle = group->addItem("P.A").handle;
    // While the thread waits for the device reads to settle, a client writes and then reads.
    struct ArrivingTicks : TickSource {
        ManualTickSource inner{0};
        std::function<void()> onSleep;
        uint32_t now() override { return inner.now(); }
        void sleep(uint32_t ms) override
        {
            inner.sleep(ms);
            if (auto arrive = std::exchange(onSleep, nullptr)) arrive();
        }
    } arriving;
    RequestPtr write, read;
    arriving.onSleep = [&] {
        write = group->write(handle, variantI2(7));
        read = group->readDevice(handle);
    };
    auto earlier = group->readDevice(handle);
    CommunicationThread stepped(plcs, queues, fake, sink, {}, &arriving);
    ASSERT_TRUE(stepped.begin());
    for (int i = 0; i < 3; ++i)
        stepped.iterate();
    ASSERT_TRUE(write && read);
    EXPECT_EQ(write->wait(std::chrono::seconds(5))->result, S_OK);
    auto seen = read->wait(std::chrono::seconds(5));
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->value.toInt64(), 7);
    EXPECT_TRUE(earlier->wait(std::chrono::seconds(5)));
}
