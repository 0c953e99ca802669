#include "plc/S7Protocol.h"

#include <gtest/gtest.h>

#include "plc/ByteReader.h"

namespace orva::plc::s7 {
namespace {

using Bytes = std::vector<uint8_t>;

// An acknowledgement PDU built by hand, so the decoders are checked against the wire format
// rather than against our own encoders.
Bytes ackData(uint16_t ref, const Bytes& params, const Bytes& data, uint8_t errorClass = 0,
              uint8_t errorCode = 0)
{
    Bytes pdu{0x32,
              kAckData,
              0,
              0,
              static_cast<uint8_t>(ref >> 8),
              static_cast<uint8_t>(ref),
              0,
              static_cast<uint8_t>(params.size()),
              0,
              static_cast<uint8_t>(data.size()),
              errorClass,
              errorCode};
    pdu.insert(pdu.end(), params.begin(), params.end());
    pdu.insert(pdu.end(), data.begin(), data.end());
    return pdu;
}

TEST(Tpkt, AcceptsOnlyVersion3WithSaneLength)
{
    EXPECT_EQ(tpktFrameLength(Bytes{3, 0, 0, 31}), 31u);
    EXPECT_EQ(tpktFrameLength(Bytes{2, 0, 0, 31}), 0u);       // wrong version
    EXPECT_EQ(tpktFrameLength(Bytes{3, 0, 0, 6}), 0u);        // shorter than TPKT + COTP data header
    EXPECT_EQ(tpktFrameLength(Bytes{3, 0, 0xFF, 0xFF}), 0u);  // beyond our frame limit
    EXPECT_EQ(tpktFrameLength(Bytes{3, 0, 0}), 0u);           // truncated header
}

TEST(Cotp, ConnectionRequestCarriesTsapsFromRackAndSlot)
{
    const Bytes frame = encodeConnectionRequest(7, kLocalTsap, remoteTsap(0, 2));
    ASSERT_EQ(tpktFrameLength(frame), frame.size());
    CotpFrame cotp;
    ASSERT_TRUE(decodeCotp(std::span(frame).subspan(kTpktHeaderSize), cotp));
    EXPECT_EQ(cotp.kind, CotpKind::ConnectionRequest);
    EXPECT_EQ(cotp.srcRef, 7);
    EXPECT_EQ(cotp.callingTsap, 0x0100);
    EXPECT_EQ(cotp.calledTsap, 0x0102);
    EXPECT_EQ(remoteTsap(1, 3), 0x0123);
    EXPECT_EQ(remoteTsap(0, 1, 3), 0x0301);
}

TEST(Cotp, RejectsMalformedHeaders)
{
    CotpFrame cotp;
    EXPECT_FALSE(decodeCotp(Bytes{}, cotp));
    EXPECT_FALSE(decodeCotp(Bytes{5, 0xF0, 0x80}, cotp));                    // header longer than frame
    EXPECT_FALSE(decodeCotp(Bytes{3, 0xF0, 0x80, 0}, cotp));                 // data header of wrong size
    EXPECT_FALSE(decodeCotp(Bytes{2, 0x70, 0x80}, cotp));                    // unknown kind
    EXPECT_FALSE(decodeCotp(Bytes{8, 0xD0, 0, 1, 0, 2, 0, 0xC1, 9}, cotp));  // parameter overruns header
    ASSERT_TRUE(decodeCotp(Bytes{2, 0xF0, 0x00, 0xAA}, cotp));               // data, not the last unit
    EXPECT_FALSE(cotp.lastDataUnit);
    EXPECT_EQ(cotp.payload.size(), 1u);
}

TEST(S7Header, LengthsMustAccountForThePduExactly)
{
    S7Header header;
    const Bytes pdu = ackData(5, {0x04, 0x01}, {0xFF, 0x04, 0x00, 0x08, 0x2A});
    ASSERT_TRUE(decodeS7Header(pdu, header));
    EXPECT_EQ(header.pduRef, 5);
    Bytes longer = pdu;
    longer.push_back(0);
    EXPECT_FALSE(decodeS7Header(longer, header));
    EXPECT_FALSE(decodeS7Header(std::span(pdu).first(pdu.size() - 1), header));
    Bytes wrongId = pdu;
    wrongId[0] = 0x72;
    EXPECT_FALSE(decodeS7Header(wrongId, header));
}

TEST(ReadRequest, EncodesOneDataBlockItem)
{
    const Bytes pdu = encodeReadRequest(0x1234, 7, 100, 222);
    const Bytes expected{0x32, 1,    0,    0, 0x12, 0x34, 0, 14,   0,    0,    0x04, 1, 0x12,
                         0x0A, 0x10, 0x02, 0, 222,  0,    7, 0x84, 0x00, 0x03, 0x20};  // bit address 800
    EXPECT_EQ(pdu, expected);
}

TEST(WriteRequest, FillsA240BytePduWith212Bytes)
{
    const Bytes data(kMaxWritePiece, 0x5A);
    const Bytes pdu = encodeWriteRequest(1, 3, 0, data);
    EXPECT_EQ(pdu.size(), 240u);
    EXPECT_EQ(kReadResponseOverhead + kMaxReadPiece, 240u);
}

TEST(ReadResponse, CopiesExactlyTheRequestedBytes)
{
    Bytes out(2);
    const auto status =
        decodeReadResponse(ackData(9, {0x04, 1}, {0xFF, 0x04, 0x00, 0x10, 0xAB, 0xCD}), 9, out);
    EXPECT_EQ(status.kind, ResponseKind::Ok);
    EXPECT_EQ(out, (Bytes{0xAB, 0xCD}));
    // Octet strings count their length in bytes.
    EXPECT_EQ(decodeReadResponse(ackData(9, {0x04, 1}, {0xFF, 0x09, 0x00, 0x02, 1, 2}), 9, out).kind,
              ResponseKind::Ok);
}

TEST(ReadResponse, AnythingNotMatchingTheRequestIsAViolation)
{
    Bytes out(2);
    const Bytes good{0xFF, 0x04, 0x00, 0x10, 1, 2};
    EXPECT_EQ(decodeReadResponse(ackData(8, {0x04, 1}, good), 9, out).kind, ResponseKind::Violation);  // ref
    EXPECT_EQ(decodeReadResponse(ackData(9, {0x05, 1}, good), 9, out).kind,
              ResponseKind::Violation);  // function
    EXPECT_EQ(decodeReadResponse(ackData(9, {0x04, 2}, good), 9, out).kind,
              ResponseKind::Violation);  // count
    EXPECT_EQ(decodeReadResponse(ackData(9, {0x04, 1}, {0xFF, 0x04, 0, 0x18, 1, 2, 3}), 9, out).kind,
              ResponseKind::Violation);  // more bytes than asked for
    EXPECT_EQ(decodeReadResponse(ackData(9, {0x04, 1}, {0xFF, 0x04, 0, 0x10, 1}), 9, out).kind,
              ResponseKind::Violation);  // announced length not delivered
    EXPECT_EQ(decodeReadResponse(ackData(9, {0x04, 1}, {0xFF, 0x02, 0, 0x10, 1, 2}), 9, out).kind,
              ResponseKind::Violation);  // transport size
    EXPECT_EQ(decodeReadResponse(ackData(9, {0x04, 1}, {0xFF, 0x04, 0, 0x0F, 1, 2}), 9, out).kind,
              ResponseKind::Violation);  // bit length not whole bytes
    EXPECT_EQ(decodeReadResponse(ackData(9, {0x04, 1}, {0x00, 0x04, 0, 0x10, 1, 2}), 9, out).kind,
              ResponseKind::Violation);  // reserved return code
    Bytes job = ackData(9, {0x04, 1}, good);
    job[1] = kJob;
    job.resize(job.size() - 2);  // a job header is two bytes shorter; keep the lengths consistent
    EXPECT_EQ(decodeReadResponse(job, 9, out).kind, ResponseKind::Violation);
}

TEST(ReadResponse, ReportsRefusalsOfItemAndJob)
{
    Bytes out(2);
    const auto item = decodeReadResponse(ackData(3, {0x04, 1}, {0x0A, 0x00, 0x00, 0x00}), 3, out);
    EXPECT_EQ(item.kind, ResponseKind::ItemError);
    EXPECT_EQ(item.returnCode, 0x0A);
    const auto job = decodeReadResponse(ackData(3, {}, {}, 0x81, 0x04), 3, out);
    EXPECT_EQ(job.kind, ResponseKind::HeaderError);
    EXPECT_EQ(job.errorClass, 0x81);
    EXPECT_EQ(job.errorCode, 0x04);
}

TEST(WriteResponse, ChecksFunctionCountAndReturnCode)
{
    EXPECT_EQ(decodeWriteResponse(ackData(4, {0x05, 1}, {0xFF}), 4).kind, ResponseKind::Ok);
    EXPECT_EQ(decodeWriteResponse(ackData(4, {0x05, 1}, {0x05}), 4).returnCode, 0x05);
    EXPECT_EQ(decodeWriteResponse(ackData(4, {0x05, 1}, {0xFF, 0xFF}), 4).kind, ResponseKind::Violation);
    EXPECT_EQ(decodeWriteResponse(ackData(4, {0x04, 1}, {0xFF}), 4).kind, ResponseKind::Violation);
    EXPECT_EQ(decodeWriteResponse(ackData(4, {0x05}, {0xFF}), 4).kind, ResponseKind::Violation);
}

TEST(SetupResponse, YieldsTheGrantedPduSize)
{
    uint16_t size = 0;
    const Bytes params{0xF0, 0, 0, 1, 0, 1, 0x00, 0xF0};
    EXPECT_EQ(decodeSetupResponse(ackData(1, params, {}), 1, size).kind, ResponseKind::Ok);
    EXPECT_EQ(size, 240);
    EXPECT_EQ(decodeSetupResponse(ackData(1, {0xF0, 0, 0, 1}, {}), 1, size).kind, ResponseKind::Violation);
    EXPECT_EQ(decodeSetupResponse(ackData(1, {}, {}, 0x85, 0), 1, size).kind, ResponseKind::HeaderError);
}

}  // namespace
}  // namespace orva::plc::s7
