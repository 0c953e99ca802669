// The simulator as an S7 peer: job decoding, multi-item and bit accesses, PDU limits, the
// request log, animation, connection limits and restarts.
#include "plcsim/PlcSimulator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "plc/ByteReader.h"
#include "plc/IsoTransport.h"
#include "plc/S7Client.h"
#include "plc/S7Protocol.h"
#include "plcsim/S7Job.h"

namespace orva::plcsim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
namespace s7 = orva::plc::s7;

bool eventually(const std::function<bool()>& condition)
{
    const plc::Deadline deadline(5000ms);
    while (!deadline.expired()) {
        if (condition()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

Bytes job(uint8_t function, const std::vector<Bytes>& items, const Bytes& data = {}, uint16_t ref = 7)
{
    Bytes params{function, static_cast<uint8_t>(items.size())};
    for (const Bytes& item : items)
        params.insert(params.end(), item.begin(), item.end());
    Bytes pdu{0x32,
              1,
              0,
              0,
              static_cast<uint8_t>(ref >> 8),
              static_cast<uint8_t>(ref),
              static_cast<uint8_t>(params.size() >> 8),
              static_cast<uint8_t>(params.size()),
              static_cast<uint8_t>(data.size() >> 8),
              static_cast<uint8_t>(data.size())};
    plc::ByteWriter w(pdu);
    w.bytes(params);
    w.bytes(data);
    return pdu;
}

Bytes item(uint8_t transportSize, uint16_t count, uint16_t db, uint32_t bitAddress, uint8_t area = 0x84)
{
    return {0x12,
            0x0A,
            0x10,
            transportSize,
            static_cast<uint8_t>(count >> 8),
            static_cast<uint8_t>(count),
            static_cast<uint8_t>(db >> 8),
            static_cast<uint8_t>(db),
            area,
            static_cast<uint8_t>(bitAddress >> 16),
            static_cast<uint8_t>(bitAddress >> 8),
            static_cast<uint8_t>(bitAddress)};
}

TEST(DecodeJob, ReadsMultiItemJobsAndWriteDataWithFillBytes)
{
    Job decoded;
    ASSERT_EQ(decodeJob(job(0x04, {item(0x02, 3, 1, 16), item(0x04, 2, 5, 80)}), decoded), JobStatus::Ok);
    ASSERT_EQ(decoded.items.size(), 2u);
    EXPECT_EQ(decoded.items[0].startByte(), 2u);
    EXPECT_EQ(decoded.items[0].byteLength(), 3u);
    EXPECT_EQ(decoded.items[1].byteLength(), 4u);

    // Three bytes, a fill byte, then a one-bit item.
    const Bytes data{0x00, 0x04, 0x00, 0x18, 1, 2, 3, 0x00, 0x00, 0x03, 0x00, 0x01, 0x01};
    const Bytes write =
        job(0x05, {item(0x02, 3, 1, 0), item(0x01, 1, 1, 35)}, data);  // decoded spans into it
    ASSERT_EQ(decodeJob(write, decoded), JobStatus::Ok);
    ASSERT_EQ(decoded.writeData.size(), 2u);
    EXPECT_EQ(decoded.writeData[0].bytes.size(), 3u);
    EXPECT_EQ(decoded.writeData[1].bytes[0], 1);
}

TEST(DecodeJob, RejectsMalformedJobs)
{
    Job decoded;
    EXPECT_EQ(decodeJob(Bytes{}, decoded), JobStatus::Malformed);
    EXPECT_EQ(decodeJob(job(0x04, {}), decoded), JobStatus::Malformed);  // no items
    std::vector<Bytes> many(21, item(0x02, 1, 1, 0));
    EXPECT_EQ(decodeJob(job(0x04, many), decoded), JobStatus::Malformed);  // too many items
    Bytes badSyntax = item(0x02, 1, 1, 0);
    badSyntax[2] = 0xB0;
    EXPECT_EQ(decodeJob(job(0x04, {badSyntax}), decoded), JobStatus::Malformed);
    EXPECT_EQ(decodeJob(job(0x04, {item(0x01, 2, 1, 0)}), decoded), JobStatus::Malformed);  // 2 bits
    EXPECT_EQ(decodeJob(job(0x04, {item(0x02, 0, 1, 0)}), decoded), JobStatus::Malformed);  // 0 bytes
    EXPECT_EQ(decodeJob(job(0x05, {item(0x02, 4, 1, 0)}, {0, 4, 0, 0x20, 1, 2}), decoded),
              JobStatus::Malformed);  // write data shorter than announced
    Bytes truncated = job(0x04, {item(0x02, 1, 1, 0)});
    truncated.pop_back();
    EXPECT_EQ(decodeJob(truncated, decoded), JobStatus::Malformed);
    Bytes userData = job(0x00, {});
    userData[1] = 7;
    EXPECT_EQ(decodeJob(userData, decoded), JobStatus::Unsupported);
    EXPECT_EQ(decodeJob(job(0x28, {item(0x02, 1, 1, 0)}), decoded), JobStatus::Unsupported);
}

// A raw S7 connection to the simulator for jobs our access library never sends.
class RawClient {
public:
    explicit RawClient(const PlcSimulator& sim, uint16_t pdu = 480)
    {
        sockaddr_in remote{};
        plc::parseEndpoint(sim.endpoint(), 102, remote);
        const plc::Deadline deadline(5000ms);
        ok_ = plc::connectTcp(remote, nullptr, deadline, fd_) == plc::IoStatus::Ok &&
              plc::sendAll(fd_.get(), s7::encodeConnectionRequest(1, 0x0100, 0x0102), deadline) ==
                  plc::IoStatus::Ok &&
              plc::readFrame(fd_.get(), frame_, deadline) == plc::FrameStatus::Ok;
        Bytes answer;
        ok_ = ok_ && exchange(s7::encodeSetupRequest(1, pdu), answer);
        if (ok_) ok_ = s7::decodeSetupResponse(answer, 1, granted_).kind == s7::ResponseKind::Ok;
    }
    bool ok() const { return ok_; }
    uint16_t granted() const { return granted_; }
    bool sendRaw(const Bytes& bytes)
    {
        return plc::sendAll(fd_.get(), bytes, plc::Deadline(5000ms)) == plc::IoStatus::Ok;
    }
    bool exchange(const Bytes& pdu, Bytes& answer)
    {
        const plc::Deadline deadline(5000ms);
        return plc::sendAll(fd_.get(), s7::encodeDataFrame(pdu), deadline) == plc::IoStatus::Ok &&
               plc::readPdu(fd_.get(), answer, deadline) == plc::FrameStatus::Ok;
    }

private:
    plc::UniqueFd fd_;
    Bytes frame_;
    uint16_t granted_ = 0;
    bool ok_ = false;
};

SimulatorOptions options()
{
    SimulatorOptions o;
    o.dataBlocks = {{1, 64}, {2, 8}};
    return o;
}

TEST(Simulator, AnswersMultiItemReadsWithPerItemResults)
{
    PlcSimulator sim(options());
    ASSERT_TRUE(sim.start());
    ASSERT_TRUE(sim.writeMemory(1, 0, Bytes{0x11, 0x22, 0x33, 0x80}));
    RawClient client(sim);
    ASSERT_TRUE(client.ok());
    Bytes answer;
    ASSERT_TRUE(client.exchange(job(0x04, {item(0x02, 3, 1, 0), item(0x01, 1, 1, 3 * 8 + 7),
                                           item(0x02, 1, 9, 0), item(0x04, 1, 2, 56)}),
                                answer));
    s7::S7Header header;
    ASSERT_TRUE(s7::decodeS7Header(answer, header));
    const Bytes expected{0xFF, 0x04, 0x00, 0x18, 0x11, 0x22, 0x33, 0x00,  // 3 bytes and a fill byte
                         0xFF, 0x03, 0x00, 0x01, 0x01, 0x00,              // bit 3.7, fill byte
                         0x0A, 0x00, 0x00, 0x00,                          // DB9 missing
                         0x05, 0x00, 0x00, 0x00};                         // DB2 byte 7 + 2 > 8
    EXPECT_EQ(Bytes(header.data.begin(), header.data.end()), expected);
    EXPECT_EQ(header.params[1], 4);
    const auto log = sim.requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(formatRecord(log[0]), "read DB1 start=0 size=3");
    EXPECT_EQ(formatRecord(log[2]), "read DB9 start=0 size=1 rc=0x0A");
}

TEST(Simulator, WritesBitsWithoutTouchingNeighbours)
{
    PlcSimulator sim(options());
    ASSERT_TRUE(sim.start());
    ASSERT_TRUE(sim.writeMemory(2, 1, Bytes{0xF0}));
    RawClient client(sim);
    ASSERT_TRUE(client.ok());
    Bytes answer;
    ASSERT_TRUE(client.exchange(job(0x05, {item(0x01, 1, 2, 8 + 1), item(0x01, 1, 2, 8 + 7)},
                                    {0, 0x03, 0, 1, 1, 0, 0, 0x03, 0, 1, 0}),
                                answer));
    s7::S7Header header;
    ASSERT_TRUE(s7::decodeS7Header(answer, header));
    EXPECT_EQ(Bytes(header.data.begin(), header.data.end()), (Bytes{0xFF, 0xFF}));
    const auto block = sim.dataBlock(2);
    ASSERT_TRUE(block);
    EXPECT_EQ((*block)[1], 0x72);  // bit 1 set, bit 7 cleared
}

TEST(Simulator, RefusesJobsLargerThanTheNegotiatedPdu)
{
    PlcSimulator sim(options());
    ASSERT_TRUE(sim.start());
    RawClient client(sim, 240);
    ASSERT_TRUE(client.ok());
    EXPECT_EQ(client.granted(), 240);
    std::vector<Bytes> items(19, item(0x02, 16, 1, 0));  // 19 answers of 20 bytes: beyond 240
    Bytes answer;
    ASSERT_TRUE(client.exchange(job(0x04, items), answer));
    s7::S7Header header;
    ASSERT_TRUE(s7::decodeS7Header(answer, header));
    EXPECT_EQ(header.errorClass, 0x85);
    // The connection stays usable.
    ASSERT_TRUE(client.exchange(job(0x04, {item(0x02, 1, 1, 0)}), answer));
    ASSERT_TRUE(s7::decodeS7Header(answer, header));
    EXPECT_EQ(header.errorClass, 0);
}

TEST(Simulator, UnsupportedFunctionsGetAnErrorAndMalformedJobsTheDoor)
{
    PlcSimulator sim(options());
    ASSERT_TRUE(sim.start());
    RawClient client(sim);
    ASSERT_TRUE(client.ok());
    Bytes answer;
    ASSERT_TRUE(client.exchange(job(0x28, {item(0x02, 1, 1, 0)}), answer));
    s7::S7Header header;
    ASSERT_TRUE(s7::decodeS7Header(answer, header));
    EXPECT_EQ(header.errorClass, 0x81);
    EXPECT_FALSE(client.exchange(Bytes{0x32, 1, 0}, answer));
    EXPECT_TRUE(eventually([&] { return sim.connectionCount() == 0; }));
}

TEST(Simulator, AnimatesCounterSineAndBits)
{
    SimulatorOptions o = options();
    o.animatedBlocks = {1};
    o.animationPeriod = 10ms;
    PlcSimulator sim(o);
    ASSERT_TRUE(sim.start());
    uint32_t counter = 0;
    float sine = 0;
    ASSERT_TRUE(eventually([&] {
        uint8_t bytes[9];
        sim.readMemory(1, 0, bytes);
        plc::ByteReader r(bytes);
        counter = r.u32();
        const uint32_t bits = r.u32();
        std::memcpy(&sine, &bits, sizeof sine);
        return counter >= 3 && sine != 0.0f && bytes[8] == static_cast<uint8_t>(counter);
    }));
    EXPECT_LE(std::abs(sine), 100.0f);
    const auto still = sim.dataBlock(2);
    ASSERT_TRUE(still);
    EXPECT_EQ((*still)[0], 0);  // other blocks stay still
}

TEST(Simulator, ResetsConnectionsBeyondItsLimitAndRestarts)
{
    SimulatorOptions o = options();
    o.maxConnections = 1;
    PlcSimulator sim(o);
    ASSERT_TRUE(sim.start());
    RawClient first(sim);
    ASSERT_TRUE(first.ok());
    RawClient second(sim);
    EXPECT_FALSE(second.ok());

    sim.stop();
    EXPECT_EQ(sim.connectionCount(), 0);
    ASSERT_TRUE(sim.start());
    RawClient third(sim);
    EXPECT_TRUE(third.ok());
}

TEST(Simulator, StopsAtOnceEvenWithAPeerStuckInAFrame)
{
    PlcSimulator sim(options());
    ASSERT_TRUE(sim.start());
    RawClient client(sim);
    ASSERT_TRUE(client.ok());
    // Half a frame, then silence: the connection thread waits inside the frame.
    ASSERT_TRUE(client.sendRaw(Bytes{3, 0, 0, 40, 2, 0xF0}));
    ASSERT_TRUE(eventually([&] { return sim.connectionCount() == 1; }));
    const auto begin = std::chrono::steady_clock::now();
    sim.stop();
    // Well below the 5 s a peer gets to finish a frame.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 4s);
    EXPECT_EQ(sim.connectionCount(), 0);
}

TEST(Simulator, IsDrivenByTheAccessLibrarysClient)
{
    PlcSimulator sim(options());
    ASSERT_TRUE(sim.start());
    plc::S7Client client;
    plc::S7Target target;
    ASSERT_TRUE(plc::parseEndpoint(sim.endpoint(), 102, target.remote));
    ASSERT_EQ(client.connect(target), plc::kS7Ok);
    // Larger than one PDU carries: the client splits it.
    Bytes data(600);
    sim.setDataBlock(3, 1000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(client.writeBytes(3, 100, data), plc::kS7Ok);
    Bytes back(600);
    ASSERT_EQ(client.readBytes(3, 100, back), plc::kS7Ok);
    EXPECT_EQ(back, data);
    EXPECT_GT(sim.requests().size(), 2u);
}

}  // namespace
}  // namespace orva::plcsim
