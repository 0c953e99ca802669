// Feeds arbitrary bytes through the opc.tcp framing as the server reads a connection: headers,
// Hello, secure-channel chunks and their assembly into messages.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "opcua/Transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> input(data, size);
    orva::opcua::ChunkAssembler assembler(orva::opcua::ChunkLimits{65536, 1u << 20, 64});
    size_t offset = 0;
    for (int chunks = 0; chunks < 1000 && offset + orva::opcua::kHeaderSize <= size; ++chunks) {
        orva::opcua::MessageHeader h;
        if (orva::opcua::isBad(orva::opcua::parseHeader(input.subspan(offset), h))) break;
        if (h.size > 65536 || h.size > size - offset) break;
        const auto chunk = input.subspan(offset, h.size);
        offset += h.size;
        if (h.type == orva::opcua::MessageType::Hello) {
            orva::opcua::Hello hello;
            orva::opcua::decodeHello(chunk, hello);
            continue;
        }
        orva::opcua::SecureChunk sc;
        if (orva::opcua::isBad(orva::opcua::decodeSecureChunk(chunk, sc))) continue;
        std::vector<uint8_t> message;
        if (assembler.add(sc, message) == orva::opcua::ChunkAssembler::Result::Complete) {
            // Re-chunk what was assembled, as the server does with responses.
            std::vector<uint8_t> out;
            uint32_t sequence = 1;
            orva::opcua::encodeChunks({orva::opcua::MessageType::Message, 1, 1, sc.requestId}, message,
                                      orva::opcua::ChunkLimits{8192, 0, 0}, sequence, out);
        }
    }
    return 0;
}
