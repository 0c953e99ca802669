#pragma once
// Reading TPKT frames and reassembled S7 PDUs out of whatever bytes a non-blocking socket has
// delivered so far: bytes go in as they arrive, complete units come out. Nothing is trusted: a
// bad header, an oversized frame or PDU, or too many fragments make the stream unreadable.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "plc/S7Protocol.h"

namespace orva::plc {

class IsoStreamReader {
public:
    enum class Unit {
        NeedMore,   // no complete unit yet
        Pdu,        // pdu() holds an S7 PDU joined from its COTP data frames
        Control,    // control() holds a COTP connection confirm or disconnect request
        Violation,  // the stream cannot be read any further
    };

    // Takes received bytes. Callers take every complete unit with next() after each append, so
    // no more than one unfinished frame (at most kMaxFrameSize bytes) stays buffered.
    void append(std::span<const uint8_t> bytes);
    // The next complete unit, or NeedMore. After Violation every call returns Violation.
    Unit next();

    const std::vector<uint8_t>& pdu() const { return pdu_; }
    // Kind and references of the last control frame (the payload is not kept).
    const s7::CotpFrame& control() const { return control_; }

    void reset();

private:
    std::vector<uint8_t> buffer_;
    std::size_t consumed_ = 0;
    std::vector<uint8_t> partial_;  // data of the fragments of the PDU in progress
    int fragments_ = 0;
    std::vector<uint8_t> pdu_;
    s7::CotpFrame control_;
    bool violated_ = false;
};

}  // namespace orva::plc
