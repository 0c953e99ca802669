// Lorvik's binding to the MPI access library, driven by the communication thread against a
// recording library: the serial settings and station table it hands over, the pieces it reads
// in (start before count), and the connection-level codes that close and reopen the table.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "LoaderFixture.h"
#include "core/CommunicationThread.h"
#include "core/S7Creator.h"
#include "core/S7Tag.h"
#include "core/TickSource.h"
#include "mpie/MpiTransport.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;

namespace {

// Records calls as text ("open", "select 2", "read 1 10 222", "close") with the tick they came at.
class RecordingLibrary final : public mpie::SerialMpiLibrary {
public:
    explicit RecordingLibrary(ManualTickSource& ticks) : ticks_(ticks) {}
    std::vector<std::string> calls;
    std::vector<uint32_t> callTicks;
    std::vector<uint8_t> stationTable;
    std::vector<std::string> serial;
    std::map<std::string, int> failures;  // call prefix -> code

    void mpiSetSerial(const char* com, int baud, int dataBits, int parity, int stopBits, int master) override
    {
        serial.push_back(std::string(com) + " " + std::to_string(baud) + " " + std::to_string(dataBits) +
                         " " + std::to_string(parity) + " " + std::to_string(stopBits) + " " +
                         std::to_string(master));
    }
    int mpiOpen(int firstPlc, int reserved, const uint8_t* stations) override
    {
        stationTable.clear();
        for (const uint8_t* entry = stations;; entry += 4) {
            stationTable.insert(stationTable.end(), entry, entry + 4);
            if (entry[0] == 0 && entry[1] == 0 && entry[2] == 1 && entry[3] == 0) break;
        }
        return note("open " + std::to_string(firstPlc) + " " + std::to_string(reserved));
    }
    void mpiClose() override { note("close"); }
    int mpiSelectPlc(int plcNumber) override { return note("select " + std::to_string(plcNumber)); }
    int mpiReadBytes(int db, int start, int count, void* destination) override
    {
        std::memset(destination, 0, static_cast<size_t>(count));
        return note("read " + std::to_string(db) + " " + std::to_string(start) + " " + std::to_string(count));
    }
    int mpiWriteBytes(int db, int start, int count, const void*) override
    {
        return note("write " + std::to_string(db) + " " + std::to_string(start) + " " +
                    std::to_string(count));
    }
    int mpiErrorText(int code, char* buffer) override
    {
        if (code == 0) return note(std::string("data file ") + buffer);
        std::strcpy(buffer, ("text " + std::to_string(code)).c_str());
        return 0;
    }
    size_t errorTextCapacity() const override { return 64; }

    std::vector<std::string> only(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }

private:
    int note(const std::string& call)
    {
        calls.push_back(call);
        callTicks.push_back(ticks_.now());
        for (const auto& [prefix, code] : failures) {
            if (call.rfind(prefix, 0) == 0) return code;
        }
        return 0;
    }
    ManualTickSource& ticks_;
};

class NullSink : public StatusSink {
public:
    std::vector<int> codes;
    void reportPlcStatus(int code, const S7Plc*) override { codes.push_back(code); }
    void reportNoPlc() override {}
};

std::string lorvikFile(const std::string& settings, const std::string& plcs)
{
    return "<?xml version=\"1.0\"?><ORVAMpiECfg>" + settings + "<OPC_DA>" + plcs + "</OPC_DA></ORVAMpiECfg>";
}

std::string mpiPlc(const std::string& name, int address, const std::string& tags)
{
    return "<PLC name=\"" + name + "\" address=\"" + std::to_string(address) + "\" CPUSlot=\"2\"><tags>" +
           tags + "</tags></PLC>";
}

class LorvikTransport : public LoaderFixture {
protected:
    void start(const std::string& settings, const std::string& plcElements)
    {
        entry->setCreator(SOCmnPointer<SODaSCreator>(new S7Creator(queues)).get());
        const LoadContext context{config::ServerKind::Lorvik, plcs, queues, owner, &settingsSink};
        ASSERT_TRUE(loadConfigurationFromMemory(context, lorvikFile(settings, plcElements), *root));
        thread = std::make_unique<CommunicationThread>(plcs, queues, transport, sink,
                                                       commSettingsFor(config::ServerKind::Lorvik), &ticks);
        ASSERT_TRUE(thread->begin());
    }
    void TearDown() override { thread.reset(); }

    S7Tag& tag(const std::string& itemId)
    {
        auto* t = dynamic_cast<S7Tag*>(root->findTag(itemId).get());
        EXPECT_NE(t, nullptr) << itemId;
        return *t;
    }
    void subscribe(std::size_t plcIndex, const std::string& itemId, uint32_t rate = 100)
    {
        thread->registerTag(*plcs.at(plcIndex), tag(itemId), rate);
    }
    void run(int iterations, uint32_t msBetween = 101)
    {
        for (int i = 0; i < iterations; ++i) {
            ticks.advance(msBetween);
            thread->iterate();
        }
    }
    uint16_t quality(const std::string& itemId) { return tag(itemId).getCache()->getQuality(); }

