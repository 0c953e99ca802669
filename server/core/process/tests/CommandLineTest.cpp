#include <gtest/gtest.h>

#include "process/CommandLine.h"

using namespace orva::process;

namespace {

struct Expected {
    const char* line;
    CommandLineAction action;
    bool embedded;
    bool ctt;
};

}  // namespace

TEST(CommandLine, KeywordsAfterDashOrSlashInAnyCase)
{
    const Expected cases[] = {
        {"-RegServer", CommandLineAction::Register, false, false},
        {"/regserver", CommandLineAction::Register, false, false},
        {"-REGSERVER", CommandLineAction::Register, false, false},
        {"  \t-RegServer", CommandLineAction::Register, false, false},  // leading blanks are skipped
        {"-UnregServer", CommandLineAction::Unregister, false, false},
        {"/UNREGSERVER", CommandLineAction::Unregister, false, false},
        {"-Embedding", CommandLineAction::Run, true, false},
        {"/embedded", CommandLineAction::Run, true, false},
        {"-ctt", CommandLineAction::Run, false, true},
        {"/CTT", CommandLineAction::Run, false, true},
        {"-cTt", CommandLineAction::Run, false, true},
    };
    for (const auto& c : cases) {
        const auto options = parseCommandLine(c.line);
        EXPECT_EQ(options.action, c.action) << c.line;
        EXPECT_EQ(options.embeddedStart, c.embedded) << c.line;
        EXPECT_EQ(options.cttMode, c.ctt) << c.line;
    }
}

TEST(CommandLine, AnythingElseRunsWithNoFlagSet)
{
    // The rest of the line is compared as one string: extra words make every comparison fail.
    for (const char* line :
         {"", "   ", "-RegServer x", "-ctt -Embedding", "-Embedding -ctt", "RegServer", "ctt", "--RegServer",
          "-RegServer ", "-", "/", "-Regserv", "+RegServer", "-Embed"}) {
        const auto options = parseCommandLine(line);
        EXPECT_EQ(options.action, CommandLineAction::Run) << line;
        EXPECT_FALSE(options.embeddedStart) << line;
        EXPECT_FALSE(options.cttMode) << line;
    }
}

TEST(CommandLine, ArgumentsAreJoinedWithSingleSpaces)
{
    const char* const args[] = {"/usr/bin/Tornel", "-ctt", "-Embedding"};
    EXPECT_EQ(joinCommandLine(3, args), "-ctt -Embedding");
    EXPECT_FALSE(parseCommandLine(joinCommandLine(3, args)).cttMode);

    const char* const one[] = {"/usr/bin/Tornel", "/RegServer"};
    EXPECT_EQ(parseCommandLine(joinCommandLine(2, one)).action, CommandLineAction::Register);

    EXPECT_EQ(toolkitEntrySetting(parseCommandLine("-ctt")), 1000);
    EXPECT_EQ(toolkitEntrySetting(parseCommandLine("-Embedding")), 50);

    const char* const none[] = {"/usr/bin/Tornel"};
    EXPECT_EQ(joinCommandLine(1, none), "");
    EXPECT_EQ(joinCommandLine(0, nullptr), "");
}
