#pragma once
// Gathering tags and requests into blocks of neighbouring data-block bytes: cyclic read blocks
// of subscribed tags, one-shot device-read blocks and write blocks. Only the communication
// thread calls these (viewers copy blocks under the thread's lock, see CommSnapshot).

#include <cstdint>
#include <memory>

#include "core/ReadBlock.h"
#include "core/S7Plc.h"
#include "core/S7Tag.h"
#include "core/ValueConversion.h"

namespace orva::core {

// The most one read call transfers, and the most one write call carries.
inline constexpr uint32_t MAX_READ_BYTES = 222;
inline constexpr uint32_t MAX_WRITE_BYTES = 212;

// Read blocks (also device-read blocks): a tag at tagStart with tagLength bytes joins the block
// [blockStart, blockStart + blockLength) when at most `gap` unused bytes lie between them and the
// union stays within MAX_READ_BYTES.
bool readBlockAccepts(uint32_t blockStart, uint32_t blockLength, uint32_t tagStart, uint32_t tagLength,
                      uint32_t gap);
// Write blocks: a request joins when it starts inside the block or right after its end (a gap
// would be written with bytes nobody asked for) and the block stays within MAX_WRITE_BYTES.
bool writeBlockAccepts(uint32_t blockStart, uint32_t blockLength, uint32_t requestStart,
                       uint32_t requestLength);

bool blockHoldsArray(const ReadBlock& block);
bool blockHoldsArray(const RequestBlock& block);

// Registers the tag in a read block of its PLC at rate ms: its earlier block when that still
// fits, else the first fitting block, else a new one (arrays always get one of their own).
// A tag of byte length 0 joins nothing. now is the creation time of a new block.
void registerTag(S7Plc& plc, S7Tag& tag, uint32_t rate, uint32_t gap, uint32_t now);

// Takes the tag out of its block: a block left with tags is shrunk later (shrinkBlocks), a block
// left empty is destroyed.
void takeOutOfBlock(S7Plc& plc, S7Tag& tag);

// Recomputes the ranges of the blocks that lost tags.
void shrinkBlocks(S7Plc& plc);

// Sorts a device read into its PLC's pending device-read blocks; false (and nothing done) for
// a tag of byte length 0.
bool groupDeviceRead(S7Plc& plc, TagRequest request, uint32_t gap);

// Where a write request lands: what it replaces (the tag, or the elements of its range) and how
// many bytes that is, a string's whole configured length included (it is cleared first).
// extent 0 when the value cannot be written.
struct WritePlacement {
    WriteTarget target;
    uint32_t extent = 0;
};
WritePlacement placeWrite(const S7Tag& tag, const opc::SODaSRequest& request);
// Sorts a write into its PLC's pending write blocks; false (and nothing done) when the request
// covers no byte or would run past the end of the data block's address range.
bool groupWrite(S7Plc& plc, TagRequest request);
// A write block holding just this request, for writing it on its own; null when it covers no
// byte or would run past the end of the data block's address range.
std::unique_ptr<WriteBlock> singleWriteBlock(TagRequest request);
// Likewise a device-read block holding just this request.
std::unique_ptr<DeviceReadBlock> singleDeviceReadBlock(TagRequest request);

}  // namespace orva::core
