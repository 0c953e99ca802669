// The access library against the simulated PLC and against a scripted hostile peer.
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "plc/IsoTransport.h"
#include "plc/S7Protocol.h"
#include "plc/TcpIpS7Tool.h"
#include "plcsim/PlcSimulator.h"
#include "plcsim/S7Job.h"

namespace orva::plc {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Short time-outs keep fault tests quick; the behaviour does not depend on their values.
const S7Timeouts kTestTimeouts{300ms, 300ms};

PlcConnectionEntry entryFor(const std::string& address, const std::string& addressB = {})
{
    PlcConnectionEntry entry{};
    std::snprintf(entry.address, sizeof entry.address, "%s", address.c_str());
    std::snprintf(entry.addressB, sizeof entry.addressB, "%s", addressB.c_str());
    entry.cpuSlot = 2;
    return entry;
}

// Waits for a condition with a generous bound instead of sleeping a fixed time.
bool eventually(const std::function<bool()>& condition)
{
    const Deadline deadline(5000ms);
    while (!deadline.expired()) {
        if (condition()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

bool nonLocalBindAllowed()
{
    std::ifstream setting("/proc/sys/net/ipv4/ip_nonlocal_bind");
    int value = 1;
    return !(setting >> value) || value != 0;
}

plcsim::SimulatorOptions simOptions()
{
    plcsim::SimulatorOptions options;
    options.dataBlocks = {{1, 512}, {2, 16}};
    return options;
}

class WithSimulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim_.start());
        entry_ = entryFor(sim_.endpoint());
        ASSERT_EQ(tool_.open(&entry_, 1), kS7Ok);
    }

    plcsim::PlcSimulator sim_{simOptions()};
    TcpIpS7Tool tool_{kTestTimeouts};
    PlcConnectionEntry entry_{};
};

TEST_F(WithSimulator, ReadsAndWritesFullPiecesOfDataBlockBytes)
{
    Bytes pattern(kS7MaxWriteCount);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    ASSERT_EQ(tool_.writeBytes(1, kS7MaxWriteCount, 10, pattern.data()), kS7Ok);
    Bytes memory(kS7MaxWriteCount);
    ASSERT_TRUE(sim_.readMemory(1, 10, memory));
    EXPECT_EQ(memory, pattern);

    Bytes read(kS7MaxReadCount, 0xEE);
    ASSERT_EQ(tool_.readBytes(1, kS7MaxReadCount, 0, read.data()), kS7Ok);
    EXPECT_EQ(Bytes(read.begin() + 10, read.begin() + 10 + 212), pattern);
    EXPECT_EQ(read[0], 0);

    const auto requests = sim_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].write);
    EXPECT_EQ(requests[0].size, 212u);
    EXPECT_EQ(requests[1].startByte, 0u);
    EXPECT_EQ(requests[1].size, 222u);
}

TEST_F(WithSimulator, RefusesCountsBeyondOnePieceAndBadArguments)
{
    Bytes buffer(300);
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    EXPECT_EQ(tool_.readBytes(1, 223, 0, buffer.data()), kS7BadArgument);
    EXPECT_EQ(tool_.writeBytes(1, 213, 0, buffer.data()), kS7BadArgument);
    EXPECT_EQ(tool_.readBytes(1, 0, 0, buffer.data()), kS7BadArgument);
    EXPECT_EQ(tool_.readBytes(0, 4, 0, buffer.data()), kS7BadArgument);
    EXPECT_EQ(tool_.readBytes(70000, 4, 0, buffer.data()), kS7BadArgument);
    EXPECT_EQ(tool_.readBytes(1, 4, -1, buffer.data()), kS7BadArgument);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, nullptr), kS7BadArgument);
    EXPECT_TRUE(sim_.requests().empty());
}

