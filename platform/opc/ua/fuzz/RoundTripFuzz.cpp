// Decode, encode, decode again, encode again: the built-in types the services carry (DataValue,
// Variant, NodeId, ExpandedNodeId, LocalizedText, QualifiedName) must encode to the same bytes
// both times, so what the server decodes is what it would send. The first byte picks the type.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "opcua/Binary.h"

namespace {

// Decodes one value of the chosen type and encodes it again; false when the bytes do not decode.
bool reencode(uint8_t kind, std::span<const uint8_t> in, std::vector<uint8_t>& out)
{
    orva::opcua::Reader r(in);
    orva::opcua::Writer w(out);
    switch (kind % 6) {
        case 0:
            w.dataValue(r.dataValue());
            break;
        case 1:
            w.variant(r.variant());
            break;
        case 2:
            w.nodeId(r.nodeId());
            break;
        case 3:
            w.expandedNodeId(r.expandedNodeId());
            break;
        case 4:
            w.localizedText(r.localizedText());
            break;
        default:
            w.qualifiedName(r.qualifiedName());
            break;
    }
    return r.ok();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const std::span<const uint8_t> input(data + 1, size - 1);
    std::vector<uint8_t> first;
    if (!reencode(data[0], input, first)) return 0;
    std::vector<uint8_t> second;
    if (!reencode(data[0], first, second) || second != first) std::abort();
    return 0;
}
