#include "core/ReadBlocks.h"

#include <algorithm>
#include <atomic>

#include "core/ValueConversion.h"
#include "opc/SODaSRequest.h"

namespace orva::core {
namespace {

std::atomic<uint64_t> nextBlockSerial{1};

// Byte addresses are 16-bit: a range past 65535 cannot be read or written.
constexpr uint32_t ADDRESS_SPACE = 0x10000;

bool fitsAddressSpace(uint32_t start, uint32_t length)
{
    return length > 0 && start + length <= ADDRESS_SPACE;
}

// Extends [start, start + length) to cover [tagStart, tagStart + tagLength).
void unite(uint16_t& start, uint16_t& length, uint32_t tagStart, uint32_t tagLength)
{
    const uint32_t begin = std::min<uint32_t>(start, tagStart);
    const uint32_t end = std::max<uint32_t>(uint32_t{start} + length, tagStart + tagLength);
    start = static_cast<uint16_t>(begin);
    length = static_cast<uint16_t>(end - begin);
}

// A read block's buffer grows (without keeping its contents: the next read fills it).
template <class Block>
void growReadBuffer(Block& block)
{
    if (block.length <= block.bufferSize) return;
    block.bufferSize = static_cast<uint16_t>(std::min<uint32_t>(uint32_t{block.length} + 64, 0xFFFF));
    block.buffer.assign(std::max<std::size_t>(block.bufferSize, block.length), 0);
}

bool isArrayTag(const S7Tag& tag)
{
    return isArrayType(tag.getNativeDatatype());
}

void addTag(ReadBlock& block, S7Tag& tag, uint32_t length)
{
    unite(block.startByte, block.length, tag.dataByte, length);
    growReadBuffer(block);
    block.tags.emplace(&tag, opc::shareRef(&tag));
    tag.inBlock = 1;
    tag.block = &block;
}

bool fitsBlock(const ReadBlock& block, const S7Tag& tag, uint32_t length, uint32_t rate, uint32_t gap)
{
    return block.updateRate == rate && block.dataBlock == tag.dataBlock && !blockHoldsArray(block) &&
           block.length <= MAX_READ_BYTES &&
           readBlockAccepts(block.startByte, block.length, tag.dataByte, length, gap);
}

}  // namespace

bool readBlockAccepts(uint32_t s, uint32_t n, uint32_t t, uint32_t l, uint32_t gap)
{
    const int64_t start = s, end = int64_t{s} + n - 1, tag = t, len = l;
    if (tag >= start) return tag - (end + 1) <= int64_t{gap} && tag + len - start <= MAX_READ_BYTES;
    const int64_t unionLength = std::max(end, tag + len - 1) - tag + 1;
    return start - tag <= int64_t{gap} && unionLength <= MAX_READ_BYTES;
}

bool writeBlockAccepts(uint32_t s, uint32_t n, uint32_t t, uint32_t l)
{
    return t >= s && t <= s + n && t + l - s <= MAX_WRITE_BYTES;
}

bool blockHoldsArray(const ReadBlock& block)
{
    for (const auto& [key, tag] : block.tags)
        if (isArrayTag(*tag)) return true;
    return false;
}

bool blockHoldsArray(const RequestBlock& block)
{
    for (const auto& r : block.requests)
        if (isArrayTag(*r.tag)) return true;
    return false;
}

void registerTag(S7Plc& plc, S7Tag& tag, uint32_t rate, uint32_t gap, uint32_t now)
{
    const std::size_t length = tagByteLength(tag);
    if (!fitsAddressSpace(tag.dataByte, static_cast<uint32_t>(length))) return;
    const auto l = static_cast<uint32_t>(length);

    // The block it had before, when it still exists and still fits.
    if (tag.block != nullptr) {
        auto it = std::find_if(plc.blocks.begin(), plc.blocks.end(),
                               [&](const auto& b) { return b.get() == tag.block; });
        if (it != plc.blocks.end() && !isArrayTag(tag) && fitsBlock(**it, tag, l, rate, gap)) {
            (*it)->visited = 0;
            addTag(**it, tag, l);
            return;
        }
        tag.block = nullptr;
    }
    if (!isArrayTag(tag)) {
        for (auto& block : plc.blocks) {
            if (fitsBlock(*block, tag, l, rate, gap)) {
                addTag(*block, tag, l);
                return;
            }
        }
    }
    auto block = std::make_unique<ReadBlock>();
    block->dataBlock = tag.dataBlock;
    block->startByte = tag.dataByte;
    block->length = static_cast<uint16_t>(std::min<uint32_t>(l, 0xFFFF));
    block->visited = 0;
    block->updateRate = rate;
    block->lastRead = now;
    block->bufferSize = static_cast<uint16_t>(std::min<uint32_t>((l / 64 + 1) * 64, 0xFFFF));
    block->buffer.assign(std::max<std::size_t>(block->bufferSize, l), 0);
    block->serial = nextBlockSerial.fetch_add(1);
    addTag(*block, tag, l);
    plc.blocks.push_back(std::move(block));
}

void takeOutOfBlock(S7Plc& plc, S7Tag& tag)
{
    if (tagByteLength(tag) == 0 || tag.block == nullptr) return;
    ReadBlock* block = tag.block;
    auto it =
        std::find_if(plc.blocks.begin(), plc.blocks.end(), [&](const auto& b) { return b.get() == block; });
    if (it == plc.blocks.end()) return;
    tag.inBlock = 2;
    // The block's reference goes last: it may be the tag's last one.
    auto held = [&] {
        auto found = block->tags.find(&tag);
        if (found == block->tags.end()) return opc::SOCmnPointer<S7Tag>();
        auto ref = std::move(found->second);
        block->tags.erase(found);
        return ref;
    }();
    if (!block->tags.empty()) {
        plc.shrinkSet.insert(block);
        return;
    }
    // Only this block leaves the set of blocks to shrink; the others still need it.
    plc.shrinkSet.erase(block);
    if (plc.redundancyBlock == block) plc.redundancyBlock = nullptr;
    const auto index = static_cast<int32_t>(it - plc.blocks.begin());
    plc.blocks.erase(it);
    // Keeps the round-robin position on the block that followed the removed one.
    if (plc.nextBlock >= index && plc.nextBlock > 0) --plc.nextBlock;
}

void shrinkBlocks(S7Plc& plc)
{
    for (ReadBlock* block : plc.shrinkSet) {
        if (block->tags.empty()) {
            block->startByte = 0;
            block->length = 0;
            block->visited = 1;
            continue;
        }
        uint32_t begin = 0xFFFFFFFF, end = 0;
        for (const auto& [key, tag] : block->tags) {
            begin = std::min<uint32_t>(begin, tag->dataByte);
            end = std::max<uint32_t>(end, tag->dataByte + static_cast<uint32_t>(tagByteLength(*tag)));
        }
        block->startByte = static_cast<uint16_t>(begin);
        block->length = static_cast<uint16_t>(end - begin);
    }
    plc.shrinkSet.clear();
}

namespace {

// Where a device read of the tag lands; false for a tag that is never read.
bool deviceReadExtent(const S7Tag& tag, uint32_t& length)
{
    length = static_cast<uint32_t>(tagByteLength(tag));
    return fitsAddressSpace(tag.dataByte, length);
}

template <class Block>
std::unique_ptr<Block> newRequestBlock(uint32_t dataByte, uint32_t length, TagRequest request)
{
    auto block = std::make_unique<Block>();
    block->dataBlock = request.tag->dataBlock;
    block->startByte = static_cast<uint16_t>(dataByte);
    block->length = static_cast<uint16_t>(length);
    block->bufferSize = static_cast<uint16_t>(std::min<uint32_t>(length / 64 * 64 + 64, 0xFFFF));
    block->buffer.assign(std::max<std::size_t>(block->bufferSize, length), 0);
    block->requests.push_back(std::move(request));
    return block;
}

}  // namespace

bool groupDeviceRead(S7Plc& plc, TagRequest request, uint32_t gap)
{
    const S7Tag& tag = *request.tag;
    uint32_t l = 0;
    if (!deviceReadExtent(tag, l)) return false;
    if (!isArrayTag(tag)) {
        for (auto& block : plc.pendingReads) {
            if (blockHoldsArray(*block) || block->length > MAX_READ_BYTES ||
                block->dataBlock != tag.dataBlock ||
                !readBlockAccepts(block->startByte, block->length, tag.dataByte, l, gap)) {
                continue;
            }
            unite(block->startByte, block->length, tag.dataByte, l);
            growReadBuffer(*block);
            block->requests.push_back(std::move(request));
            return true;
        }
    }
    plc.pendingReads.push_back(newRequestBlock<DeviceReadBlock>(tag.dataByte, l, std::move(request)));
    return true;
}

std::unique_ptr<DeviceReadBlock> singleDeviceReadBlock(TagRequest request)
{
    uint32_t l = 0;
    if (!deviceReadExtent(*request.tag, l)) return nullptr;
    const uint32_t start = request.tag->dataByte;
    return newRequestBlock<DeviceReadBlock>(start, l, std::move(request));
}

WritePlacement placeWrite(const S7Tag& tag, const opc::SODaSRequest& request)
{
    WritePlacement placement{writeTarget(tag, request.getWriteRange()), 0};
    // A value that does not fit the tag's type writes nothing; an admitted one covers exactly
    // what it replaces (a shorter string, the empty one too, is padded).
    const TagLayout& layout = placement.target.layout;
    const opc::SOCmnVariant& value = request.getWriteValue();
    const bool fits =
        layout.type == VT_BSTR ? value.getType() == VT_BSTR : writeValueSize(layout, value) != 0;
    if (fits) placement.extent = static_cast<uint32_t>(tagByteLength(layout));
    return placement;
}

bool groupWrite(S7Plc& plc, TagRequest request)
{
    const S7Tag& tag = *request.tag;
    const WritePlacement placement = placeWrite(tag, *request.request);
    const uint32_t start = placement.target.dataByte, extent = placement.extent;
    if (!fitsAddressSpace(start, extent)) return false;
    if (!isArrayTag(tag)) {
        for (auto& block : plc.pendingWrites) {
            if (blockHoldsArray(*block) || block->length > MAX_READ_BYTES ||
                block->dataBlock != tag.dataBlock ||
                !writeBlockAccepts(block->startByte, block->length, start, extent)) {
                continue;
            }
            unite(block->startByte, block->length, start, extent);
            if (block->length > block->bufferSize) {
                // A write block keeps its contents when it grows.
                block->bufferSize =
                    static_cast<uint16_t>(std::min<uint32_t>(uint32_t{block->length} + 64, 0xFFFF));
                block->buffer.resize(std::max<std::size_t>(block->bufferSize, block->length), 0);
            }
            block->requests.push_back(std::move(request));
            return true;
        }
    }
    plc.pendingWrites.push_back(newRequestBlock<WriteBlock>(start, extent, std::move(request)));
    return true;
}

std::unique_ptr<WriteBlock> singleWriteBlock(TagRequest request)
{
    const WritePlacement placement = placeWrite(*request.tag, *request.request);
    if (!fitsAddressSpace(placement.target.dataByte, placement.extent)) return nullptr;
    return newRequestBlock<WriteBlock>(placement.target.dataByte, placement.extent, std::move(request));
}

}  // namespace orva::core
