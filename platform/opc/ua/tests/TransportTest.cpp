// opc.tcp framing: headers, Hello, chunking within negotiated limits and reassembly.
#include <gtest/gtest.h>

#include "opcua/Binary.h"
#include "opcua/Transport.h"

using namespace orva::opcua;

namespace {
std::vector<uint8_t> helloBytes(uint32_t recv, uint32_t send, const std::string& url, int32_t urlLength = -2)
{
    std::vector<uint8_t> out;
    Writer w(out);
    for (const char c : std::string("HELF"))
        w.u8(static_cast<uint8_t>(c));
    w.u32(0);
    w.u32(0);
    w.u32(recv);
    w.u32(send);
    w.u32(0);
    w.u32(0);
    if (urlLength == -2) {
        w.string(url);
    } else {
        w.i32(urlLength);
        w.bytes(std::span(reinterpret_cast<const uint8_t*>(url.data()), url.size()));
    }
    w.patchU32(4, static_cast<uint32_t>(out.size()));
    return out;
}
}  // namespace

TEST(Transport, HeaderAndHelloParsing)
{
    MessageHeader h;
    const std::vector<uint8_t> hello = helloBytes(65536, 32768, "opc.tcp://127.0.0.1:4840");
    ASSERT_EQ(parseHeader(hello, h), status::Good);
    EXPECT_EQ(h.type, MessageType::Hello);
    EXPECT_EQ(h.size, hello.size());
    Hello decoded;
    ASSERT_EQ(decodeHello(hello, decoded), status::Good);
    EXPECT_EQ(decoded.receiveBufferSize, 65536u);
    EXPECT_EQ(decoded.sendBufferSize, 32768u);
    EXPECT_EQ(decoded.endpointUrl, "opc.tcp://127.0.0.1:4840");

    const std::vector<uint8_t> badType{'X', 'Y', 'Z', 'F', 8, 0, 0, 0};
    EXPECT_EQ(parseHeader(badType, h), status::BadTcpMessageTypeInvalid);
    const std::vector<uint8_t> helloNotFinal{'H', 'E', 'L', 'C', 8, 0, 0, 0};
    EXPECT_EQ(parseHeader(helloNotFinal, h), status::BadTcpMessageTypeInvalid);
    const std::vector<uint8_t> tooSmall{'M', 'S', 'G', 'F', 4, 0, 0, 0};
    EXPECT_EQ(parseHeader(tooSmall, h), status::BadDecodingError);

    // Truncated Hello, an endpoint URL over 4096 bytes, and trailing garbage are refused.
    auto truncated = hello;
    truncated.resize(20);
    EXPECT_TRUE(isBad(decodeHello(truncated, decoded)));
    EXPECT_EQ(decodeHello(helloBytes(65536, 65536, std::string(5000, 'a')), decoded),
              status::BadTcpEndpointUrlInvalid);
    auto trailing = hello;
    trailing.push_back(0);
    EXPECT_TRUE(isBad(decodeHello(trailing, decoded)));
    EXPECT_TRUE(isBad(decodeHello(helloBytes(65536, 65536, "abc", 100), decoded)));
}

TEST(Transport, ChunksStayWithinTheBufferAndReassemble)
{
    std::vector<uint8_t> body(20000);
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> wire;
    uint32_t sequence = 41;
    ASSERT_EQ(encodeChunks({MessageType::Message, 5, 9, 77}, body, ChunkLimits{8192, 0, 0}, sequence, wire),
              status::Good);
    // 8192 - 24 bytes of body per chunk: three chunks.
    EXPECT_EQ(sequence, 44u);

    ChunkAssembler assembler(ChunkLimits{8192, 1u << 20, 16});
    std::vector<uint8_t> message;
    size_t offset = 0;
    int chunks = 0;
    ChunkAssembler::Result last = ChunkAssembler::Result::Error;
    uint32_t expectedSequence = 41;
    while (offset < wire.size()) {
        MessageHeader h;
        ASSERT_EQ(parseHeader(std::span(wire).subspan(offset), h), status::Good);
        EXPECT_LE(h.size, 8192u);
        SecureChunk sc;
        ASSERT_EQ(decodeSecureChunk(std::span(wire).subspan(offset, h.size), sc), status::Good);
        EXPECT_EQ(sc.channelId, 5u);
        EXPECT_EQ(sc.tokenId, 9u);
        EXPECT_EQ(sc.requestId, 77u);
        EXPECT_EQ(sc.sequenceNumber, expectedSequence++);
        EXPECT_EQ(sc.chunkType, offset + h.size == wire.size() ? 'F' : 'C');
        last = assembler.add(sc, message);
        offset += h.size;
        ++chunks;
    }
    EXPECT_EQ(chunks, 3);
    EXPECT_EQ(last, ChunkAssembler::Result::Complete);
    EXPECT_EQ(message, body);
}

