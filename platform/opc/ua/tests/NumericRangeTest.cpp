// Index ranges as clients send them: the syntax that is accepted, and how reads are cut and
// ranged writes checked on arrays and strings.
#include <gtest/gtest.h>

#include "opcua/DataChangeFilter.h"
#include "opcua/NumericRange.h"

using namespace orva::opcua;

namespace {
NumericRange parsed(std::string_view text)
{
    NumericRange r;
    EXPECT_EQ(parseNumericRange(text, r), status::Good) << text;
    return r;
}

Variant ints(std::initializer_list<int64_t> values)
{
    std::vector<Scalar> elements(values.begin(), values.end());
    return Variant::arrayOf(BuiltinType::Int16, std::move(elements));
}
}  // namespace

TEST(NumericRange, AcceptsIndexesRangesAndDimensionsOnly)
{
    EXPECT_FALSE(parsed("").isSet());
    EXPECT_EQ(parsed("6").dimensions, (std::vector<NumericRange::Bounds>{{6, 6}}));
    EXPECT_EQ(parsed("5:7").dimensions, (std::vector<NumericRange::Bounds>{{5, 7}}));
    EXPECT_EQ(parsed("4294967295").dimensions[0].first, 4294967295u);
    EXPECT_EQ(parsed("1:2,0:1").dimensions.size(), 2u);

    for (const char* bad : {"7:5", "5:5", "-1", "1:", ":2", "a", " 1", "1 ", "1:2:3", "1,", ",1", "1;2",
                            "4294967296", "0x10", "+1", "1:2,"}) {
        NumericRange r;
        EXPECT_EQ(parseNumericRange(bad, r), status::BadIndexRangeInvalid) << bad;
    }
}

TEST(NumericRange, ReadsCutArraysAndStringsAndRefuseWhatLiesOutside)
{
    Variant v = ints({10, 11, 12, 13});
    ASSERT_EQ(applyRange(parsed("1:2"), v), status::Good);
    EXPECT_TRUE(sameValue(v, ints({11, 12})));

    v = ints({10, 11, 12, 13});  // an upper bound past the end gives what exists
    ASSERT_EQ(applyRange(parsed("3:9"), v), status::Good);
    EXPECT_TRUE(sameValue(v, ints({13})));

    v = ints({10, 11, 12, 13});
    EXPECT_EQ(applyRange(parsed("4"), v), status::BadIndexRangeNoData);
    EXPECT_EQ(applyRange(parsed("0:1,0:1"), v), status::BadIndexRangeNoData);  // one dimension only

    // Characters, not bytes: "ä" is two bytes of UTF-8.
    Variant s = Variant::string("Kä-Rezept");
    ASSERT_EQ(applyRange(parsed("1:3"), s), status::Good);
    EXPECT_EQ(std::get<std::string>(s.scalar), "ä-R");
    s = Variant::string("abc");
    EXPECT_EQ(applyRange(parsed("3"), s), status::BadIndexRangeNoData);

    Variant scalar = Variant::int32(5);
    EXPECT_EQ(applyRange(parsed("0"), scalar), status::BadIndexRangeNoData);
    Variant null;
    EXPECT_EQ(applyRange(parsed("0"), null), status::BadIndexRangeNoData);
}

TEST(NumericRange, RangedWritesMustFillTheirRangeExactly)
{
    EXPECT_EQ(checkRangedWrite(parsed("1:3"), ints({1, 2, 3})), status::Good);
    EXPECT_EQ(checkRangedWrite(parsed("1:3"), ints({1, 2})), status::BadIndexRangeDataMismatch);
    EXPECT_EQ(checkRangedWrite(parsed("2"), ints({1})), status::Good);
    EXPECT_EQ(checkRangedWrite(parsed("2"), Variant::int32(1)), status::BadIndexRangeDataMismatch);
    EXPECT_EQ(checkRangedWrite(parsed("0:1"), Variant::string("ÄB")), status::Good);
    EXPECT_EQ(checkRangedWrite(parsed("0:1"), Variant::string("ÄBC")), status::BadIndexRangeDataMismatch);
    EXPECT_EQ(checkRangedWrite(parsed("0:1,0:1"), ints({1, 2})), status::BadIndexRangeNoData);
}

TEST(NumericRange, MalformedTextIsCountedWithoutReadingPastIt)
{
    // A lead byte at the end and stray continuation bytes are characters of their own.
    EXPECT_EQ(characterCount("a\xC3"), 2u);
    EXPECT_EQ(characterCount("\x80\x80z"), 3u);
    EXPECT_EQ(characterCount("\xF0\x9F\x98\x80"), 1u);
    Variant s = Variant::string("ab\xE2\x82");
    ASSERT_EQ(applyRange(parsed("2:5"), s), status::Good);
    EXPECT_EQ(std::get<std::string>(s.scalar), "\xE2\x82");
}
