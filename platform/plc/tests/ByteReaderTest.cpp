#include "plc/ByteReader.h"

#include <gtest/gtest.h>

namespace orva::plc {
namespace {

TEST(ByteReader, ReadsBigEndianAndFailsStickyOnOverrun)
{
    const std::vector<uint8_t> bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
    ByteReader r(bytes);
    EXPECT_EQ(r.u8(), 0x12);
    EXPECT_EQ(r.u16(), 0x3456);
    EXPECT_EQ(r.u24(), 0x789ABCu);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 1u);
    EXPECT_EQ(r.u16(), 0);  // one byte left: fails without reading it
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.u8(), 0);  // and stays failed
    EXPECT_EQ(r.remaining(), 0u);
}

TEST(ByteReader, BytesAndSkipNeverPassTheEnd)
{
    const std::vector<uint8_t> bytes{1, 2, 3};
    ByteReader r(bytes);
    const auto two = r.bytes(2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1], 2);
    EXPECT_TRUE(r.bytes(2).empty());
    EXPECT_FALSE(r.ok());

    ByteReader s(bytes);
    EXPECT_FALSE(s.skip(SIZE_MAX));  // no wrap-around of the position
    EXPECT_FALSE(s.ok());
}

TEST(ByteWriter, WritesBigEndianWithinItsLimit)
{
    std::vector<uint8_t> out;
    ByteWriter w(out, 6);
    w.u16(0xBEEF);
    w.u32(0x01020304);
    EXPECT_TRUE(w.ok());
    w.u8(9);  // past the limit
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(out, (std::vector<uint8_t>{0xBE, 0xEF, 1, 2, 3, 4}));
}

TEST(ByteWriter, PatchesOnlyWrittenBytes)
{
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.u24(0);
    w.patchU16(1, 0xA1B2);
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0xA1, 0xB2}));
    w.patchU16(2, 1);  // would touch a byte not yet written
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0xA1, 0xB2}));
}

}  // namespace
}  // namespace orva::plc
