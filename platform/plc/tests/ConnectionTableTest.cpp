// The access library's table contract, error codes and data file, without a PLC.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <unistd.h>

#include "plc/CommunicationRecord.h"
#include "plc/TcpIpS7Tool.h"

namespace orva::plc {
namespace {

TEST(PlcConnectionEntry, HasTheFixed76ByteLayout)
{
    EXPECT_EQ(sizeof(PlcConnectionEntry), 76u);
    EXPECT_EQ(offsetof(PlcConnectionEntry, address), 0u);
    EXPECT_EQ(offsetof(PlcConnectionEntry, addressB), 16u);
    EXPECT_EQ(offsetof(PlcConnectionEntry, source), 32u);
    EXPECT_EQ(offsetof(PlcConnectionEntry, sourceB), 48u);
    EXPECT_EQ(offsetof(PlcConnectionEntry, hasSource), 64u);
    EXPECT_EQ(offsetof(PlcConnectionEntry, hasSourceB), 68u);
    EXPECT_EQ(offsetof(PlcConnectionEntry, cpuSlot), 72u);
    EXPECT_EQ(offsetof(PlcConnectionEntry, rackNr), 73u);
}

// The server's mapping from library codes to OPC qualities.
int quality(int code)
{
    if (code == 20 || code == 23 || code == 25 || code == 50 || code == 112 || code == 113) return 0x1C;
    if (code >= 80 && code <= 88) return 0x0C;
    if (code >= 120 && code <= 124) return 0x18;
    return 0x00;
}

TEST(ErrorCodes, LostOrSilentPlcsAreConnectionLevelAndOutOfService)
{
    for (const int code : {kS7Unreachable, kS7Timeout, kS7ConnectionLost, kS7IsoRefused}) {
        EXPECT_TRUE(isConnectionLevel(code)) << code;
        EXPECT_EQ(quality(code), 0x1C) << code;
    }
    for (const int code : {kS7NotOpen, kS7NoPlcSelected, kS7BadAddress, kS7ProtocolViolation}) {
        EXPECT_TRUE(isConnectionLevel(code)) << code;
    }
}

TEST(ErrorCodes, SingleAccessFailuresAreAboveTheConnectionClass)
{
    for (const int code : {kS7DataBlockMissing, kS7AddressOutOfRange, kS7AccessDenied, kS7DataTypeMismatch,
                           kS7HardwareFault, kS7ItemRefused}) {
        EXPECT_FALSE(isConnectionLevel(code)) << code;
        EXPECT_EQ(quality(code), 0x0C) << code;
    }
    EXPECT_EQ(quality(kS7PutGetNotPermitted), 0x1C);
    EXPECT_EQ(quality(kS7NoResources), 0x18);
    EXPECT_EQ(quality(kS7RequestRefused), 0x18);
    EXPECT_FALSE(isConnectionLevel(kS7BadArgument));
}

TEST(ErrorCodes, EveryCodeHasADistinctTextThatFitsTheBuffer)
{
    std::set<std::string> texts;
    for (const int code : s7ErrorCodes()) {
        const char* text = s7ErrorMessage(code);
        ASSERT_NE(text, nullptr) << code;
        EXPECT_LT(std::strlen(text), kS7ErrorTextCapacity) << code;
        EXPECT_TRUE(texts.insert(text).second) << "duplicate text for " << code;
    }
    TcpIpS7Tool tool;
    char buffer[kS7ErrorTextCapacity];
    EXPECT_EQ(tool.errorText(kS7Timeout, buffer), 0);
    EXPECT_STREQ(buffer, "PLC did not answer in time");
    EXPECT_EQ(tool.errorText(77, buffer), 0);
    EXPECT_STREQ(buffer, "Unknown error 77");
    EXPECT_EQ(tool.errorText(-5, buffer), 0);
    EXPECT_STREQ(buffer, "Unknown error -5");
}

TEST(ConnectionTable, CallsBeforeOpenOrSelectionFailAtConnectionLevel)
{
    TcpIpS7Tool tool;
    uint8_t buffer[4] = {};
    EXPECT_EQ(tool.selectPlc(1, 0), kS7NotOpen);
    EXPECT_EQ(tool.readBytes(1, 4, 0, buffer), kS7NotOpen);
    EXPECT_EQ(tool.open(nullptr, 1), kS7NotOpen);
    EXPECT_EQ(tool.open(nullptr, -1), kS7NotOpen);
    const PlcConnectionEntry one{};
    EXPECT_EQ(tool.open(&one, 70000), kS7NotOpen);  // beyond 16-bit PLC numbers, never read
    EXPECT_EQ(tool.open(nullptr, 0), kS7Ok);        // an empty table is usable, if pointless
    EXPECT_EQ(tool.readBytes(1, 4, 0, buffer), kS7NoPlcSelected);
    EXPECT_EQ(tool.selectPlc(1, 0), kS7BadPlcNumber);
    tool.close();
    EXPECT_EQ(tool.writeBytes(1, 4, 0, buffer), kS7NotOpen);
}

TEST(ConnectionTable, UnterminatedAndBadAddressTextsAreRefusedWithoutOverread)
{
    PlcConnectionEntry entries[2];
    std::memset(entries, 'x', sizeof entries);  // no NUL anywhere, as in uncleared buffers
    entries[0].hasSource = 0;
    entries[0].hasSourceB = 0;
    entries[1].hasSource = 1;
    entries[1].hasSourceB = 0;
    std::strcpy(entries[1].address, "127.0.0.1:1");
    std::strcpy(entries[1].source, "127.0.0");
    TcpIpS7Tool tool;
    ASSERT_EQ(tool.open(entries, 2), kS7Ok);
    EXPECT_EQ(tool.selectPlc(1, 0), kS7BadAddress);
    EXPECT_EQ(tool.selectPlc(1, 1), kS7BadAddress);
    EXPECT_EQ(tool.selectPlc(1, 2), kS7BadSelector);
    EXPECT_EQ(tool.selectPlc(3, 0), kS7BadPlcNumber);
    EXPECT_EQ(tool.selectPlc(2, 0), kS7BadSource);
    std::strcpy(entries[1].addressB, "");
    ASSERT_EQ(tool.open(entries, 2), kS7Ok);
    EXPECT_EQ(tool.selectPlc(2, 1), kS7NoAddressB);
    EXPECT_EQ(tool.connectionCount(), 0);
}

class DataFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("orva-plc-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    static std::string contents(const std::filesystem::path& path)
    {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path dir_;
};

TEST_F(DataFile, RecordsEachChangeOfAConnectionsStateOnce)
{
    const auto path = dir_ / "Tornel.dat";
    TcpIpS7Tool tool;
    char pathText[kS7DataFilePathCapacity];
    std::snprintf(pathText, sizeof pathText, "%s", path.c_str());
    ASSERT_EQ(tool.errorText(0, pathText), 0);
    EXPECT_STREQ(pathText, path.c_str());  // the hand-over leaves the caller's buffer alone

    PlcConnectionEntry entry{};
    std::strcpy(entry.address, "300.1.1.1");
    ASSERT_EQ(tool.open(&entry, 1), kS7Ok);
    EXPECT_EQ(tool.selectPlc(1, 0), kS7BadAddress);
    EXPECT_EQ(tool.selectPlc(1, 0), kS7BadAddress);
    const std::string text = contents(path);
    EXPECT_NE(text.find("PLC 1 side A 300.1.1.1: error 6 PLC address is not a valid IP address"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("error 6", text.find("error 6") + 1), std::string::npos)
        << "repeated error recorded twice";
}

TEST_F(DataFile, StaysWithinItsLimitKeepingTheNewestLines)
{
    const auto path = dir_ / "Tornel.dat";
    CommunicationRecord record(1000);
    record.setPath(path.string());
    for (int i = 0; i < 200; ++i)
        record.record(i, i % 2, "127.0.0.1", kS7Timeout);
    const std::string text = contents(path);
    EXPECT_LE(text.size(), 1000u);
    EXPECT_NE(text.find("PLC 199 side B"), std::string::npos);
    EXPECT_EQ(text.find("PLC 0 side A"), std::string::npos);
    EXPECT_EQ(text.front(), '2');  // starts at a whole line (a time stamp)
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
}

TEST_F(DataFile, AnUnwritablePathIsIgnored)
{
    CommunicationRecord record;
    record.setPath((dir_ / "missing" / "Tornel.dat").string());
    record.record(1, 0, "127.0.0.1", kS7Timeout);  // must neither fail nor create the folder
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

}  // namespace
}  // namespace orva::plc
