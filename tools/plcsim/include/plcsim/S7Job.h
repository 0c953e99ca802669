#pragma once
// Decoding of S7 jobs as a PLC receives them, and encoding of its answers. Transport-neutral:
// the same jobs arrive over ISO-on-TCP and, later, over a serial MPI link.
#include <cstdint>
#include <span>
#include <vector>

namespace orva::plcsim {

// Most items one read or write job may carry.
constexpr size_t kMaxItems = 20;

struct ItemRequest {
    uint8_t transportSize = 0;
    uint16_t count = 0;
    uint16_t dataBlock = 0;
    uint8_t area = 0;
    uint32_t bitAddress = 0;

    // Bytes the item covers (a bit item covers one byte's worth of transfer).
    uint32_t byteLength() const;
    uint32_t startByte() const { return bitAddress >> 3; }
};

struct WriteItemData {
    uint8_t transportSize = 0;
    std::span<const uint8_t> bytes;
};

struct Job {
    uint8_t rosctr = 0;
    uint16_t pduRef = 0;
    uint8_t function = 0;
    uint16_t requestedPduSize = 0;  // communication set-up
    std::vector<ItemRequest> items;
    std::vector<WriteItemData> writeData;  // one per item of a write job
};

enum class JobStatus {
    Ok,
    Malformed,    // not a well-formed S7 PDU: the connection is dropped
    Unsupported,  // well-formed but a function we do not serve: answered with an error
};

JobStatus decodeJob(std::span<const uint8_t> pdu, Job& job);

struct ItemResult {
    uint8_t returnCode = 0xFF;
    uint8_t transportSize = 0;  // of the data (bit, byte/bits, ...)
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> encodeSetupResponse(uint16_t pduRef, uint16_t pduSize);
std::vector<uint8_t> encodeReadResponse(uint16_t pduRef, std::span<const ItemResult> items);
std::vector<uint8_t> encodeWriteResponse(uint16_t pduRef, std::span<const uint8_t> returnCodes);
// An acknowledgement that refuses the whole job with an error class and code.
std::vector<uint8_t> encodeErrorResponse(uint16_t pduRef, uint8_t rosctr, uint8_t errorClass,
                                         uint8_t errorCode);

}  // namespace orva::plcsim
