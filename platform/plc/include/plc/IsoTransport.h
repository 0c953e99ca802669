#pragma once
// Reading whole TPKT frames and reassembled S7 PDUs from a stream socket.
#include <cstdint>
#include <vector>

#include "plc/Socket.h"

namespace orva::plc {

enum class FrameStatus {
    Ok,
    Timeout,
    Closed,     // end of stream, reset, or a COTP disconnect request from the peer
    Violation,  // bad TPKT header, bad COTP header, oversized or unexpected frame
    Error,
};

FrameStatus frameStatusFromIo(IoStatus status);

// Reads one TPKT frame; frame holds it whole, header included.
FrameStatus readFrame(int fd, std::vector<uint8_t>& frame, const Deadline& deadline);

// Reads COTP data frames up to the one that ends the unit and returns their joined payload.
FrameStatus readPdu(int fd, std::vector<uint8_t>& pdu, const Deadline& deadline);

}  // namespace orva::plc
