#include <gtest/gtest.h>

#include <cmath>

#include "opc/SOCmnVariant.h"

using namespace orva::opc;

using namespace orva;

TEST(Variant, ScalarsKeepTypeAndValue)
{
    SOCmnVariant v;
    EXPECT_TRUE(v.isEmpty());
    v.setBool(true);
    EXPECT_EQ(v.getType(), VT_BOOL);
    EXPECT_EQ(v.toInt64(), VARIANT_TRUE);
    v.setI1(-5);
    EXPECT_EQ(v.toInt64(), -5);
    v.setUI1(250);
    EXPECT_EQ(v.toInt64(), 250);
    v.setI2(-2);
    EXPECT_EQ(v.getType(), VT_I2);
    EXPECT_EQ(v.toInt64(), -2);
    v.setUI2(65535);
    EXPECT_EQ(v.toInt64(), 65535);
    v.setI4(-70000);
    EXPECT_EQ(v.toInt64(), -70000);
    v.setUI4(4000000000u);
    EXPECT_EQ(v.toInt64(), 4000000000LL);
    v.setR4(1.5f);
    EXPECT_EQ(v.getType(), VT_R4);
    EXPECT_DOUBLE_EQ(v.toDouble(), 1.5);
    v.setR8(-2.25);
    EXPECT_DOUBLE_EQ(v.toDouble(), -2.25);
    v.setStringUtf8("Recette \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(v.getType(), VT_BSTR);
    EXPECT_EQ(v.getString(), u"Recette \u00e9t\u00e9");
    EXPECT_EQ(v.toUtf8(), "Recette \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(v.toInt64(), 0);
    v.clear();
    EXPECT_TRUE(v.isEmpty());
}

TEST(Variant, ArraysHaveLowerBoundZeroAndZeroFill)
{
    SOCmnVariant a;
    ASSERT_TRUE(a.initArray(VT_UI2, 4));
    EXPECT_EQ(a.getType(), VT_ARRAY | VT_UI2);
    EXPECT_EQ(a.getArrayLength(), 4u);
    EXPECT_EQ(a.getArrayLowerBound(), 0);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(a.getArrayInt(i), 0);
    EXPECT_TRUE(a.setArrayInt(3, 0x12345));  // cut to 16 bits
    EXPECT_EQ(a.getArrayInt(3), 0x2345);
    EXPECT_FALSE(a.setArrayInt(4, 1));
    EXPECT_EQ(a.getArrayInt(99), 0);
    ASSERT_TRUE(a.resizeArray(6));
    EXPECT_EQ(a.getArrayInt(3), 0x2345);
    EXPECT_EQ(a.getArrayInt(5), 0);
    ASSERT_TRUE(a.resizeArray(2));
    EXPECT_EQ(a.getArrayLength(), 2u);

    SOCmnVariant b;
    ASSERT_TRUE(b.initArray(VT_BOOL, 3));
    b.setArrayBool(1, true);
    EXPECT_EQ(b.getArrayInt(1), VARIANT_TRUE);
    EXPECT_EQ(b.getArrayInt(0), VARIANT_FALSE);

    SOCmnVariant r;
    ASSERT_TRUE(r.initArray(VT_R4, 2));
    r.setArrayDouble(0, 1.25);
    EXPECT_DOUBLE_EQ(r.getArrayDouble(0), 1.25);

    SOCmnVariant i1;
    ASSERT_TRUE(i1.initArray(VT_I1, 1));
    i1.setArrayInt(0, -1);
    EXPECT_EQ(i1.getArrayInt(0), -1);

    SOCmnVariant s;
    ASSERT_TRUE(s.initArray(VT_BSTR, 2));
    EXPECT_EQ(s.getArrayLength(), 2u);
    EXPECT_TRUE(s.setArrayString(1, u"x"));
    EXPECT_EQ(s.getArrayString(1), u"x");

    SOCmnVariant bad;
    EXPECT_FALSE(bad.initArray(VT_EMPTY, 2));
    EXPECT_FALSE(bad.initArray(VT_ARRAY | VT_I2, 2));
    EXPECT_TRUE(bad.isEmpty());
    SOCmnVariant empty;
    ASSERT_TRUE(empty.initArray(VT_I4, 0));
    EXPECT_EQ(empty.getArrayLength(), 0u);
    EXPECT_FALSE(empty.isEmpty());
}

TEST(Variant, EqualityComparesTypeAndContent)
{
    SOCmnVariant a, b;
    a.setI2(5);
    b.setUI2(5);
    EXPECT_NE(a, b);
    b.setI2(5);
    EXPECT_EQ(a, b);
    a.initArray(VT_I2, 2);
    b.initArray(VT_I2, 2);
    EXPECT_EQ(a, b);
    b.setArrayInt(1, 1);
    EXPECT_NE(a, b);
}

TEST(Variant, ChangeTypeConvertsWithRangeCheck)
{
    SOCmnVariant in, out;
    in.setI4(300);
    EXPECT_EQ(in.changeType(VT_UI1, out), DISP_E_OVERFLOW);
    EXPECT_EQ(in.changeType(VT_I2, out), S_OK);
    EXPECT_EQ(out.getType(), VT_I2);
    EXPECT_EQ(out.toInt64(), 300);
    in.setR8(2.6);
    EXPECT_EQ(in.changeType(VT_I2, out), S_OK);
    EXPECT_EQ(out.toInt64(), 3);
    in.setR8(NAN);
    EXPECT_EQ(in.changeType(VT_I4, out), DISP_E_OVERFLOW);
    in.setI2(-1);
    EXPECT_EQ(in.changeType(VT_UI4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(in.changeType(VT_BOOL, out), S_OK);
    EXPECT_EQ(out.toInt64(), VARIANT_TRUE);
    EXPECT_EQ(in.changeType(VT_BSTR, out), S_OK);
    EXPECT_EQ(out.toUtf8(), "-1");
    in.setStringUtf8("42");
    EXPECT_EQ(in.changeType(VT_UI2, out), S_OK);
    EXPECT_EQ(out.toInt64(), 42);
    in.setStringUtf8("4x");
    EXPECT_EQ(in.changeType(VT_UI2, out), DISP_E_TYPEMISMATCH);
    in.setI2(1);
    EXPECT_EQ(in.changeType(VT_ARRAY | VT_I2, out), DISP_E_TYPEMISMATCH);

    SOCmnVariant arr;
    arr.initArray(VT_I4, 3);
    arr.setArrayInt(0, 1);
    arr.setArrayInt(2, -7);
    EXPECT_EQ(arr.changeType(VT_ARRAY | VT_I2, out), S_OK);
    EXPECT_EQ(out.getType(), VT_ARRAY | VT_I2);
    EXPECT_EQ(out.getArrayLength(), 3u);
    EXPECT_EQ(out.getArrayInt(2), -7);
    EXPECT_EQ(arr.changeType(VT_ARRAY | VT_UI1, out), DISP_E_OVERFLOW);
}