TEST_F(WithSimulator, AccessErrorsKeepTheConnection)
{
    uint8_t buffer[8];
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    EXPECT_EQ(tool_.readBytes(9, 4, 0, buffer), kS7DataBlockMissing);
    EXPECT_EQ(tool_.readBytes(2, 8, 10, buffer), kS7AddressOutOfRange);
    EXPECT_EQ(tool_.writeBytes(2, 8, 10, buffer), kS7AddressOutOfRange);
    plcsim::Faults faults;
    faults.accessError = 0x03;
    sim_.setFaults(faults);
    EXPECT_EQ(tool_.writeBytes(1, 1, 0, buffer), kS7AccessDenied);
    faults = {};
    faults.headerErrorClass = 0x81;
    faults.headerErrorCode = 0x04;
    sim_.setFaults(faults);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7PutGetNotPermitted);
    faults.headerErrorClass = 0x83;
    sim_.setFaults(faults);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7NoResources);
    sim_.setFaults({});
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7Ok);
    EXPECT_EQ(sim_.acceptedConnections(), 1u);
}

TEST_F(WithSimulator, DroppedConnectionIsReportedThenReopenedByTheNextAccess)
{
    plcsim::Faults faults;
    faults.dropAfterRequests = 2;
    sim_.setFaults(faults);
    uint8_t buffer[4];
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7Ok);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7Ok);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7ConnectionLost);
    EXPECT_EQ(tool_.connectionCount(), 0);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7Ok);
    EXPECT_EQ(sim_.acceptedConnections(), 2u);
}

TEST_F(WithSimulator, SlowAnswersTimeOutWithinTheRequestTimeoutAndCloseTheSocket)
{
    uint8_t buffer[4];
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    plcsim::Faults faults;
    faults.responseDelay = 1500ms;
    sim_.setFaults(faults);
    // The answer would come after 1.5 s; the 300 ms request time-out ends the wait first.
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7Timeout);
    EXPECT_EQ(tool_.connectionCount(), 0);
    sim_.setFaults({});
    EXPECT_TRUE(eventually([&] { return sim_.connectionCount() == 0; }));
}

TEST_F(WithSimulator, WrongPduReferenceIsAViolationThatClosesTheConnection)
{
    uint8_t buffer[4];
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    plcsim::Faults faults;
    faults.corruptResponses = true;
    sim_.setFaults(faults);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7ProtocolViolation);
    EXPECT_EQ(tool_.connectionCount(), 0);
    EXPECT_TRUE(eventually([&] { return sim_.connectionCount() == 0; }));
}

TEST_F(WithSimulator, RefusalsAtTcpAndIsoLevel)
{
    tool_.close();
    plcsim::Faults faults;
    faults.refuseIso = true;
    sim_.setFaults(faults);
    ASSERT_EQ(tool_.open(&entry_, 1), kS7Ok);
    EXPECT_EQ(tool_.selectPlc(1, 0), kS7IsoRefused);
    faults = {};
    faults.refuseConnections = true;
    sim_.setFaults(faults);
    EXPECT_EQ(tool_.selectPlc(1, 0), kS7ConnectionLost);
    EXPECT_EQ(tool_.connectionCount(), 0);

    sim_.stop();
    EXPECT_EQ(tool_.selectPlc(1, 0), kS7Unreachable);  // nobody listens any more
}

TEST_F(WithSimulator, ConnectionsAreKeptAcrossSelectionsAndAllClosedByClose)
{
    plcsim::PlcSimulator second(simOptions());
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.writeMemory(1, 0, Bytes{0xB0}));
    ASSERT_TRUE(sim_.writeMemory(1, 0, Bytes{0xA0}));
    PlcConnectionEntry entries[2] = {entryFor(sim_.endpoint()), entryFor(second.endpoint())};
    ASSERT_EQ(tool_.open(entries, 2), kS7Ok);
    std::memset(entries, 0, sizeof entries);  // the table was copied

    uint8_t value = 0;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
        ASSERT_EQ(tool_.readBytes(1, 1, 0, &value), kS7Ok);
        EXPECT_EQ(value, 0xA0);
        ASSERT_EQ(tool_.selectPlc(2, 0), kS7Ok);
        ASSERT_EQ(tool_.readBytes(1, 1, 0, &value), kS7Ok);
        EXPECT_EQ(value, 0xB0);
    }
    EXPECT_EQ(sim_.acceptedConnections(), 1u);
    EXPECT_EQ(second.acceptedConnections(), 1u);
    EXPECT_EQ(tool_.connectionCount(), 2);

    tool_.close();
    EXPECT_EQ(tool_.connectionCount(), 0);
    EXPECT_TRUE(eventually([&] { return sim_.connectionCount() == 0 && second.connectionCount() == 0; }));
    EXPECT_EQ(tool_.readBytes(1, 1, 0, &value), kS7NotOpen);
}

