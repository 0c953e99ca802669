#include <algorithm>
#include <cstdio>

#include "SimulatorState.h"
#include "plc/S7Protocol.h"

namespace orva::plcsim {
namespace s7 = orva::plc::s7;

namespace {

constexpr size_t kKeptRecords = 10000;
// Error class and code for a job larger than the negotiated PDU.
constexpr uint8_t kErrorClassSupplies = 0x85;

// Checks an item against memory and faults; on success blockBytes spans the item's bytes.
uint8_t locate(PlcSimulator::State& state, const Faults& faults, const ItemRequest& item,
               std::vector<uint8_t>*& block)
{
    if (faults.accessError != 0 &&
        (faults.accessErrorBlock == 0 || faults.accessErrorBlock == item.dataBlock)) {
        return faults.accessError;
    }
    if (item.area != s7::kAreaDataBlock) return s7::kReturnObjectMissing;
    const auto found = state.blocks.find(item.dataBlock);
    if (found == state.blocks.end()) return s7::kReturnObjectMissing;
    const uint64_t end = static_cast<uint64_t>(item.startByte()) + item.byteLength();
    if (end > found->second.size()) return s7::kReturnAddressOutOfRange;
    block = &found->second;
    return s7::kReturnSuccess;
}

ItemResult readItem(PlcSimulator::State& state, const Faults& faults, const ItemRequest& item)
{
    ItemResult result;
    std::vector<uint8_t>* block = nullptr;
    result.returnCode = locate(state, faults, item, block);
    if (result.returnCode != s7::kReturnSuccess) return result;
    const size_t start = item.startByte();
    if (item.transportSize == s7::kItemBit) {
        result.transportSize = s7::kDataBit;
        result.bytes.push_back(((*block)[start] >> (item.bitAddress & 7)) & 1);
    } else {
        result.transportSize = s7::kDataByteBits;
        result.bytes.assign(block->begin() + static_cast<std::ptrdiff_t>(start),
                            block->begin() + static_cast<std::ptrdiff_t>(start + item.byteLength()));
    }
    return result;
}

uint8_t writeItem(PlcSimulator::State& state, const Faults& faults, const ItemRequest& item,
                  const WriteItemData& data)
{
    std::vector<uint8_t>* block = nullptr;
    const uint8_t code = locate(state, faults, item, block);
    if (code != s7::kReturnSuccess) return code;
    if (data.bytes.size() != item.byteLength()) return s7::kReturnTypeInconsistent;
    const size_t start = item.startByte();
    if (item.transportSize == s7::kItemBit) {
        const auto mask = static_cast<uint8_t>(1u << (item.bitAddress & 7));
        (*block)[start] = (data.bytes[0] & 1) ? ((*block)[start] | mask) : ((*block)[start] & ~mask);
    } else {
        std::copy(data.bytes.begin(), data.bytes.end(), block->begin() + static_cast<std::ptrdiff_t>(start));
    }
    return s7::kReturnSuccess;
}

}  // namespace

std::string formatRecord(const RequestRecord& record)
{
    char text[96];
    const char* area = record.area == s7::kAreaDataBlock ? "DB" : "area";
    const int n = std::snprintf(
        text, sizeof text, "%s %s%u start=%u size=%u", record.write ? "write" : "read", area,
        record.area == s7::kAreaDataBlock ? record.dataBlock : record.area, record.startByte, record.size);
    std::string line(text, static_cast<size_t>(n > 0 ? n : 0));
    if (record.returnCode != s7::kReturnSuccess) {
        std::snprintf(text, sizeof text, " rc=0x%02X", record.returnCode);
        line += text;
    }
    return line;
}

void PlcSimulator::State::note(const RequestRecord& record)
{
    {
        const std::lock_guard lock(logMutex);
        records.push_back(record);
        if (records.size() > kKeptRecords) records.pop_front();
    }
    if (options.log) options.log(record);
}

uint16_t grantPduSize(const PlcSimulator::State& state, uint16_t requested)
{
    return std::clamp<uint16_t>(requested, s7::kMinPduSize,
                                std::max(state.options.maxPduSize, s7::kMinPduSize));
}

std::vector<uint8_t> answerJob(PlcSimulator::State& state, const Job& job, uint16_t pduSize)
{
    const Faults faults = state.currentFaults();
    if (job.function == s7::kFunctionSetup)
        return encodeSetupResponse(job.pduRef, grantPduSize(state, job.requestedPduSize));
    if (faults.headerErrorClass != 0) {
        return encodeErrorResponse(job.pduRef, s7::kAckData, faults.headerErrorClass, faults.headerErrorCode);
    }
    const bool write = job.function == s7::kFunctionWrite;
    std::vector<uint8_t> codes;
    std::vector<uint8_t> answer;
    {
        const std::lock_guard lock(state.memoryMutex);
        if (write) {
            for (size_t i = 0; i < job.items.size(); ++i) {
                codes.push_back(writeItem(state, faults, job.items[i], job.writeData[i]));
            }
            answer = encodeWriteResponse(job.pduRef, codes);
        } else {
            std::vector<ItemResult> results;
            for (const ItemRequest& item : job.items) {
                results.push_back(readItem(state, faults, item));
                codes.push_back(results.back().returnCode);
            }
            answer = encodeReadResponse(job.pduRef, results);
        }
    }
    for (size_t i = 0; i < job.items.size(); ++i) {
        const ItemRequest& item = job.items[i];
        state.note(
            RequestRecord{write, item.area, item.dataBlock, item.startByte(), item.byteLength(), codes[i]});
    }
    if (answer.empty() || answer.size() > pduSize) {
        return encodeErrorResponse(job.pduRef, s7::kAckData, kErrorClassSupplies, 0x00);
    }
    return answer;
}

}  // namespace orva::plcsim