    ManualTickSource ticks{100000};
    std::shared_ptr<RecordingLibrary> library = std::make_shared<RecordingLibrary>(ticks);
    mpie::SerialSettingsSink settingsSink{library};
    mpie::MpiTransport transport{library, "/opt/orva/Lorvik.err"};
    NullSink sink;
    std::unique_ptr<CommunicationThread> thread;
};

const std::string kSettings =
    "<SETTINGS com=\"COM3\" master = \"1\" baudrate=\"19200\" parity=\"EVEN\" stopbits=\"2\" "
    "databits=\"8\"/>";

}  // namespace

TEST_F(LorvikTransport, HandsOverSettingsDataFileAndStationTableWithPlcNumbers)
{
    start(kSettings, mpiPlc("P2", 2, tagXml("A", "VT_I2")) + mpiPlc("P3", 3, tagXml("A", "VT_I2")));
    EXPECT_EQ(library->serial, std::vector<std::string>{"COM3 19200 8 2 2 1"});
    EXPECT_EQ(library->calls, (std::vector<std::string>{"data file /opt/orva/Lorvik.err", "open 1 0"}));
    EXPECT_EQ(library->stationTable, (std::vector<uint8_t>{2, 0, 2, 0, 3, 0, 2, 0, 0, 0, 1, 0}));
    EXPECT_EQ(plcs.at(0)->plcNumber, 1);
    EXPECT_EQ(plcs.at(1)->plcNumber, 2);
    EXPECT_EQ(transport.errorText(794), "text 794");
    for (const int code : {517, 794, 16386, 61185, 65535})
        EXPECT_TRUE(transport.isConnectionLevel(code)) << code;
    for (const int code : {0, 1, 23, 64, 85, 516, 65534})
        EXPECT_FALSE(transport.isConnectionLevel(code)) << code;
}

TEST_F(LorvikTransport, OtherParityAndStopBitTextsFallBackToOddAndOne)
{
    start(
        "<SETTINGS com=\"/dev/ttyUSB0\" master=\"0\" baudrate=\"38400\" parity=\"MARK\" stopbits=\"3\" "
        "databits=\"7\"/>",
        mpiPlc("P", 2, tagXml("A", "VT_I2")));
    EXPECT_EQ(library->serial, std::vector<std::string>{"/dev/ttyUSB0 38400 7 1 0 0"});
}

TEST_F(LorvikTransport, ReadsOf300BytesGoInPiecesWithStartBeforeCount)
{
    start(kSettings,
          mpiPlc("P", 2, tagXml("Arr", "VT_UI1 ARRAY", 10, 1, "READ", "<elements>300</elements>")));
    subscribe(0, "P.Arr");
    run(1);
    EXPECT_EQ(library->only("read"), (std::vector<std::string>{"read 1 10 222", "read 1 232 78"}));
    EXPECT_EQ(quality("P.Arr"), OPC_QUALITY_GOOD);
}

TEST_F(LorvikTransport, ConnectionLevelCodeMovesOnClosesWaitsAndReopensOthersMarkOnlyTheBlock)
{
    start(kSettings, mpiPlc("P2", 2, tagXml("A", "VT_I2", 0) + tagXml("B", "VT_I2", 100)) +
                         mpiPlc("P3", 3, tagXml("A", "VT_I2", 50)));
    subscribe(0, "P2.A");
    subscribe(0, "P2.B");
    subscribe(1, "P3.A");
    run(4);
    ASSERT_EQ(quality("P2.A"), OPC_QUALITY_GOOD);
    ASSERT_EQ(quality("P3.A"), OPC_QUALITY_GOOD);

    // An access error marks the block read, nothing else, and the table stays open.
    library->calls.clear();
    library->failures["read 1 0 "] = 85;
    run(6);
    EXPECT_EQ(quality("P2.A"), OPC_QUALITY_DEVICE_FAILURE);
    EXPECT_EQ(quality("P2.B"), OPC_QUALITY_GOOD);
    EXPECT_TRUE(library->only("close").empty());
    library->failures.clear();
    run(6);
    ASSERT_EQ(quality("P2.A"), OPC_QUALITY_GOOD);

    // 794 on P2's first block: every tag of P2 goes bad, the table is closed, 100 ms pass, it is
    // opened again, and the scheduler goes on with P3 (selected anew: nothing counts as selected).
    library->calls.clear();
    library->callTicks.clear();
    library->failures["read 1 0 "] = 794;
    for (int i = 0; i < 20 && library->only("close").empty(); ++i)
        run(1);
    library->failures.clear();
    const auto at = static_cast<size_t>(std::find(library->calls.begin(), library->calls.end(), "close") -
                                        library->calls.begin());
    ASSERT_LT(at + 2, library->calls.size());
    EXPECT_EQ(library->calls[at - 1], "read 1 0 2");
    EXPECT_EQ(library->calls[at + 1], "data file /opt/orva/Lorvik.err");
    EXPECT_EQ(library->calls[at + 2], "open 1 0");
    EXPECT_GE(library->callTicks[at + 2] - library->callTicks[at], 100u);
    EXPECT_EQ(quality("P2.A"), OPC_QUALITY_BAD);
    EXPECT_EQ(quality("P2.B"), OPC_QUALITY_BAD);
    EXPECT_EQ(quality("P3.A"), OPC_QUALITY_GOOD);
    run(1);
    ASSERT_LT(at + 3, library->calls.size());
    EXPECT_EQ(library->calls[at + 3], "select 2");
}