TEST_F(WithSimulator, SidesAAndBOfARedundantPlcAreSeparateConnections)
{
    plcsim::PlcSimulator sideB(simOptions());
    ASSERT_TRUE(sideB.start());
    ASSERT_TRUE(sim_.writeMemory(1, 5, Bytes{0x0A}));
    ASSERT_TRUE(sideB.writeMemory(1, 5, Bytes{0x0B}));
    PlcConnectionEntry entry = entryFor(sim_.endpoint(), sideB.endpoint());
    entry.hasSourceB = 1;
    std::strcpy(entry.sourceB, "127.0.0.1");
    ASSERT_EQ(tool_.open(&entry, 1), kS7Ok);
    uint8_t value = 0;
    ASSERT_EQ(tool_.selectPlc(1, 1), kS7Ok);
    ASSERT_EQ(tool_.readBytes(1, 1, 5, &value), kS7Ok);
    EXPECT_EQ(value, 0x0B);
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    ASSERT_EQ(tool_.readBytes(1, 1, 5, &value), kS7Ok);
    EXPECT_EQ(value, 0x0A);

    sideB.stop();  // side B gone: selecting it fails, side A stays usable
    EXPECT_TRUE(isConnectionLevel(tool_.selectPlc(1, 1)));
    EXPECT_EQ(tool_.readBytes(1, 1, 5, &value), kS7NoPlcSelected);
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    EXPECT_EQ(tool_.readBytes(1, 1, 5, &value), kS7Ok);
}

TEST_F(WithSimulator, DataFileRecordsConnectionChangesAndNewAccessErrors)
{
    const std::string path = ::testing::TempDir() + "orva-plc-record-" + std::to_string(::getpid()) + ".dat";
    std::remove(path.c_str());
    char pathText[kS7DataFilePathCapacity];
    std::snprintf(pathText, sizeof pathText, "%s", path.c_str());
    ASSERT_EQ(tool_.errorText(0, pathText), kS7Ok);
    ASSERT_EQ(tool_.open(&entry_, 1), kS7Ok);

    uint8_t buffer[4];
    ASSERT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    EXPECT_EQ(tool_.readBytes(9, 4, 0, buffer), kS7DataBlockMissing);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7Ok);
    EXPECT_EQ(tool_.readBytes(9, 4, 0, buffer), kS7DataBlockMissing);  // the same error: no new line
    plcsim::Faults faults;
    faults.dropAfterRequests = 4;  // counted on this connection: one more answer, then the drop
    sim_.setFaults(faults);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7Ok);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7ConnectionLost);
    EXPECT_EQ(tool_.readBytes(1, 4, 0, buffer), kS7Ok);  // reconnects

    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line) && lines.size() < 100;)
        lines.push_back(line.substr(line.find(' ') + 1));
    const std::string prefix = "PLC 1 side A " + sim_.endpoint() + ": ";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         prefix + "connected", prefix + "error 80 Data block does not exist",
                         prefix + "error 25 Connection closed or reset by the PLC", prefix + "connected"}));
    std::remove(path.c_str());
}

TEST_F(WithSimulator, SourceAddressMustBeLocal)
{
    entry_.hasSource = 1;
    std::strcpy(entry_.source, "127.0.0.1");
    ASSERT_EQ(tool_.open(&entry_, 1), kS7Ok);
    EXPECT_EQ(tool_.selectPlc(1, 0), kS7Ok);
    // A documentation-range address is never local, so binding to it fails before any packet
    // is sent; where the system allows binding to foreign addresses, that check is left out.
    if (!nonLocalBindAllowed()) {
        std::strcpy(entry_.source, "192.0.2.1");
        ASSERT_EQ(tool_.open(&entry_, 1), kS7Ok);
        EXPECT_EQ(tool_.selectPlc(1, 0), kS7BindFailed);
    }
    std::strcpy(entry_.source, "127.0.0.1:99");
    ASSERT_EQ(tool_.open(&entry_, 1), kS7Ok);
    EXPECT_EQ(tool_.selectPlc(1, 0), kS7BadSource);
}

