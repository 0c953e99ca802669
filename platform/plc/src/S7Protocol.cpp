#include "plc/S7Protocol.h"

#include <algorithm>

#include "plc/ByteReader.h"

namespace orva::plc::s7 {
namespace {

constexpr uint8_t kTpktVersion = 3;
constexpr uint8_t kProtocolId = 0x32;
constexpr uint8_t kCotpDataHeaderLength = 2;  // length indicator of a class-0 data header
constexpr uint8_t kEndOfTransmission = 0x80;
constexpr uint8_t kParamTpduSize = 0xC0;
constexpr uint8_t kParamCallingTsap = 0xC1;
constexpr uint8_t kParamCalledTsap = 0xC2;
constexpr uint8_t kTpduSize1024 = 0x0A;
constexpr size_t kJobHeaderSize = 10;
constexpr size_t kAckHeaderSize = 12;

// Writes the TPKT header with a length to be patched, then lets the caller add the rest.
void beginTpkt(ByteWriter& w)
{
    w.u8(kTpktVersion);
    w.u8(0);
    w.u16(0);
}

void endTpkt(std::vector<uint8_t>& frame)
{
    ByteWriter(frame).patchU16(2, static_cast<uint16_t>(frame.size()));
}

std::vector<uint8_t> encodeConnectFrame(CotpKind kind, uint16_t dstRef, uint16_t srcRef, uint16_t callingTsap,
                                        uint16_t calledTsap, uint8_t tpduSizeCode)
{
    std::vector<uint8_t> frame;
    ByteWriter w(frame);
    beginTpkt(w);
    w.u8(17);  // length indicator: fixed part 6 + three parameters 3 + 4 + 4
    w.u8(static_cast<uint8_t>(kind));
    w.u16(dstRef);
    w.u16(srcRef);
    w.u8(0);  // class 0
    w.u8(kParamTpduSize);
    w.u8(1);
    w.u8(tpduSizeCode);
    w.u8(kParamCallingTsap);
    w.u8(2);
    w.u16(callingTsap);
    w.u8(kParamCalledTsap);
    w.u8(2);
    w.u16(calledTsap);
    endTpkt(frame);
    return frame;
}

void writeJobHeader(ByteWriter& w, uint16_t pduRef, uint16_t paramLength, uint16_t dataLength)
{
    w.u8(kProtocolId);
    w.u8(kJob);
    w.u16(0);
    w.u16(pduRef);
    w.u16(paramLength);
    w.u16(dataLength);
}

void writeDataBlockItem(ByteWriter& w, uint16_t dataBlock, uint32_t startByte, uint16_t count)
{
    w.u8(0x12);  // item marker
    w.u8(0x0A);  // length of the address part
    w.u8(0x10);  // syntax: S7ANY
    w.u8(kItemByte);
    w.u16(count);
    w.u16(dataBlock);
    w.u8(kAreaDataBlock);
    w.u24(startByte * 8);  // bit address
}

ResponseStatus violation()
{
    return ResponseStatus{ResponseKind::Violation};
}

// Checks the header of an acknowledgement to our job: its type and reference; a header error
// is the PLC's refusal of the whole request.
bool acknowledgement(std::span<const uint8_t> pdu, uint16_t pduRef, S7Header& header, ResponseStatus& status)
{
    status = violation();
    if (!decodeS7Header(pdu, header) || header.pduRef != pduRef) return false;
    if (header.rosctr != kAckData && header.rosctr != kAck) return false;
    if (header.errorClass != 0 || header.errorCode != 0) {
        status = ResponseStatus{ResponseKind::HeaderError, header.errorClass, header.errorCode, 0};
        return false;
    }
    return header.rosctr == kAckData;
}

}  // namespace

size_t tpktFrameLength(std::span<const uint8_t> header)
{
    ByteReader r(header);
    const uint8_t version = r.u8();
    r.u8();
    const uint16_t length = r.u16();
    if (!r.ok() || version != kTpktVersion) return 0;
    if (length < kTpktHeaderSize + 3 || length > kMaxFrameSize) return 0;
    return length;
}

bool decodeCotp(std::span<const uint8_t> cotp, CotpFrame& out)
{
    ByteReader r(cotp);
    const uint8_t headerLength = r.u8();
    const std::span<const uint8_t> header = r.bytes(headerLength);
    if (!r.ok() || headerLength < kCotpDataHeaderLength) return false;
    ByteReader h(header);
    const uint8_t code = h.u8() & 0xF0;  // the low nibble carries the credit of CR and CC
    out = CotpFrame{};
    if (code == static_cast<uint8_t>(CotpKind::Data)) {
        if (headerLength != kCotpDataHeaderLength) return false;
        out.kind = CotpKind::Data;
        out.lastDataUnit = (h.u8() & kEndOfTransmission) != 0;
        out.payload = r.bytes(r.remaining());
        return h.ok();
    }
    if (code != static_cast<uint8_t>(CotpKind::ConnectionRequest) &&
        code != static_cast<uint8_t>(CotpKind::ConnectionConfirm) &&
        code != static_cast<uint8_t>(CotpKind::DisconnectRequest)) {
        return false;
    }
    out.kind = static_cast<CotpKind>(code);
    out.dstRef = h.u16();
    out.srcRef = h.u16();
    h.u8();  // class and options, or the disconnect reason
    if (!h.ok()) return false;
    if (out.kind == CotpKind::DisconnectRequest) return true;
    while (!h.atEnd()) {
        const uint8_t param = h.u8();
        const uint8_t length = h.u8();
        ByteReader value(h.bytes(length));
        if (!h.ok()) return false;
        if (param == kParamTpduSize && length == 1) out.tpduSizeCode = value.u8();
        if (param == kParamCallingTsap && length == 2) out.callingTsap = value.u16();
        if (param == kParamCalledTsap && length == 2) out.calledTsap = value.u16();
    }
    return true;
}

std::vector<uint8_t> encodeConnectionRequest(uint16_t srcRef, uint16_t callingTsap, uint16_t calledTsap)
{
    return encodeConnectFrame(CotpKind::ConnectionRequest, 0, srcRef, callingTsap, calledTsap, kTpduSize1024);
}

std::vector<uint8_t> encodeConnectionConfirm(uint16_t dstRef, uint16_t srcRef, uint16_t callingTsap,
                                             uint16_t calledTsap, uint8_t tpduSizeCode)
{
    return encodeConnectFrame(CotpKind::ConnectionConfirm, dstRef, srcRef, callingTsap, calledTsap,
                              tpduSizeCode);
}

std::vector<uint8_t> encodeDisconnectRequest(uint16_t dstRef, uint16_t srcRef, uint8_t reason)
{
    std::vector<uint8_t> frame;
    ByteWriter w(frame);
    beginTpkt(w);
    w.u8(6);
    w.u8(static_cast<uint8_t>(CotpKind::DisconnectRequest));
    w.u16(dstRef);
    w.u16(srcRef);
    w.u8(reason);
    endTpkt(frame);
    return frame;
}

std::vector<uint8_t> encodeDataFrame(std::span<const uint8_t> pdu)
{
    std::vector<uint8_t> frame;
    frame.reserve(kTpktHeaderSize + 3 + pdu.size());
    ByteWriter w(frame);
    beginTpkt(w);
    w.u8(kCotpDataHeaderLength);
    w.u8(static_cast<uint8_t>(CotpKind::Data));
    w.u8(kEndOfTransmission);
    w.bytes(pdu);
    endTpkt(frame);
    return frame;
}

bool decodeS7Header(std::span<const uint8_t> pdu, S7Header& out)
{
    ByteReader r(pdu);
    out = S7Header{};
    const uint8_t protocolId = r.u8();
    out.rosctr = r.u8();
    r.u16();  // reserved
    out.pduRef = r.u16();
    const uint16_t paramLength = r.u16();
    const uint16_t dataLength = r.u16();
    if (out.rosctr == kAck || out.rosctr == kAckData) {
        out.errorClass = r.u8();
        out.errorCode = r.u8();
    }
    out.params = r.bytes(paramLength);
    out.data = r.bytes(dataLength);
    return r.ok() && r.atEnd() && protocolId == kProtocolId;
}

std::vector<uint8_t> encodeSetupRequest(uint16_t pduRef, uint16_t pduSize)
{
    std::vector<uint8_t> pdu;
    ByteWriter w(pdu);
    writeJobHeader(w, pduRef, 8, 0);
    w.u8(kFunctionSetup);
    w.u8(0);
    w.u16(1);  // parallel jobs we may send
    w.u16(1);  // parallel jobs we accept
    w.u16(pduSize);
    return pdu;
}

std::vector<uint8_t> encodeReadRequest(uint16_t pduRef, uint16_t dataBlock, uint32_t startByte,
                                       uint16_t count)
{
    std::vector<uint8_t> pdu;
    pdu.reserve(kJobHeaderSize + 14);
    ByteWriter w(pdu);
    writeJobHeader(w, pduRef, 14, 0);
    w.u8(kFunctionRead);
    w.u8(1);
    writeDataBlockItem(w, dataBlock, startByte, count);
    return pdu;
}

std::vector<uint8_t> encodeWriteRequest(uint16_t pduRef, uint16_t dataBlock, uint32_t startByte,
                                        std::span<const uint8_t> data)
{
    std::vector<uint8_t> pdu;
    pdu.reserve(kWriteRequestOverhead + data.size());
    ByteWriter w(pdu, kMaxFrameSize);
    const auto count = static_cast<uint16_t>(data.size());
    writeJobHeader(w, pduRef, 14, static_cast<uint16_t>(4 + data.size()));
    w.u8(kFunctionWrite);
    w.u8(1);
    writeDataBlockItem(w, dataBlock, startByte, count);
    w.u8(kReturnReserved);
    w.u8(kDataByteBits);
    w.u16(static_cast<uint16_t>(count * 8));
    w.bytes(data);
    if (!w.ok()) pdu.clear();
    return pdu;
}

ResponseStatus decodeSetupResponse(std::span<const uint8_t> pdu, uint16_t pduRef, uint16_t& negotiatedPduSize)
{
    S7Header header;
    ResponseStatus status;
    if (!acknowledgement(pdu, pduRef, header, status)) return status;
    ByteReader p(header.params);
    const uint8_t function = p.u8();
    p.u8();
    p.u16();
    p.u16();
    const uint16_t size = p.u16();
    if (!p.ok() || !p.atEnd() || function != kFunctionSetup || !header.data.empty()) return violation();
    negotiatedPduSize = size;
    return ResponseStatus{ResponseKind::Ok};
}

ResponseStatus decodeReadResponse(std::span<const uint8_t> pdu, uint16_t pduRef,
                                  std::span<uint8_t> destination)
{
    S7Header header;
    ResponseStatus status;
    if (!acknowledgement(pdu, pduRef, header, status)) return status;
    ByteReader p(header.params);
    const uint8_t function = p.u8();
    const uint8_t itemCount = p.u8();
    if (!p.ok() || !p.atEnd() || function != kFunctionRead || itemCount != 1) return violation();

    ByteReader d(header.data);
    const uint8_t returnCode = d.u8();
    const uint8_t transportSize = d.u8();
    const uint16_t length = d.u16();
    if (!d.ok()) return violation();
    if (returnCode != kReturnSuccess) {
        if (returnCode == kReturnReserved) return violation();
        return ResponseStatus{ResponseKind::ItemError, 0, 0, returnCode};
    }
    size_t bytes = 0;
    if (transportSize == kDataByteBits || transportSize == kDataInteger) {
        if (length % 8 != 0) return violation();
        bytes = length / 8;
    } else if (transportSize == kDataOctets || transportSize == kDataReal) {
        bytes = length;
    } else {
        return violation();
    }
    if (bytes != destination.size()) return violation();
    const std::span<const uint8_t> values = d.bytes(bytes);
    if (!d.ok() || !d.atEnd()) return violation();
    std::copy(values.begin(), values.end(), destination.begin());
    return ResponseStatus{ResponseKind::Ok};
}

ResponseStatus decodeWriteResponse(std::span<const uint8_t> pdu, uint16_t pduRef)
{
    S7Header header;
    ResponseStatus status;
    if (!acknowledgement(pdu, pduRef, header, status)) return status;
    ByteReader p(header.params);
    const uint8_t function = p.u8();
    const uint8_t itemCount = p.u8();
    ByteReader d(header.data);
    const uint8_t returnCode = d.u8();
    if (!p.ok() || !p.atEnd() || !d.ok() || !d.atEnd() || function != kFunctionWrite || itemCount != 1) {
        return violation();
    }
    if (returnCode == kReturnSuccess) return ResponseStatus{ResponseKind::Ok};
    if (returnCode == kReturnReserved) return violation();
    return ResponseStatus{ResponseKind::ItemError, 0, 0, returnCode};
}

}  // namespace orva::plc::s7