TEST(Transport, PeerLimitsRefuseOversizedResponses)
{
    std::vector<uint8_t> body(50000);
    std::vector<uint8_t> wire;
    uint32_t sequence = 1;
    EXPECT_EQ(encodeChunks({}, body, ChunkLimits{8192, 0, 3}, sequence, wire), status::BadResponseTooLarge);
    EXPECT_EQ(encodeChunks({}, body, ChunkLimits{65536, 40000, 0}, sequence, wire),
              status::BadResponseTooLarge);
    EXPECT_TRUE(wire.empty());
    EXPECT_EQ(sequence, 1u);
    // Sequence numbers wrap to a small number before they reach the top of the range.
    EXPECT_EQ(nextSequenceNumber(4294966271u), 1u);
    EXPECT_EQ(nextSequenceNumber(7), 8u);
}

TEST(Transport, AssemblerHandlesAbortAndLimits)
{
    std::vector<uint8_t> part(100, 1);
    ChunkAssembler assembler(ChunkLimits{8192, 250, 3});
    std::vector<uint8_t> message;
    SecureChunk c;
    c.type = MessageType::Message;
    c.body = part;
    c.requestId = 1;
    c.chunkType = 'C';
    EXPECT_EQ(assembler.add(c, message), ChunkAssembler::Result::Incomplete);
    c.chunkType = 'A';
    EXPECT_EQ(assembler.add(c, message), ChunkAssembler::Result::Aborted);
    EXPECT_EQ(assembler.pending(), 0u);

    // 300 bytes exceed the 250-byte message limit: the whole message is refused at its end.
    c.requestId = 2;
    c.chunkType = 'C';
    EXPECT_EQ(assembler.add(c, message), ChunkAssembler::Result::Incomplete);
    EXPECT_EQ(assembler.add(c, message), ChunkAssembler::Result::Incomplete);
    EXPECT_EQ(assembler.add(c, message), ChunkAssembler::Result::Incomplete);
    c.chunkType = 'F';
    EXPECT_EQ(assembler.add(c, message), ChunkAssembler::Result::TooLarge);
    EXPECT_EQ(assembler.pending(), 0u);

    // A single-chunk message within limits completes at once.
    EXPECT_EQ(assembler.add(c, message), ChunkAssembler::Result::Complete);
    EXPECT_EQ(message.size(), 100u);

    // Too many messages interleaved at once is an error for the connection.
    c.chunkType = 'C';
    ChunkAssembler small(ChunkLimits{8192, 0, 0});
    ChunkAssembler::Result r = ChunkAssembler::Result::Incomplete;
    for (uint32_t id = 1; id <= 20 && r == ChunkAssembler::Result::Incomplete; ++id) {
        c.requestId = id;
        r = small.add(c, message);
    }
    EXPECT_EQ(r, ChunkAssembler::Result::Error);
}

TEST(Transport, SecureChunkDecodingRejectsBadInput)
{
    std::vector<uint8_t> wire;
    uint32_t sequence = 1;
    const std::vector<uint8_t> body{1, 2, 3};
    encodeChunks({MessageType::Open, 0, 0, 1}, body, ChunkLimits{8192, 0, 0}, sequence, wire);
    SecureChunk sc;
    ASSERT_EQ(decodeSecureChunk(wire, sc), status::Good);
    EXPECT_EQ(sc.securityPolicyUri, kSecurityPolicyNone);
    EXPECT_EQ(sc.body.size(), 3u);
    // A size field that disagrees with the bytes, and a truncated header.
    auto wrongSize = wire;
    wrongSize.push_back(0);
    EXPECT_TRUE(isBad(decodeSecureChunk(wrongSize, sc)));
    std::vector<uint8_t> truncated(wire.begin(), wire.begin() + 14);
    Writer(truncated).patchU32(4, 14);
    EXPECT_TRUE(isBad(decodeSecureChunk(truncated, sc)));
    // A security policy URI longer than any real one.
    std::vector<uint8_t> longUri{'O', 'P', 'N', 'F', 0, 0, 0, 0, 0, 0, 0, 0};
    Writer w(longUri);
    w.string(std::string(300, 'x'));
    w.patchU32(4, static_cast<uint32_t>(longUri.size()));
    EXPECT_EQ(decodeSecureChunk(longUri, sc), status::BadSecurityPolicyRejected);
}
