// Feeds mutated signed and encrypted MSG chunks to the symmetric chunk decoding of a secure
// channel whose keys are fixed (derived from constant nonces, as a channel derives them). The
// first byte chooses the path, the rest is its input:
//   0, 1: a whole chunk as received, decoded under Sign (0) or SignAndEncrypt (1)
//   2, 3: the plain text of a chunk (sequence header, body, padding) that the harness signs and,
//         for 3, encrypts whole blocks of: padding and length checks behind a valid signature
//   4, 5: a message body encoded into real chunks (Sign, SignAndEncrypt), then one byte flipped
//         and the chunk cut as the input's last bytes say: every unmutated chunk must decode to
//         what was encoded, every mutated one be refused without harm
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "net/ChunkSecurity.h"
#include "opcua/Binary.h"

namespace {
using orva::opcua::SecurityMode;

const orva::opcua::SymmetricKeys& keys()
{
    static const orva::opcua::SymmetricKeys k = [] {
        const orva::opcua::SecurityPolicy& p = *orva::opcua::policyByName("Basic256Sha256");
        const std::vector<uint8_t> clientNonce(32, 0xC1);
        const std::vector<uint8_t> serverNonce(32, 0x5E);
        return orva::opcua::deriveKeys(p, serverNonce, clientNonce);
    }();
    return k;
}

orva::opcua::StatusCode decode(std::span<const uint8_t> chunk, SecurityMode mode,
                               orva::opcua::SecureChunk& sc, std::vector<uint8_t>& plain)
{
    std::string reason;
    if (const auto s = orva::opcua::peekSymmetricHeader(chunk, sc, reason); orva::opcua::isBad(s)) return s;
    return orva::opcua::decodeSymmetricChunk(chunk, mode, keys(), plain, sc, reason);
}

// Header, then the plain text signed (and encrypted when it is whole blocks long).
void protectedPlain(std::span<const uint8_t> plainIn, SecurityMode mode)
{
    constexpr size_t block = orva::opcua::SecurityPolicy::kBlockSize;
    std::vector<uint8_t> plain(plainIn.begin(), plainIn.end());
    // The signature is two blocks long, so whole blocks of plain text encrypt without rest.
    if (mode == SecurityMode::SignAndEncrypt) plain.resize(plain.size() / block * block);
    std::vector<uint8_t> chunk;
    orva::opcua::Writer w(chunk);
    for (const char c : std::string("MSGF"))
        w.u8(static_cast<uint8_t>(c));
    w.u32(static_cast<uint32_t>(orva::opcua::kSymmetricHeaderSize + plain.size() +
                                orva::opcua::SecurityPolicy::kSignatureSize));
    w.u32(1);
    w.u32(1);
    std::vector<uint8_t> signedData = chunk;
    signedData.insert(signedData.end(), plain.begin(), plain.end());
    const auto signature = orva::opcua::crypto::hmacSha256(keys().signing, signedData);
    plain.insert(plain.end(), signature.begin(), signature.end());
    if (mode == SecurityMode::SignAndEncrypt) {
        std::vector<uint8_t> encrypted;
        if (!orva::opcua::crypto::aesCbc(true, keys().encrypting, keys().iv, plain, encrypted)) return;
        chunk.insert(chunk.end(), encrypted.begin(), encrypted.end());
    } else {
        chunk.insert(chunk.end(), plain.begin(), plain.end());
    }
    orva::opcua::SecureChunk sc;
    std::vector<uint8_t> out;
    decode(chunk, mode, sc, out);
}

void mutatedChunks(std::span<const uint8_t> input, SecurityMode mode)
{
    if (input.size() < 4) return;
    const auto mutation = input.last(4);
    const auto body = input.first(input.size() - 4);
    std::vector<uint8_t> encoded;
    uint32_t sequence = 7;
    const orva::opcua::ChunkHeaderFields fields{orva::opcua::MessageType::Message, 1, 1, 42};
    if (orva::opcua::isBad(orva::opcua::encodeSymmetricChunks(
            fields, mode, keys(), body, orva::opcua::ChunkLimits{8192, 0, 0}, sequence, encoded)))
        std::abort();
    // The first byte's high bit says whether one byte is flipped at all.
    const bool mutate = (mutation[0] & 0x80) != 0;
    const size_t flipAt = (static_cast<size_t>(mutation[0] & 0x7F) << 8 | mutation[1]) % encoded.size();
    const size_t cut =
        static_cast<size_t>(mutation[2]) << 8 | mutation[3];  // bytes cut from the mutated chunk's end
    std::vector<uint8_t> message;
    std::vector<uint8_t> plain;
    size_t offset = 0;
    while (offset + orva::opcua::kHeaderSize <= encoded.size()) {
        orva::opcua::Reader r{std::span<const uint8_t>(encoded).subspan(offset + 4, 4)};
        const size_t size = r.u32();
        std::vector<uint8_t> chunk(encoded.begin() + static_cast<ptrdiff_t>(offset),
                                   encoded.begin() + static_cast<ptrdiff_t>(offset + size));
        const bool mutated = mutate && flipAt >= offset && flipAt < offset + size;
        if (mutated) {
            chunk[flipAt - offset] ^= 0x5A;
            chunk.resize(chunk.size() - std::min(cut, chunk.size()));
        }
        offset += size;
        orva::opcua::SecureChunk sc;
        const auto s = decode(chunk, mode, sc, plain);
        if (mutated) continue;  // refused or, rarely, a flip in a byte nothing checks: either is fine
        if (orva::opcua::isBad(s) || sc.requestId != 42) std::abort();
        message.insert(message.end(), sc.body.begin(), sc.body.end());
    }
    // Without a mutation the chunks carry exactly the body.
    if (!mutate && !std::equal(message.begin(), message.end(), body.begin(), body.end())) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const std::span<const uint8_t> input(data + 1, size - 1);
    std::vector<uint8_t> plain;
    orva::opcua::SecureChunk sc;
    switch (data[0] % 6) {
        case 0:
            decode(input, SecurityMode::Sign, sc, plain);
            break;
        case 1:
            decode(input, SecurityMode::SignAndEncrypt, sc, plain);
            break;
        case 2:
            protectedPlain(input, SecurityMode::Sign);
            break;
        case 3:
            protectedPlain(input, SecurityMode::SignAndEncrypt);
            break;
        case 4:
            mutatedChunks(input, SecurityMode::Sign);
            break;
        default:
            mutatedChunks(input, SecurityMode::SignAndEncrypt);
            break;
    }
    return 0;
}
