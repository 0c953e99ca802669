// Between big-endian, bit-addressed PLC bytes and tag values, both ways, for every supported
// type; the byte lengths that blocks are built from.

#include <gtest/gtest.h>

#include <vector>

#include "core/ValueConversion.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;

namespace {

TagLayout layout(VarType type, uint16_t bit = 0, uint16_t elements = 0)
{
    return {type, bit, elements};
}

SOCmnVariant read(const TagLayout& l, std::vector<uint8_t> bytes)
{
    SOCmnVariant v;
    EXPECT_TRUE(bytesToValue(l, bytes, v));
    return v;
}

std::vector<uint8_t> written(const TagLayout& l, const SOCmnVariant& v, std::vector<uint8_t> start)
{
    valueToBytes(l, v, start);
    return start;
}

}  // namespace

TEST(TagByteLength, ByTypeWithArraysStringsAndBitArrays)
{
    EXPECT_EQ(tagByteLength(layout(VT_BOOL, 7)), 1u);
    EXPECT_EQ(tagByteLength(layout(VT_UI1)), 1u);
    EXPECT_EQ(tagByteLength(layout(VT_I2)), 2u);
    EXPECT_EQ(tagByteLength(layout(VT_R4)), 4u);
    EXPECT_EQ(tagByteLength(layout(VT_BSTR, 0, 12)), 12u);
    EXPECT_EQ(tagByteLength(layout(VT_ARRAY | VT_UI2, 0, 5)), 10u);
    EXPECT_EQ(tagByteLength(layout(VT_ARRAY | VT_I4, 0, 5)), 20u);
    EXPECT_EQ(tagByteLength(layout(VT_ARRAY | VT_BOOL, 6, 4)), 2u);
    EXPECT_EQ(tagByteLength(layout(VT_ARRAY | VT_BOOL, 0, 8)), 1u);
    EXPECT_EQ(tagByteLength(layout(VT_R8)), 0u);
    EXPECT_EQ(tagByteLength(layout(VT_BOOL, 8)), 0u);  // no such bit in a byte
}

TEST(BytesToValue, NumbersAreBigEndian)
{
    EXPECT_EQ(read(layout(VT_I2), {0x01, 0x02}).toInt64(), 258);
    EXPECT_EQ(read(layout(VT_UI2), {0x01, 0x02}).toInt64(), 258);
    EXPECT_EQ(read(layout(VT_I2), {0xFF, 0xFE}).toInt64(), -2);
    EXPECT_EQ(read(layout(VT_UI2), {0xFF, 0xFE}).toInt64(), 65534);
    EXPECT_EQ(read(layout(VT_I4), {0xFF, 0xFF, 0xFF, 0xFD}).toInt64(), -3);
    EXPECT_EQ(read(layout(VT_UI4), {0x80, 0, 0, 1}).toInt64(), 0x80000001LL);
    EXPECT_EQ(read(layout(VT_R4), {0x3F, 0x80, 0, 0}).toDouble(), 1.0);
    EXPECT_EQ(read(layout(VT_I1), {0x80}).toInt64(), -128);
    EXPECT_EQ(read(layout(VT_UI1), {0x80}).toInt64(), 128);
    const SOCmnVariant typed = read(layout(VT_UI4), {0, 0, 0, 1});
    EXPECT_EQ(typed.getType(), VT_UI4);
}