TEST(SilentPlc, ConnectCostsTheConnectTimeoutNotMinutes)
{
    // A listening socket that never answers: TCP connects, COTP never gets a reply.
    sockaddr_in local{};
    ASSERT_TRUE(parseEndpoint("127.0.0.1", 0, local));
    UniqueFd listener;
    ASSERT_EQ(listenTcp(local, 4, listener), IoStatus::Ok);
    const PlcConnectionEntry entry = entryFor("127.0.0.1:" + std::to_string(localPort(listener.get())));
    TcpIpS7Tool tool(kTestTimeouts);
    ASSERT_EQ(tool.open(&entry, 1), kS7Ok);
    EXPECT_EQ(tool.selectPlc(1, 0), kS7Timeout);
    EXPECT_EQ(tool.connectionCount(), 0);
}

TEST(DefaultInstance, SixOperationsWorkOnOneProcessWideTable)
{
    plcsim::PlcSimulator sim(simOptions());
    ASSERT_TRUE(sim.start());
    const PlcConnectionEntry entry = entryFor(sim.endpoint());
    ASSERT_EQ(s7Open(&entry, 1), kS7Ok);
    ASSERT_EQ(s7SelectPlc(1, 0), kS7Ok);
    const uint8_t written[3] = {1, 2, 3};
    ASSERT_EQ(s7WriteBytes(1, 3, 100, written), kS7Ok);
    uint8_t read[3] = {};
    ASSERT_EQ(s7ReadBytes(1, 3, 100, read), kS7Ok);
    EXPECT_EQ(std::memcmp(read, written, 3), 0);
    char text[kS7ErrorTextCapacity];
    EXPECT_EQ(s7ErrorText(kS7DataBlockMissing, text), 0);
    EXPECT_STREQ(text, "Data block does not exist");
    s7Close();
    EXPECT_EQ(s7ReadBytes(1, 3, 100, read), kS7NotOpen);
    EXPECT_TRUE(eventually([&] { return sim.connectionCount() == 0; }));
}

// ---- a scripted peer that completes the connection set-up and then answers the first
// request with whatever bytes a test gives it -------------------------------------------------

