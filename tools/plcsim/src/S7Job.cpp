#include "plcsim/S7Job.h"

#include "plc/ByteReader.h"
#include "plc/S7Protocol.h"

namespace orva::plcsim {
namespace s7 = orva::plc::s7;
using plc::ByteReader;
using plc::ByteWriter;

namespace {

constexpr uint8_t kProtocolId = 0x32;

uint32_t elementSize(uint8_t transportSize)
{
    switch (transportSize) {
        case s7::kItemBit:
        case s7::kItemByte:
        case s7::kItemChar:
            return 1;
        case s7::kItemWord:
        case s7::kItemInt:
            return 2;
        case s7::kItemDWord:
        case s7::kItemDInt:
        case s7::kItemReal:
            return 4;
        default:
            return 0;
    }
}

bool decodeItem(ByteReader& r, ItemRequest& item)
{
    const uint8_t marker = r.u8();
    const uint8_t length = r.u8();
    const uint8_t syntax = r.u8();
    item.transportSize = r.u8();
    item.count = r.u16();
    item.dataBlock = r.u16();
    item.area = r.u8();
    item.bitAddress = r.u24();
    return r.ok() && marker == 0x12 && length == 0x0A && syntax == 0x10 &&
           elementSize(item.transportSize) != 0 && item.count != 0 &&
           (item.transportSize != s7::kItemBit || item.count == 1);
}

bool decodeWriteData(ByteReader& r, bool last, WriteItemData& data)
{
    r.u8();  // reserved return code
    data.transportSize = r.u8();
    const uint16_t length = r.u16();
    size_t bytes = length;
    if (data.transportSize == s7::kDataBit || data.transportSize == s7::kDataByteBits ||
        data.transportSize == s7::kDataInteger) {
        bytes = (length + 7u) / 8u;
    } else if (data.transportSize != s7::kDataOctets && data.transportSize != s7::kDataReal) {
        return false;
    }
    data.bytes = r.bytes(bytes);
    if (!last && bytes % 2 == 1 && r.remaining() > 0) r.skip(1);  // fill byte between items
    return r.ok();
}

void writeAckHeader(ByteWriter& w, uint8_t rosctr, uint16_t pduRef, uint16_t params, uint16_t data,
                    uint8_t errorClass = 0, uint8_t errorCode = 0)
{
    w.u8(kProtocolId);
    w.u8(rosctr);
    w.u16(0);
    w.u16(pduRef);
    w.u16(params);
    w.u16(data);
    w.u8(errorClass);
    w.u8(errorCode);
}

}  // namespace

uint32_t ItemRequest::byteLength() const
{
    return elementSize(transportSize) * count;
}

JobStatus decodeJob(std::span<const uint8_t> pdu, Job& job)
{
    job = Job{};
    ByteReader r(pdu);
    const uint8_t protocolId = r.u8();
    job.rosctr = r.u8();
    r.u16();
    job.pduRef = r.u16();
    const uint16_t paramLength = r.u16();
    const uint16_t dataLength = r.u16();
    if (!r.ok() || protocolId != kProtocolId) return JobStatus::Malformed;
    if (job.rosctr != s7::kJob && job.rosctr != s7::kUserData) return JobStatus::Malformed;
    ByteReader params(r.bytes(paramLength));
    ByteReader data(r.bytes(dataLength));
    if (!r.ok() || !r.atEnd()) return JobStatus::Malformed;
    if (job.rosctr == s7::kUserData) return JobStatus::Unsupported;

    job.function = params.u8();
    if (!params.ok()) return JobStatus::Malformed;
    if (job.function == s7::kFunctionSetup) {
        params.u8();
        params.u16();
        params.u16();
        job.requestedPduSize = params.u16();
        return params.ok() && params.atEnd() ? JobStatus::Ok : JobStatus::Malformed;
    }
    if (job.function != s7::kFunctionRead && job.function != s7::kFunctionWrite)
        return JobStatus::Unsupported;

    const uint8_t itemCount = params.u8();
    if (!params.ok() || itemCount == 0 || itemCount > kMaxItems) return JobStatus::Malformed;
    job.items.resize(itemCount);
    for (ItemRequest& item : job.items) {
        if (!decodeItem(params, item)) return JobStatus::Malformed;
    }
    if (!params.atEnd()) return JobStatus::Malformed;
    if (job.function == s7::kFunctionRead) return data.atEnd() ? JobStatus::Ok : JobStatus::Malformed;

    job.writeData.resize(itemCount);
    for (size_t i = 0; i < job.writeData.size(); ++i) {
        if (!decodeWriteData(data, i + 1 == job.writeData.size(), job.writeData[i]))
            return JobStatus::Malformed;
    }
    return data.atEnd() ? JobStatus::Ok : JobStatus::Malformed;
}

std::vector<uint8_t> encodeSetupResponse(uint16_t pduRef, uint16_t pduSize)
{
    std::vector<uint8_t> pdu;
    ByteWriter w(pdu);
    writeAckHeader(w, s7::kAckData, pduRef, 8, 0);
    w.u8(s7::kFunctionSetup);
    w.u8(0);
    w.u16(1);
    w.u16(1);
    w.u16(pduSize);
    return pdu;
}

std::vector<uint8_t> encodeReadResponse(uint16_t pduRef, std::span<const ItemResult> items)
{
    std::vector<uint8_t> data;
    ByteWriter d(data, s7::kMaxFrameSize);
    for (size_t i = 0; i < items.size(); ++i) {
        const ItemResult& item = items[i];
        d.u8(item.returnCode);
        d.u8(item.transportSize);
        const bool inBits = item.transportSize == s7::kDataBit || item.transportSize == s7::kDataByteBits ||
                            item.transportSize == s7::kDataInteger;
        const size_t length = item.transportSize == s7::kDataBit ? 1 : item.bytes.size() * (inBits ? 8 : 1);
        d.u16(static_cast<uint16_t>(length));
        d.bytes(item.bytes);
        if (i + 1 < items.size() && item.bytes.size() % 2 == 1) d.u8(0);
    }
    std::vector<uint8_t> pdu;
    ByteWriter w(pdu, s7::kMaxFrameSize);
    writeAckHeader(w, s7::kAckData, pduRef, 2, static_cast<uint16_t>(data.size()));
    w.u8(s7::kFunctionRead);
    w.u8(static_cast<uint8_t>(items.size()));
    w.bytes(data);
    if (!d.ok() || !w.ok()) pdu.clear();
    return pdu;
}

std::vector<uint8_t> encodeWriteResponse(uint16_t pduRef, std::span<const uint8_t> returnCodes)
{
    std::vector<uint8_t> pdu;
    ByteWriter w(pdu);
    writeAckHeader(w, s7::kAckData, pduRef, 2, static_cast<uint16_t>(returnCodes.size()));
    w.u8(s7::kFunctionWrite);
    w.u8(static_cast<uint8_t>(returnCodes.size()));
    w.bytes(returnCodes);
    return pdu;
}

std::vector<uint8_t> encodeErrorResponse(uint16_t pduRef, uint8_t rosctr, uint8_t errorClass,
                                         uint8_t errorCode)
{
    std::vector<uint8_t> pdu;
    ByteWriter w(pdu);
    writeAckHeader(w, rosctr, pduRef, 0, 0, errorClass, errorCode);
    return pdu;
}

}  // namespace orva::plcsim
