#pragma once
// S7 communication over ISO-on-TCP: TPKT (RFC 1006) framing, COTP connection set-up and data
// transfer, the S7 header, communication set-up and byte reads and writes of data blocks.
//
// Every decoder takes bytes from outside and reads them through ByteReader; each returns a
// status instead of trusting a length field.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "plc/ByteRange.h"

namespace orva::plc::s7 {

constexpr uint16_t kDefaultPort = 102;

// Frames larger than this are refused as protocol violations (our PDUs are far smaller).
constexpr size_t kMaxFrameSize = 4096;
// A unit split into more COTP data frames than this is treated as hostile.
constexpr int kMaxFragments = 64;
constexpr size_t kTpktHeaderSize = 4;

// PDU size we ask for and the smallest we accept. 240 is what small CPUs grant; it is the size
// the piece limits below are made for.
constexpr uint16_t kRequestedPduSize = 480;
constexpr uint16_t kMinPduSize = 240;
constexpr uint16_t kMaxPduSize = 960;

// Byte overhead around the payload of a single-item read response and write request; with a
// 240-byte PDU they leave room for the read and write pieces of ByteRange.h.
constexpr size_t kReadResponseOverhead = 18;
constexpr size_t kWriteRequestOverhead = 28;

// TSAPs: we call as a programming device (connection type 1); the CPU's TSAP carries the
// connection type in its high byte and rack * 32 + slot in its low byte.
constexpr uint16_t kLocalTsap = 0x0100;
constexpr uint16_t remoteTsap(uint8_t rack, uint8_t slot, uint8_t connectionType = 1)
{
    return static_cast<uint16_t>((connectionType << 8) | ((rack & 0x07) << 5) | (slot & 0x1F));
}

// ---- TPKT and COTP --------------------------------------------------------------------------

// The whole frame length announced by a TPKT header, or 0 when the header is not valid (wrong
// version, shorter than a COTP data header, larger than kMaxFrameSize).
size_t tpktFrameLength(std::span<const uint8_t> header);

enum class CotpKind : uint8_t {
    ConnectionRequest = 0xE0,
    ConnectionConfirm = 0xD0,
    DisconnectRequest = 0x80,
    Data = 0xF0,
};

struct CotpFrame {
    CotpKind kind = CotpKind::Data;
    uint16_t dstRef = 0;
    uint16_t srcRef = 0;
    uint16_t callingTsap = 0;  // parameter 0xC1 of a connection request or confirm
    uint16_t calledTsap = 0;   // parameter 0xC2
    uint8_t tpduSizeCode = 0;  // parameter 0xC0 (size = 1 << code)
    bool lastDataUnit = false;
    std::span<const uint8_t> payload;  // user data of a data frame
};

// Decodes the COTP part of one frame (the bytes after the TPKT header). False for anything
// malformed or of a kind we do not speak.
bool decodeCotp(std::span<const uint8_t> cotp, CotpFrame& out);

std::vector<uint8_t> encodeConnectionRequest(uint16_t srcRef, uint16_t callingTsap, uint16_t calledTsap);
std::vector<uint8_t> encodeConnectionConfirm(uint16_t dstRef, uint16_t srcRef, uint16_t callingTsap,
                                             uint16_t calledTsap, uint8_t tpduSizeCode);
std::vector<uint8_t> encodeDisconnectRequest(uint16_t dstRef, uint16_t srcRef, uint8_t reason);
// TPKT + COTP data header (last unit) + the S7 PDU.
std::vector<uint8_t> encodeDataFrame(std::span<const uint8_t> pdu);

// ---- S7 header ------------------------------------------------------------------------------

enum Rosctr : uint8_t { kJob = 1, kAck = 2, kAckData = 3, kUserData = 7 };
enum Function : uint8_t { kFunctionRead = 0x04, kFunctionWrite = 0x05, kFunctionSetup = 0xF0 };
enum Area : uint8_t { kAreaInputs = 0x81, kAreaOutputs = 0x82, kAreaFlags = 0x83, kAreaDataBlock = 0x84 };

// Transport sizes of a request item and of response data.
enum TransportSize : uint8_t {
    kItemBit = 0x01,
    kItemByte = 0x02,
    kItemChar = 0x03,
    kItemWord = 0x04,
    kItemInt = 0x05,
    kItemDWord = 0x06,
    kItemDInt = 0x07,
    kItemReal = 0x08,
    kDataBit = 0x03,
    kDataByteBits = 0x04,  // length counted in bits
    kDataInteger = 0x05,   // length counted in bits
    kDataReal = 0x07,      // length counted in bytes
    kDataOctets = 0x09,    // length counted in bytes
};

// Item return codes.
enum ReturnCode : uint8_t {
    kReturnReserved = 0x00,
    kReturnHardwareFault = 0x01,
    kReturnAccessDenied = 0x03,
    kReturnAddressOutOfRange = 0x05,
    kReturnTypeNotSupported = 0x06,
    kReturnTypeInconsistent = 0x07,
    kReturnObjectMissing = 0x0A,
    kReturnSuccess = 0xFF,
};

struct S7Header {
    uint8_t rosctr = 0;
    uint16_t pduRef = 0;
    uint8_t errorClass = 0;  // acknowledgements only
    uint8_t errorCode = 0;
    std::span<const uint8_t> params;
    std::span<const uint8_t> data;
};

// Decodes an S7 PDU's header; the parameter and data lengths must account for the PDU exactly.
bool decodeS7Header(std::span<const uint8_t> pdu, S7Header& out);

// ---- client side ----------------------------------------------------------------------------

std::vector<uint8_t> encodeSetupRequest(uint16_t pduRef, uint16_t pduSize);
std::vector<uint8_t> encodeReadRequest(uint16_t pduRef, uint16_t dataBlock, ByteOffset start,
                                       ByteCount count);
std::vector<uint8_t> encodeWriteRequest(uint16_t pduRef, uint16_t dataBlock, ByteOffset start,
                                        std::span<const uint8_t> data);

enum class ResponseKind {
    Ok,
    Violation,    // malformed or not the answer to our request
    HeaderError,  // the PLC refused the whole request (error class and code)
    ItemError,    // the PLC refused the item (return code)
};

struct ResponseStatus {
    ResponseKind kind = ResponseKind::Violation;
    uint8_t errorClass = 0;
    uint8_t errorCode = 0;
    uint8_t returnCode = 0;
};

// Each response decoder checks that the PDU answers the request with reference pduRef:
// acknowledgement type, reference, function, item count, return code, transport size, length.
ResponseStatus decodeSetupResponse(std::span<const uint8_t> pdu, uint16_t pduRef,
                                   uint16_t& negotiatedPduSize);
ResponseStatus decodeReadResponse(std::span<const uint8_t> pdu, uint16_t pduRef,
                                  std::span<uint8_t> destination);
ResponseStatus decodeWriteResponse(std::span<const uint8_t> pdu, uint16_t pduRef);

}  // namespace orva::plc::s7
