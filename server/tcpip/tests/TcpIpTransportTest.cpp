// Tornel's binding to the TCP/IP access library: the connection table it builds, the data file
// it hands over before every opening and the reading of status codes.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tcpip/TcpIpTransport.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::tcpip;

namespace {

class RecordingLibrary final : public TcpIpLibrary {
public:
    std::vector<std::string>* calls;
    std::vector<orva::plc::PlcConnectionEntry>* opened;
    RecordingLibrary(std::vector<std::string>* c, std::vector<orva::plc::PlcConnectionEntry>* o)
        : calls(c), opened(o)
    {
    }
    int s7Open(const orva::plc::PlcConnectionEntry* entries, int count) override
    {
        opened->assign(entries, entries + count);
        calls->push_back("open " + std::to_string(count));
        return 0;
    }
    int s7SelectPlc(int plcNumber, int side) override
    {
        calls->push_back("select " + std::to_string(plcNumber) + " " + std::to_string(side));
        return 0;
    }
    int s7ReadBytes(int db, int count, int start, void*) override
    {
        calls->push_back("read " + std::to_string(db) + " " + std::to_string(start) + " " +
                         std::to_string(count));
        return 0;
    }
    int s7WriteBytes(int db, int count, int start, const void*) override
    {
        calls->push_back("write " + std::to_string(db) + " " + std::to_string(start) + " " +
                         std::to_string(count));
        return 0;
    }
    void s7Close() override { calls->push_back("close"); }
    int s7ErrorText(int code, char* buffer) override
    {
        if (code == 0) {
            calls->push_back(std::string("data file ") + buffer);
            return 0;
        }
        std::strcpy(buffer, "text of the code");
        return 0;
    }
};

SOCmnPointer<core::S7Plc> tornelPlc(const std::string& name, const std::string& address,
                                    std::optional<std::string> source, uint16_t slot, uint16_t rack)
{
    return SOCmnPointer<core::S7Plc>(new core::S7Plc(name, address, std::move(source), slot, rack));
}

}  // namespace

TEST(ConnectionTable, OneEntryPerPlcInListOrderWithSourcesOnlyWhereConfigured)
{
    core::PlcList plcs;
    auto a = tornelPlc("A", "127.0.0.1:10102", std::string("127.0.0.2"), 2, 0);
    auto b = tornelPlc("B", "10.0.0.2", std::nullopt, 0x102, 1);
    b->addressB = "10.0.0.3";
    auto c = tornelPlc("C", "10.0.0.4", std::nullopt, 3, 0);
    c->addressB = "10.0.0.5";
    c->sourceB = "10.0.0.6";
    plcs.add(a.get());
    plcs.add(b.get());
    plcs.add(c.get());

    const auto table = buildConnectionTable(plcs);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_STREQ(table[0].address, "127.0.0.1:10102");
    EXPECT_STREQ(table[0].source, "127.0.0.2");
    EXPECT_EQ(table[0].hasSource, 1);
    EXPECT_EQ(table[0].hasSourceB, 0);
    EXPECT_EQ(table[0].cpuSlot, 2);
    EXPECT_EQ(table[1].hasSource, 0);
    EXPECT_STREQ(table[1].addressB, "10.0.0.3");
    EXPECT_EQ(table[1].hasSourceB, 0);  // redundant, without a side-B source
    EXPECT_EQ(table[1].cpuSlot, 0x02);  // the low byte only
    EXPECT_EQ(table[1].rackNr, 1);
    EXPECT_STREQ(table[2].sourceB, "10.0.0.6");
    EXPECT_EQ(table[2].hasSourceB, 1);
    plcs.clear();
}

TEST(TcpIpTransport, HandsOverTheDataFileBeforeEveryOpeningAndForwardsAccesses)
{
    std::vector<std::string> calls;
    std::vector<orva::plc::PlcConnectionEntry> opened;
    TcpIpTransport transport(std::make_unique<RecordingLibrary>(&calls, &opened), "/opt/orva/Tornel.dat");
    core::PlcList plcs;
    auto a = tornelPlc("A", "127.0.0.1", std::nullopt, 2, 0);
    plcs.add(a.get());
    EXPECT_EQ(transport.open(plcs), 0);
    EXPECT_EQ(transport.selectPlc(1, 1), 0);
    uint8_t buffer[4] = {};
    EXPECT_EQ(transport.readBytes(7, 4, 10, buffer), 0);
    EXPECT_EQ(transport.writeBytes(7, 2, 12, buffer), 0);
    transport.close();
    EXPECT_EQ(transport.open(plcs), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"data file /opt/orva/Tornel.dat", "open 1", "select 1 1",
                                               "read 7 10 4", "write 7 12 2", "close",
                                               "data file /opt/orva/Tornel.dat", "open 1"}));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_STREQ(opened[0].address, "127.0.0.1");
    EXPECT_EQ(transport.errorText(5), "text of the code");
    EXPECT_EQ(transport.errorText(0), "");
    plcs.clear();
}

TEST(TcpIpTransport, CodesBelow64AreConnectionLevel)
{
    std::vector<std::string> calls;
    std::vector<orva::plc::PlcConnectionEntry> opened;
    TcpIpTransport transport(std::make_unique<RecordingLibrary>(&calls, &opened), "Tornel.dat");
    EXPECT_FALSE(transport.isConnectionLevel(0));
    EXPECT_TRUE(transport.isConnectionLevel(1));
    EXPECT_TRUE(transport.isConnectionLevel(63));
    EXPECT_TRUE(transport.isConnectionLevel(-3));
    EXPECT_FALSE(transport.isConnectionLevel(64));
    EXPECT_FALSE(transport.isConnectionLevel(121));
}

TEST(TcpIpTransport, DataFileLiesBesideTheExecutable)
{
    EXPECT_EQ(dataFilePathFor("/usr/lib/orva/Tornel"), "/usr/lib/orva/Tornel.dat");
    EXPECT_EQ(dataFilePathFor(""), "Tornel.dat");
    EXPECT_EQ(dataFilePathFor("/" + std::string(300, 'x') + "/Tornel"), "Tornel.dat");
}

TEST(TcpIpTransport, AnInstalledServerKeepsItsDataFileInTheStateFolder)
{
    const std::filesystem::path state = std::filesystem::temp_directory_path();
    EXPECT_EQ(dataFilePathFor("/usr/bin/Tornel", state.string()), (state / "Tornel.dat").string());
    EXPECT_EQ(dataFilePathFor("/nonexistent/orva/Tornel", state.string()), (state / "Tornel.dat").string());
    EXPECT_EQ(dataFilePathFor((state / "Tornel").string(), "/nonexistent/state"),
              (state / "Tornel.dat").string());
}
