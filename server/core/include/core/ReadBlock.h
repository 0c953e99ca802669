#pragma once
// The communication thread's units of PLC traffic, as the PLC records hold them: cyclic read
// blocks, one-shot device-read blocks and write blocks. Their algorithms live with the
// communication thread.

#include <cstdint>
#include <map>
#include <vector>

#include "core/CoreQueues.h"

namespace orva::core {

struct ReadBlock {
    uint16_t dataBlock = 0;
    uint16_t startByte = 0;
    uint16_t length = 0;
    uint32_t visited = 0;
    uint32_t updateRate = 0;
    uint32_t lastRead = 0;
    uint16_t bufferSize = 0;
    std::vector<uint8_t> buffer;
    std::map<const S7Tag*, opc::SOCmnPointer<S7Tag>> tags;  // each covered tag counted once
    uintptr_t treeItem = 0;
    uint64_t serial = 0;  // never reused: identifies the block to viewers
};

// DeviceReadBlock and WriteBlock share one layout.
struct RequestBlock {
    uint16_t dataBlock = 0;
    uint16_t startByte = 0;
    uint16_t length = 0;
    uint16_t bufferSize = 0;
    std::vector<uint8_t> buffer;
    std::vector<TagRequest> requests;
};
struct DeviceReadBlock : RequestBlock {};
struct WriteBlock : RequestBlock {};

}  // namespace orva::core
