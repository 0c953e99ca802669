#include <gtest/gtest.h>

#include <string>

#include "registry/KeyFile.h"

using namespace orva::registry;

TEST(KeyFile, EveryByteSurvivesTheRoundTrip)
{
    std::string allBytes;
    for (int b = 0; b < 256; ++b)
        allBytes += static_cast<char>(b);
    KeyFileContents contents{"SOFTWARE\\ORVAAutomation\\Tornel", {}};
    contents.set("ConfigFile", "C:\\path with \"quotes\"\\and\nnew line");
    contents.set("", "default value");
    contents.set(allBytes, allBytes);

    const std::string text = serializeKeyFile(contents);
    // One line per value: no raw control character may end up in the file.
    for (const char c : text)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);

    const auto parsed = parseKeyFile(text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->keyPath, contents.keyPath);
    ASSERT_EQ(parsed->values.size(), 3u);
    EXPECT_EQ(parsed->find("configfile")->data, "C:\\path with \"quotes\"\\and\nnew line");
    EXPECT_EQ(parsed->find("")->data, "default value");
    EXPECT_EQ(parsed->find(allBytes)->data, allBytes);
}

TEST(KeyFile, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling)
{
    KeyFileContents contents{"K", {}};
    contents.set("ConfigFile", "a");
    contents.set("CONFIGFILE", "b");
    ASSERT_EQ(contents.values.size(), 1u);
    EXPECT_EQ(contents.values[0].name, "ConfigFile");
    EXPECT_EQ(contents.values[0].data, "b");
    EXPECT_TRUE(contents.erase("configfile"));
    EXPECT_FALSE(contents.erase("configfile"));
}

TEST(KeyFile, AcceptsCommentsBlankLinesAndCrlf)
{
    const auto parsed = parseKeyFile("; made by hand\r\n\r\n[A\\B]\r\n\"x\"=\"1\"\r\n@=\"d\"");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->keyPath, "A\\B");
    ASSERT_EQ(parsed->values.size(), 2u);
    EXPECT_EQ(parsed->find("x")->data, "1");
    EXPECT_EQ(parsed->find("")->data, "d");
}

TEST(KeyFile, MalformedTextIsRejectedAsAWhole)
{
    const char* const bad[] = {
        "",                                 // no header
        "\"a\"=\"1\"\n",                    // value before the header
        "[]\n",                             // empty key path
        "[K\n",                             // unterminated header
        "[K]\n\"a\"=\"1\n",                 // unterminated value
        "[K]\n\"a\"=\"1\"x\n",              // trailing text
        "[K]\n\"a\"\"1\"\n",                // no '='
        "[K]\n\"a\"=1\n",                   // unquoted value
        "[K]\n\"a\"=\"\\q\"\n",             // unknown escape
        "[K]\n\"a\"=\"\\x4\"\n",            // short hex escape
        "[K]\n\"a\"=\"\\xZZ\"\n",           // bad hex digits
        "[K]\n\"a\"=\"x\\\"\n",             // escape at the end of the line
        "[K]\n\"a\"=\"tab\there\"\n",       // raw control character
        "[K]\n\"a\"=\"1\"\n\"A\"=\"2\"\n",  // the same name twice
        "[K]\n[L]\n",                       // a second header
        "[K\x01]\n",                        // control character in the key path
    };
    for (const char* text : bad)
        EXPECT_FALSE(parseKeyFile(text).has_value()) << text;
}

TEST(KeyFile, OversizedTextIsRejected)
{
    std::string text = "[K]\n\"a\"=\"";
    text.append(kMaxKeyFileSize, 'x');
    text += "\"\n";
    EXPECT_FALSE(parseKeyFile(text).has_value());
}
