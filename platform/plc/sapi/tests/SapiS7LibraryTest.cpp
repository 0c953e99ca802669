// The SAPI-S7 library against the simulated PLC: the event flow of connect, read and write,
// the library's error numbers and texts, and answers that must never be taken for others.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "SapiTestSupport.h"
#include "plcsim/PlcSimulator.h"
#include "sapis7/SapiS7.h"

namespace orva::sapis7 {
namespace {

using namespace std::chrono_literals;

class SapiLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        plcsim::SimulatorOptions options;
        options.dataBlocks = {{10, 256}};
        sim = std::make_unique<plcsim::PlcSimulator>(options);
        ASSERT_TRUE(sim->start());
        ASSERT_TRUE(db.setInterface("S7ONLINE", {{"Press", sim->endpoint()}, {"Ghost", "127.0.0.1:1"}}));
        library = std::make_unique<SapiS7Library>(db.registry());
        char device[kDeviceNameCapacity] = {};
        uint16_t count = 0;
        ASSERT_EQ(library->queryDevice("S7ONLINE", 0, &count, device), 0);
        ASSERT_EQ(count, 1);
        EXPECT_STREQ(device, "ISO-on-TCP");
        ASSERT_EQ(library->open("S7ONLINE", device, &descriptor), 0);
    }

    // The next event of the connection within a generous bound; 0 when none came.
    int nextEvent(uint16_t ref, std::chrono::milliseconds bound = 5s)
    {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < end) {
            library->waitEvent(descriptor, ref, 50);
            uint16_t r = ref;
            uint8_t record[kReceiveBufferSize];
            if (const int event = library->receive(descriptor, &r, record)) return event;
        }
        return 0;
    }

    uint16_t connected(const char* name)
    {
        uint16_t ref = 0;
        EXPECT_EQ(library->getConnection(descriptor, name, &ref), 0);
        EXPECT_EQ(library->connect(descriptor, ref), 0);
        EXPECT_EQ(nextEvent(ref), kEventConnectConfirm);
        EXPECT_EQ(library->connectConfirm(), 0);
        return ref;
    }

    std::string text() const
    {
        char buffer[kErrorTextCapacity];
        library->errorText(buffer);
        return buffer;
    }

    test::TempDatabase db;
    std::unique_ptr<plcsim::PlcSimulator> sim;
    std::unique_ptr<SapiS7Library> library;
    uint32_t descriptor = 0;
};

TEST_F(SapiLibraryTest, ReadsAndWritesThroughConfirmations)
{
    const uint16_t ref = connected("press");  // connection names match without regard to case
    VariableRecord record;
    const uint8_t bytes[4] = {1, 2, 3, 4};
    makeVariableRecord(record, 10, 20, 4, bytes);
    EXPECT_STREQ(record.address, "DB10,B20,4");
    ASSERT_EQ(library->writeRequest(descriptor, ref, 0, &record, 0), 0);
    ASSERT_EQ(nextEvent(ref), kEventWriteConfirm);
    ASSERT_EQ(library->writeConfirm(), 0);
    uint8_t memory[4] = {};
    ASSERT_TRUE(sim->readMemory(10, 20, memory));
    EXPECT_EQ(0, std::memcmp(memory, bytes, 4));

    makeVariableRecord(record, 10, 18, 8);
    ASSERT_EQ(library->readRequest(descriptor, ref, 0, &record), 0);
    // A second request before the first is confirmed is refused.
    EXPECT_EQ(library->readRequest(descriptor, ref, 0, &record), kSapiFailed);
    EXPECT_EQ(library->lastError(), kSapiRequestPending);
    ASSERT_EQ(nextEvent(ref), kEventReadConfirm);
    uint8_t data[8 + 4];
    std::memset(data, 0xEE, sizeof data);
    uint16_t count = 8;
    ASSERT_EQ(library->readConfirm(0, &count, data), 0);
    EXPECT_EQ(count, 8);
    EXPECT_EQ(data[2], 1);
    EXPECT_EQ(data[5], 4);
    EXPECT_EQ(data[8], 0xEE) << "nothing beyond the requested count is written";
}

TEST_F(SapiLibraryTest, ReadConfirmNeverWritesPastTheGivenCount)
{
    const uint16_t ref = connected("Press");
    VariableRecord record;
    makeVariableRecord(record, 10, 0, 100);
    ASSERT_EQ(library->readRequest(descriptor, ref, 0, &record), 0);
    ASSERT_EQ(nextEvent(ref), kEventReadConfirm);
    uint8_t data[16];
    std::memset(data, 0xEE, sizeof data);
    uint16_t count = 10;
    EXPECT_EQ(library->readConfirm(0, &count, data), kSapiFailed);
    EXPECT_EQ(library->lastError(), kSapiBufferTooSmall);
    EXPECT_EQ(data[10], 0xEE);
}