class ScriptedPeer {
public:
    explicit ScriptedPeer(Bytes answer, uint16_t grantedPdu = 240)
        : answer_(std::move(answer)), pdu_(grantedPdu)
    {
        sockaddr_in local{};
        parseEndpoint("127.0.0.1", 0, local);
        listenTcp(local, 4, listener_);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedPeer()
    {
        stop_ = true;
        thread_.join();
    }
    std::string endpoint() const { return "127.0.0.1:" + std::to_string(localPort(listener_.get())); }

private:
    void serve()
    {
        UniqueFd client;
        for (int i = 0; i < 500 && !stop_ && !client.valid(); ++i) {
            pollfd p{listener_.get(), POLLIN, 0};
            if (::poll(&p, 1, 10) > 0)
                client.reset(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        }
        if (!client.valid()) return;
        const Deadline deadline(5000ms);
        Bytes frame;
        if (readFrame(client.get(), frame, deadline) != FrameStatus::Ok) return;
        sendAll(client.get(), s7::encodeConnectionConfirm(1, 2, 0x0100, 0x0102, 0x0A), deadline);
        Bytes pdu;
        if (readPdu(client.get(), pdu, deadline) != FrameStatus::Ok) return;
        plcsim::Job job;
        plcsim::decodeJob(pdu, job);
        sendAll(client.get(), s7::encodeDataFrame(plcsim::encodeSetupResponse(job.pduRef, pdu_)), deadline);
        if (readPdu(client.get(), pdu, deadline) != FrameStatus::Ok) return;
        sendAll(client.get(), answer_, deadline);
        // Keep the connection until the client gives up on it.
        for (int i = 0; i < 500 && !stop_; ++i) {
            pollfd p{client.get(), POLLIN, 0};
            if (::poll(&p, 1, 10) > 0) {
                uint8_t sink[64];
                if (::recv(client.get(), sink, sizeof sink, 0) <= 0) return;
            }
        }
    }

    Bytes answer_;
    uint16_t pdu_;
    UniqueFd listener_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Reads 4 bytes from a scripted peer and returns the library's code.
int readFromPeer(const Bytes& answer, uint16_t grantedPdu = 240)
{
    ScriptedPeer peer(answer, grantedPdu);
    const PlcConnectionEntry entry = entryFor(peer.endpoint());
    TcpIpS7Tool tool(kTestTimeouts);
    if (tool.open(&entry, 1) != kS7Ok) return -100;
    const int selected = tool.selectPlc(1, 0);
    if (selected != kS7Ok) return selected;
    uint8_t buffer[4];
    const int code = tool.readBytes(1, 4, 0, buffer);
    EXPECT_EQ(tool.connectionCount(), 0) << "a broken connection must be closed";
    return code;
}

Bytes readAnswer(uint16_t ref, const Bytes& data)
{
    Bytes pdu{0x32,
              3,
              0,
              0,
              static_cast<uint8_t>(ref >> 8),
              static_cast<uint8_t>(ref),
              0,
              2,
              0,
              static_cast<uint8_t>(data.size()),
              0,
              0,
              0x04,
              0x01};
    pdu.insert(pdu.end(), data.begin(), data.end());
    return s7::encodeDataFrame(pdu);
}

TEST(HostilePeer, BadFramesEndInAConnectionLevelErrorAndAClosedSocket)
{
    // The library's second PDU reference is the first read's.
    EXPECT_EQ(readFromPeer(Bytes{3, 0, 0, 50, 2, 0xF0}), kS7Timeout);        // truncated, then silent
    EXPECT_EQ(readFromPeer(Bytes{3, 0, 0xFF, 0xF0}), kS7ProtocolViolation);  // oversized frame
    EXPECT_EQ(readFromPeer(Bytes{4, 0, 0, 7, 2, 0xF0, 0x80}), kS7ProtocolViolation);     // bad TPKT version
    EXPECT_EQ(readFromPeer(Bytes{3, 0, 0, 8, 9, 0xF0, 0x80, 0}), kS7ProtocolViolation);  // bad COTP length
    EXPECT_EQ(readFromPeer(readAnswer(1, {0xFF, 0x04, 0, 0x20, 1, 2, 3, 4})),
              kS7ProtocolViolation);  // old ref
    EXPECT_EQ(readFromPeer(readAnswer(2, {0xFF, 0x04, 0, 0x28, 1, 2, 3, 4, 5})), kS7ProtocolViolation);
    EXPECT_EQ(readFromPeer(readAnswer(2, {0xFF, 0x04, 0, 0x20, 1, 2})), kS7ProtocolViolation);
    EXPECT_EQ(readFromPeer(s7::encodeDisconnectRequest(1, 2, 0)), kS7ConnectionLost);
}

TEST(HostilePeer, AWellFormedAnswerIsAccepted)
{
    ScriptedPeer peer(readAnswer(2, {0xFF, 0x04, 0, 0x20, 1, 2, 3, 4}));
    const PlcConnectionEntry entry = entryFor(peer.endpoint());
    TcpIpS7Tool tool(kTestTimeouts);
    ASSERT_EQ(tool.open(&entry, 1), kS7Ok);
    ASSERT_EQ(tool.selectPlc(1, 0), kS7Ok);
    uint8_t buffer[4];
    ASSERT_EQ(tool.readBytes(1, 4, 0, buffer), kS7Ok);
    EXPECT_EQ(buffer[3], 4);
}

TEST(HostilePeer, TooSmallPduIsRefused)
{
    EXPECT_EQ(readFromPeer({}, 128), kS7PduTooSmall);
}

}  // namespace
}  // namespace orva::plc
