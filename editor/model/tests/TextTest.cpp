// Number reading, letter case and the list's fixed formats.
#include "TestModel.h"
#include "editor/Text.h"

namespace orva::editor::test {
namespace {

TEST(TextTest, LeadingNumberReadsAsFarAsANumberGoes)
{
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber("12abc"), 12);
    EXPECT_EQ(leadingNumber("  1 2\t3"), 123);
    EXPECT_EQ(leadingNumber("-7.5x"), -7.5);
    EXPECT_EQ(leadingNumber("1e3"), 1000);
    EXPECT_EQ(leadingNumber("2D2"), 200);
    EXPECT_EQ(leadingNumber("3e"), 3);
    EXPECT_EQ(leadingNumber(".5"), 0.5);
    EXPECT_EQ(leadingNumber("-"), 0);
    EXPECT_EQ(leadingNumber("1,5"), 1);
}

TEST(TextTest, IsNumericWantsOneWholeNumber)
{
    for (const char* yes : {"0", " 12 ", "-3", "+4.25", "1e3", ".5", "5."})
        EXPECT_TRUE(isNumeric(yes)) << yes;
    for (const char* no : {"", " ", "12abc", "1e", "--1", "1 2", ".", "abc"})
        EXPECT_FALSE(isNumeric(no)) << no;
}

TEST(TextTest, RoundingGoesToTheEvenNeighbourAndRangesOverflow)
{
    EXPECT_EQ(roundInRange(2.5, 0, 255), 2);
    EXPECT_EQ(roundInRange(3.5, 0, 255), 4);
    EXPECT_EQ(roundInRange(-0.4, 0, 255), 0);
    EXPECT_EQ(roundInRange(255.4, 0, 255), 255);
    const auto overflows = [](double value) {
        try {
            roundInRange(value, 0, 255);
        } catch (const EditorError& e) {
            return e.code == ErrorCode::Overflow;
        }
        return false;
    };
    EXPECT_TRUE(overflows(255.5));
    EXPECT_TRUE(overflows(-1));
    EXPECT_TRUE(overflows(1e300 * 1e300));
}

TEST(TextTest, UpperCaseCoversLatin1Letters)
{
    EXPECT_EQ(upperText("motor_1\xC3\xA9\xC3\xB7\xC3\xBF"), "MOTOR_1\xC3\x89\xC3\xB7\xC3\xBF");
    EXPECT_TRUE(equalNoCase("Level", "LEVEL"));
    EXPECT_FALSE(equalNoCase("Level", "Levels"));
    EXPECT_EQ(trimSpaces("  a b  "), "a b");
    EXPECT_EQ(zeroPadded(7, 4), "0007");
    EXPECT_EQ(zeroPadded(123456, 4), "123456");
}

TEST(TextTest, ErrorsReadInTheEditorsOneLineForm)
{
    EXPECT_EQ(
        formatError(ErrorCode::DuplicateKey, "BrowsePlc"),
        " Error n. 457  This key is already associated with an element of this collection in BrowsePlc");
    EXPECT_EQ(formatError(ErrorCode::Overflow, "ImportXML"), " Error n. 6  Overflow in ImportXML");
}

}  // namespace
}  // namespace orva::editor::test
