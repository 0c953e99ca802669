#include <gtest/gtest.h>

#include "process/StatusSnapshot.h"

using namespace orva;
using namespace orva::process;

namespace {

std::string show(VarType type, SnapshotValue value, std::uint16_t elements = 1)
{
    TagSnapshot tag;
    tag.type = type;
    tag.value = std::move(value);
    tag.elements = elements;
    return valueDisplayText(tag);
}

}  // namespace

TEST(ValueDisplay, NumbersAreShownAtTheTagsWidth)
{
    EXPECT_EQ(show(VT_I2, std::int64_t{-2}), "-2");
    EXPECT_EQ(show(VT_I2, std::uint64_t{65534}), "-2");  // a 16-bit signed value
    EXPECT_EQ(show(VT_UI2, std::int64_t{65535}), "65535");
    EXPECT_EQ(show(VT_I4, std::int64_t{-100000}), "-100000");
    EXPECT_EQ(show(VT_UI4, std::uint64_t{4294967295u}), "4294967295");
    EXPECT_EQ(show(VT_I1, std::int64_t{200}), "-56");
    EXPECT_EQ(show(VT_UI1, std::int64_t{200}), "200");
    EXPECT_EQ(show(VT_R4, 1.0), "1.000000");
    EXPECT_EQ(show(VT_R4, 0.1), "0.100000");
    EXPECT_EQ(show(VT_R4, -2.5), "-2.500000");
    EXPECT_EQ(show(VT_I2, std::monostate{}), "0");  // never read yet
}

TEST(ValueDisplay, BooleansStringsAndEverythingElse)
{
    EXPECT_EQ(show(VT_BOOL, true), "TRUE");
    EXPECT_EQ(show(VT_BOOL, std::int64_t{-1}), "TRUE");
    EXPECT_EQ(show(VT_BOOL, false), "FALSE");
    EXPECT_EQ(show(VT_BSTR, std::u16string(u"ABCD"), 4), "ABCD");
    EXPECT_EQ(show(VT_BSTR, std::u16string(u"ABCD"), 2), "AB");
    EXPECT_EQ(show(VT_BSTR, std::u16string(u"AB"), 4), "AB");
    EXPECT_EQ(show(VT_BSTR, std::u16string(u"\u00e9\u0141"), 2), "\xe9\x41");  // low bytes
    EXPECT_EQ(show(VT_BSTR, std::u16string(u"A\u0100B"), 3), "A");             // a zero low byte ends it
    EXPECT_EQ(show(VT_ARRAY | VT_I2, std::monostate{}, 4), "[..]");
    EXPECT_EQ(show(VT_ARRAY | VT_BOOL, std::monostate{}, 4), "[..]");
    EXPECT_EQ(show(VT_R8, 1.0), "[..]");
}

TEST(ValueDisplay, BlockLabelsAndQualities)
{
    BlockSnapshot block;
    block.dataBlock = 10;
    block.startByte = 4;
    block.length = 222;
    EXPECT_EQ(blockLabel(block), "DB10-DBB4-LEN222");
    EXPECT_EQ(qualityText(0xC0), "GOOD");
    EXPECT_EQ(qualityText(0x40), "UNCERTAIN");
    EXPECT_EQ(qualityText(0x00), "BAD");
    EXPECT_EQ(qualityText(0x18), "BAD (COMM_FAILURE)");
    EXPECT_EQ(qualityText(0x1C), "BAD (OUT_OF_SERVICE)");
    EXPECT_EQ(qualityText(0x0C), "BAD (DEVICE_FAILURE)");
    EXPECT_EQ(qualityText(0x56), "UNCERTAIN (EGU_EXCEEDED) HIGH_LIMITED");
}

TEST(StatusSnapshot, FindsPlcsAndBlocksById)
{
    StatusSnapshot snapshot;
    snapshot.plcs.push_back(PlcSnapshot{1, "A", {BlockSnapshot{11, 1, 0, 2, {}}}});
    snapshot.plcs.push_back(PlcSnapshot{2, "B", {BlockSnapshot{21, 2, 0, 2, {}}}});
    EXPECT_EQ(snapshot.findPlc(2)->name, "B");
    EXPECT_EQ(snapshot.findBlock(2, 21)->dataBlock, 2);
    EXPECT_EQ(snapshot.findBlock(1, 21), nullptr);  // a block is found only under its own PLC
    EXPECT_EQ(snapshot.findPlc(3), nullptr);
}
