// The block framing and the adapter messages, byte for byte.
#include <gtest/gtest.h>

#include "mpi/AdapterMessages.h"
#include "mpi/Framing.h"

namespace {

using orva::mpi::BlockDecoder;

std::vector<uint8_t> feedAll(BlockDecoder& decoder, const std::vector<uint8_t>& bytes, size_t piece)
{
    size_t position = 0;
    while (position < bytes.size() && decoder.state() == BlockDecoder::State::Receiving)
        position += decoder.feed(
            std::span<const uint8_t>(bytes).subspan(position, std::min(piece, bytes.size() - position)));
    return {bytes.begin() + static_cast<std::ptrdiff_t>(position), bytes.end()};
}

TEST(Framing, DoublesDleAndChecksEveryByteUpToEtx)
{
    const std::vector<uint8_t> payload{0x03, 0x10, 0x02};
    // 03 10 10 02 10 03, BCC = 03^10^10^02^10^03 = 0x12
    EXPECT_EQ(orva::mpi::encodeBlock(payload),
              (std::vector<uint8_t>{0x03, 0x10, 0x10, 0x02, 0x10, 0x03, 0x12}));
}

TEST(Framing, DecodesWhetherBytesArriveAtOnceOrOneByOne)
{
    std::vector<uint8_t> payload;
    for (int i = 0; i < 300; ++i)
        payload.push_back(static_cast<uint8_t>(i));  // holds DLE, STX, ETX and NAK values
    std::vector<uint8_t> wire = orva::mpi::encodeBlock(payload);
    wire.push_back(0x02);  // the start of whatever follows stays unread
    for (const size_t piece : {size_t{1}, size_t{7}, wire.size()}) {
        BlockDecoder decoder;
        const auto rest = feedAll(decoder, wire, piece);
        ASSERT_EQ(decoder.state(), BlockDecoder::State::Complete) << piece;
        EXPECT_EQ(decoder.payload(), payload);
        EXPECT_EQ(rest, std::vector<uint8_t>{0x02});
    }
}

TEST(Framing, RefusesBadCheckStrayDleAndOverlongBlocks)
{
    std::vector<uint8_t> wire = orva::mpi::encodeBlock(std::vector<uint8_t>{1, 2, 3});
    wire.back() ^= 1;
    BlockDecoder decoder;
    feedAll(decoder, wire, 1);
    EXPECT_EQ(decoder.state(), BlockDecoder::State::BadCheck);

    decoder.reset();
    feedAll(decoder, {0x01, 0x10, 0x05}, 1);
    EXPECT_EQ(decoder.state(), BlockDecoder::State::Malformed);

    // A block that never ends stops being buffered at the limit.
    decoder.reset();
    const std::vector<uint8_t> endless(orva::mpi::kMaxPayload * 3, 0x41);
    const auto rest = feedAll(decoder, endless, 64);
    EXPECT_EQ(decoder.state(), BlockDecoder::State::TooLong);
    EXPECT_LE(decoder.payload().size(), orva::mpi::kMaxPayload);
    EXPECT_FALSE(rest.empty());
}

TEST(AdapterMessages, EachSideDecodesOnlyItsPeersMessages)
{
    const std::vector<uint8_t> pdu{0x32, 0x01};
    orva::mpi::Message message;
    const auto data = orva::mpi::encodeData(orva::mpi::MessageType::Data, 3, 9, pdu);
    ASSERT_TRUE(orva::mpi::decodeFromPc(data, message));
    EXPECT_EQ(message.connection, 3);
    EXPECT_EQ(message.sequence, 9);
    EXPECT_EQ(std::vector<uint8_t>(message.pdu.begin(), message.pdu.end()), pdu);
    EXPECT_FALSE(orva::mpi::decodeFromAdapter(data, message));
    ASSERT_TRUE(orva::mpi::decodeFromPc(orva::mpi::encodeConnect(1, 2, 3), message));
    EXPECT_EQ(message.address, 2);
    EXPECT_EQ(message.slot, 3);
    EXPECT_FALSE(orva::mpi::decodeFromPc(std::vector<uint8_t>{0x02, 1, 2}, message));  // short connect
    EXPECT_FALSE(orva::mpi::decodeFromPc(std::vector<uint8_t>{0x03, 1, 2}, message));  // data without PDU
    ASSERT_TRUE(orva::mpi::decodeFromAdapter(
        orva::mpi::encodeReply(orva::mpi::MessageType::ConnectReply, 4, 1), message));
    EXPECT_EQ(message.status, 1);
}

}  // namespace