TEST_F(SapiLibraryTest, ErrorNumbersAndTextsOfConfigurationAndPlcFailures)
{
    uint16_t ref = 0;
    EXPECT_EQ(library->getConnection(descriptor, "Oven", &ref), kSapiFailed);
    EXPECT_EQ(library->lastError(), kSapiUnknownConnection);
    EXPECT_EQ(text(), "connection Oven is not configured for interface S7ONLINE");

    // Port 1 refuses: the connect request is accepted, its confirmation carries the refusal.
    ASSERT_EQ(library->getConnection(descriptor, "Ghost", &ref), 0);
    ASSERT_EQ(library->connect(descriptor, ref), 0);
    ASSERT_EQ(nextEvent(ref), kEventConnectConfirm);
    EXPECT_EQ(library->connectConfirm(), kSapiFailed);
    EXPECT_EQ(library->lastError(), kSapiRefused);

    // An access error of the PLC keeps its S7 return code in the text.
    const uint16_t press = connected("Press");
    plcsim::Faults faults;
    faults.accessError = 0x0A;
    sim->setFaults(faults);
    VariableRecord record;
    makeVariableRecord(record, 10, 0, 2);
    ASSERT_EQ(library->readRequest(descriptor, press, 0, &record), 0);
    ASSERT_EQ(nextEvent(press), kEventReadConfirm);
    uint16_t count = 2;
    uint8_t data[2];
    EXPECT_EQ(library->readConfirm(0, &count, data), kSapiFailed);
    EXPECT_EQ(library->lastError(), 80);
    EXPECT_NE(text().find("0x0A"), std::string::npos) << text();

    std::strcpy(record.address, "DB10,B0");
    EXPECT_EQ(library->readRequest(descriptor, press, 0, &record), kSapiFailed);
    EXPECT_EQ(library->lastError(), kSapiBadVariable);
    EXPECT_EQ(library->writeConfirm(), kSapiFailed);
    EXPECT_EQ(library->lastError(), kSapiNoConfirmation);
}

TEST_F(SapiLibraryTest, AnswerThatMatchesNoOutstandingRequestIsDropped)
{
    const uint16_t ref = connected("Press");
    plcsim::Faults faults;
    faults.corruptResponses = true;  // answers carry another PDU reference
    sim->setFaults(faults);
    VariableRecord record;
    makeVariableRecord(record, 10, 0, 4);
    ASSERT_EQ(library->readRequest(descriptor, ref, 0, &record), 0);
    EXPECT_EQ(nextEvent(ref, 300ms), 0) << "a foreign answer is no confirmation";

    // Late answers of an aborted request never reach the next one.
    faults.corruptResponses = false;
    faults.responseDelay = 300ms;
    sim->setFaults(faults);
    ASSERT_EQ(library->abort(descriptor, ref), 0);
    ASSERT_EQ(library->connect(descriptor, ref), 0);
    ASSERT_EQ(nextEvent(ref), kEventConnectConfirm);
    ASSERT_EQ(library->connectConfirm(), 0);
    ASSERT_EQ(library->readRequest(descriptor, ref, 0, &record), 0);
    EXPECT_EQ(nextEvent(ref, 50ms), 0);
    ASSERT_EQ(library->abort(descriptor, ref), 0);
    sim->setFaults({});
    ASSERT_TRUE(sim->writeMemory(10, 0, std::vector<uint8_t>{9, 9, 9, 9}));
    ASSERT_EQ(library->connect(descriptor, ref), 0);
    ASSERT_EQ(nextEvent(ref), kEventConnectConfirm);
    ASSERT_EQ(library->connectConfirm(), 0);
    makeVariableRecord(record, 10, 0, 2);
    ASSERT_EQ(library->readRequest(descriptor, ref, 0, &record), 0);
    ASSERT_EQ(nextEvent(ref), kEventReadConfirm);
    uint8_t data[2] = {};
    uint16_t count = 2;
    ASSERT_EQ(library->readConfirm(0, &count, data), 0);
    EXPECT_EQ(data[0], 9);
    EXPECT_EQ(nextEvent(ref, 500ms), 0) << "nothing more arrives for the connection";
}

TEST_F(SapiLibraryTest, StoppedPlcGivesAnAbortIndication)
{
    const uint16_t ref = connected("Press");
    sim->stop();
    ASSERT_EQ(nextEvent(ref), kEventAbortIndication);
    EXPECT_EQ(library->abortIndication(), 0);
    EXPECT_EQ(library->lastError(), kSapiConnectionLost);
    VariableRecord record;
    makeVariableRecord(record, 10, 0, 2);
    // Requests on the broken connection give the reason it broke.
    EXPECT_EQ(library->readRequest(descriptor, ref, 0, &record), kSapiFailed);
    EXPECT_EQ(library->lastError(), kSapiConnectionLost);
    uint16_t never = 0;
    ASSERT_EQ(library->getConnection(descriptor, "Ghost", &never), 0);
    EXPECT_EQ(library->readRequest(descriptor, never, 0, &record), kSapiFailed);
    EXPECT_EQ(library->lastError(), kSapiNotConnected);
    EXPECT_EQ(library->close(descriptor), 0);
    EXPECT_EQ(library->receive(descriptor, nullptr, nullptr), kSapiReceiveError);
    EXPECT_EQ(library->lastError(), kSapiNotOpen);
}

TEST(SapiLibrary, InterfacesWithoutDevices)
{
    test::TempDatabase db;
    SapiS7Library library(db.registry());
    char device[kDeviceNameCapacity] = {};
    uint16_t count = 7;
    EXPECT_EQ(library.queryDevice("Nowhere", 0, &count, device), kSapiFailed);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(library.lastError(), kSapiNoInterface);
    ASSERT_TRUE(db.setInterface("Bare", {{"Device", "CP 1613"}}));
    count = 7;
    EXPECT_EQ(library.queryDevice("Bare", 0, &count, device), 0);
    EXPECT_EQ(count, 0);
    uint32_t descriptor = 0;
    ASSERT_TRUE(db.setInterface("Other", {{"P", "127.0.0.1"}}));
    EXPECT_EQ(library.open("Other", "CP 1613", &descriptor), kSapiFailed);
    EXPECT_EQ(library.lastError(), kSapiWrongDevice);
}

}  // namespace
}  // namespace orva::sapis7
