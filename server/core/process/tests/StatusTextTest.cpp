#include <gtest/gtest.h>

#include "process/StatusText.h"

using namespace orva::process;

namespace {

const int plc1 = 1, plc2 = 2, plc3 = 3, stranger = 4;

std::vector<PlcLine> threePlcs()
{
    return {{&plc1, "PLC_A"}, {&plc2, "PLC_B"}, {&plc3, "PLC_C"}};
}

std::string errorText(int code)
{
    return "Error " + std::to_string(code);
}

}  // namespace

TEST(StatusText, OneLinePerPlcOnlyTheReportedOneCarriesText)
{
    EXPECT_EQ(buildStatusText(threePlcs(), &plc2, 7, errorText), "\nError 7 on PLC_B\n\n");
    EXPECT_EQ(buildStatusText(threePlcs(), &plc2, 0, errorText), "\n\n\n");
    EXPECT_EQ(buildStatusText(threePlcs(), &stranger, 7, errorText), "\n\n\n");
    EXPECT_EQ(buildStatusText({}, &plc1, 7, errorText), "");
    // Two PLCs of the same name are still told apart by their object.
    EXPECT_EQ(buildStatusText({{&plc1, "X"}, {&plc2, "X"}}, &plc2, -1, errorText), "\nError -1 on X\n");
}

TEST(StatusText, ALaterReportReplacesTheEarlierOne)
{
    StatusLine line(errorText);
    line.setPlcs(threePlcs());
    EXPECT_TRUE(line.report(7, &plc2));
    EXPECT_EQ(line.text(), "\nError 7 on PLC_B\n\n");
    EXPECT_EQ(line.nonEmptyLines(), std::vector<std::string>{"Error 7 on PLC_B"});
    EXPECT_FALSE(line.report(7, &plc2));
    EXPECT_TRUE(line.report(9, &plc3));
    EXPECT_EQ(line.text(), "\n\nError 9 on PLC_C\n");
    EXPECT_TRUE(line.report(0, &plc3));
    EXPECT_EQ(line.text(), "\n\n\n");
    EXPECT_TRUE(line.nonEmptyLines().empty());
}

TEST(StatusText, VardelNamesTwoCodesItselfAndAsksTheLibraryForTheRest)
{
    const ErrorTextFunction text = vardelErrorText([] { return std::string("SAPI: no connection"); });
    EXPECT_EQ(text(124), "Connection error: dropped");
    EXPECT_EQ(text(-2), "Unknown error");
    EXPECT_EQ(text(5), "SAPI: no connection");
}