TEST(BytesToValue, BitsStringsAndArrays)
{
    EXPECT_EQ(read(layout(VT_BOOL, 3), {0x08}).toInt64(), VARIANT_TRUE);
    EXPECT_EQ(read(layout(VT_BOOL, 2), {0x08}).toInt64(), VARIANT_FALSE);

    // Bits 6 and 7 of the first byte, 0 and 1 of the second.
    const SOCmnVariant bits = read(layout(VT_ARRAY | VT_BOOL, 6, 4), {0x80, 0x02});
    ASSERT_EQ(bits.getArrayLength(), 4u);
    EXPECT_EQ(bits.getArrayInt(0), 0);
    EXPECT_NE(bits.getArrayInt(1), 0);
    EXPECT_EQ(bits.getArrayInt(2), 0);
    EXPECT_NE(bits.getArrayInt(3), 0);

    EXPECT_EQ(read(layout(VT_BSTR, 0, 4), {0x41, 0x42, 0x43, 0x44}).getString(), u"ABCD");
    EXPECT_EQ(read(layout(VT_BSTR, 0, 1), {0xE9}).getString(), u"\u00E9");

    const SOCmnVariant words = read(layout(VT_ARRAY | VT_I2, 0, 2), {0xFF, 0xFE, 0x01, 0x02});
    EXPECT_EQ(words.getArrayInt(0), -2);
    EXPECT_EQ(words.getArrayInt(1), 258);
    const SOCmnVariant reals = read(layout(VT_ARRAY | VT_R4, 0, 1), {0x3F, 0x80, 0, 0});
    EXPECT_EQ(reals.getArrayDouble(0), 1.0);
    const SOCmnVariant dwords = read(layout(VT_ARRAY | VT_UI4, 0, 1), {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(dwords.getArrayInt(0), 0xFFFFFFFFLL);
}

TEST(BytesToValue, TooFewBytesOrAnUnsupportedTypeLeaveTheValueAlone)
{
    SOCmnVariant v;
    v.setI2(5);
    const std::vector<uint8_t> one{1};
    EXPECT_FALSE(bytesToValue(layout(VT_I2), one, v));
    EXPECT_EQ(v.toInt64(), 5);
    EXPECT_FALSE(bytesToValue(layout(VT_R8), one, v));
    EXPECT_FALSE(bytesToValue(layout(VT_BSTR, 0, 3), one, v));
}

TEST(ValueToBytes, NumbersAreWrittenMostSignificantByteFirst)
{
    SOCmnVariant v;
    v.setR4(1.0f);
    EXPECT_EQ(written(layout(VT_R4), v, {0, 0, 0, 0}), (std::vector<uint8_t>{0x3F, 0x80, 0, 0}));
    v.setI2(-2);
    EXPECT_EQ(written(layout(VT_I2), v, {0, 0}), (std::vector<uint8_t>{0xFF, 0xFE}));
    v.setUI4(0x01020304);
    EXPECT_EQ(written(layout(VT_UI4), v, {0, 0, 0, 0}), (std::vector<uint8_t>{1, 2, 3, 4}));
    v.setI1(-1);
    EXPECT_EQ(written(layout(VT_I1), v, {0}), (std::vector<uint8_t>{0xFF}));
    // Only the destination's bytes are touched.
    v.setI4(0x01020304);
    EXPECT_EQ(written(layout(VT_I4), v, {0, 0}), (std::vector<uint8_t>{1, 2}));
}

TEST(ValueToBytes, BitsChangeOnlyTheirBit)
{
    SOCmnVariant v;
    v.setBool(false);
    EXPECT_EQ(written(layout(VT_BOOL, 7), v, {0xFF}), (std::vector<uint8_t>{0x7F}));
    v.setBool(true);
    EXPECT_EQ(written(layout(VT_BOOL, 3), v, {0xF0}), (std::vector<uint8_t>{0xF8}));

    SOCmnVariant bits;
    bits.initArray(VT_BOOL, 4);
    bits.setArrayBool(0, true);
    bits.setArrayBool(3, true);
    // Bits 6, 7 of the first byte and 0, 1 of the second: set, clear, clear, set.
    EXPECT_EQ(written(layout(VT_ARRAY | VT_BOOL, 6, 4), bits, {0x00, 0xFF}),
              (std::vector<uint8_t>{0x40, 0xFE}));
}

TEST(ValueToBytes, StringsClearTheirConfiguredLengthAndArraysWriteTheirOwnElements)
{
    SOCmnVariant text;
    text.setString(u"AB\u00E9");
    const TagLayout s = layout(VT_BSTR, 0, 5);
    EXPECT_EQ(written(s, text, {'x', 'x', 'x', 'x', 'x', 'x'}),
              (std::vector<uint8_t>{'A', 'B', 0xE9, 0, 0, 'x'}));
    EXPECT_EQ(writeValueSize(s, text), 3u);

    SOCmnVariant words;
    words.initArray(VT_UI2, 3);
    words.setArrayInt(0, 0x0102);
    words.setArrayInt(2, 0xFFFF);
    const TagLayout a = layout(VT_ARRAY | VT_UI2, 0, 2);
    EXPECT_EQ(written(a, words, std::vector<uint8_t>(6, 9)), (std::vector<uint8_t>{1, 2, 0, 0, 0xFF, 0xFF}));
    EXPECT_EQ(writeValueSize(a, words), 6u);

    SOCmnVariant bits;
    bits.initArray(VT_BOOL, 10);
    EXPECT_EQ(writeValueSize(layout(VT_ARRAY | VT_BOOL, 7, 1), bits), 3u);  // (7 + 10 + 7) / 8
}

TEST(ValueToBytes, RoundTripOfEveryNumericType)
{
    const std::vector<uint8_t> source{0x81, 0x02, 0x03, 0x04};
    for (VarType type : {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4}) {
        const TagLayout l = layout(type);
        SOCmnVariant v;
        ASSERT_TRUE(bytesToValue(l, source, v)) << type;
        std::vector<uint8_t> out(tagByteLength(l), 0);
        valueToBytes(l, v, out);
        EXPECT_EQ(out, std::vector<uint8_t>(source.begin(), source.begin() + static_cast<long>(out.size())))
            << type;
    }
}
