// Round trip between the gateway's S7 client and the simulator's S7 side: a read and a write job
// encoded by the client are decoded by the simulator to the same block, start, length and data,
// and the simulator's answers decode on the client to the same data and success.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "plc/S7Protocol.h"
#include "plcsim/S7Job.h"

namespace {

constexpr size_t kMaxData = 200;  // fits one job in the smallest PDU served

void check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 7) return 0;
    const uint16_t pduRef = static_cast<uint16_t>(data[0] | data[1] << 8);
    const uint16_t dataBlock = static_cast<uint16_t>(data[2] | data[3] << 8);
    const uint32_t startByte = (data[4] | data[5] << 8 | static_cast<uint32_t>(data[6]) << 16) & 0xFFFF;
    std::span<const uint8_t> bytes(data + 7, size - 7);
    if (bytes.size() > kMaxData) bytes = bytes.first(kMaxData);
    if (bytes.empty()) return 0;

    // Write job: client encodes, simulator decodes.
    const auto write = orva::plc::s7::encodeWriteRequest(pduRef, dataBlock, startByte, bytes);
    orva::plcsim::Job job;
    check(orva::plcsim::decodeJob(write, job) == orva::plcsim::JobStatus::Ok);
    check(job.pduRef == pduRef && job.function == orva::plc::s7::kFunctionWrite && job.items.size() == 1 &&
          job.writeData.size() == 1);
    check(job.items[0].dataBlock == dataBlock && job.items[0].startByte() == startByte &&
          job.items[0].byteLength() == bytes.size());
    check(std::vector<uint8_t>(job.writeData[0].bytes.begin(), job.writeData[0].bytes.end()) ==
          std::vector<uint8_t>(bytes.begin(), bytes.end()));

    // Read job of the same bytes.
    const auto read =
        orva::plc::s7::encodeReadRequest(pduRef, dataBlock, startByte, static_cast<uint16_t>(bytes.size()));
    orva::plcsim::Job readJob;
    check(orva::plcsim::decodeJob(read, readJob) == orva::plcsim::JobStatus::Ok);
    check(readJob.pduRef == pduRef && readJob.function == orva::plc::s7::kFunctionRead &&
          readJob.items.size() == 1);
    check(readJob.items[0].dataBlock == dataBlock && readJob.items[0].startByte() == startByte &&
          readJob.items[0].byteLength() == bytes.size());

    // The simulator's answers decode on the client to the same data and success.
    orva::plcsim::ItemResult item;
    item.returnCode = orva::plc::s7::kReturnSuccess;
    item.transportSize = orva::plc::s7::kDataByteBits;
    item.bytes.assign(bytes.begin(), bytes.end());
    const auto readAnswer = orva::plcsim::encodeReadResponse(pduRef, std::span(&item, 1));
    std::vector<uint8_t> destination(bytes.size());
    check(orva::plc::s7::decodeReadResponse(readAnswer, pduRef, destination).kind ==
          orva::plc::s7::ResponseKind::Ok);
    check(destination == item.bytes);
    const uint8_t success = orva::plc::s7::kReturnSuccess;
    const auto writeAnswer = orva::plcsim::encodeWriteResponse(pduRef, std::span(&success, 1));
    check(orva::plc::s7::decodeWriteResponse(writeAnswer, pduRef).kind == orva::plc::s7::ResponseKind::Ok);
    return 0;
}
