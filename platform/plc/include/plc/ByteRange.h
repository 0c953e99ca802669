#pragma once
// The bytes of one data-block access. Our own code passes them in one order, data block, start,
// count, as two types that do not convert into each other, so a call with start and count
// swapped does not compile. The library entry points whose callers expect another order
// (count before start for the TCP/IP library) convert at that boundary and nowhere else.
#include <compare>
#include <cstdint>

namespace orva::plc {

// The first byte of an access within its data block.
struct ByteOffset {
    constexpr explicit ByteOffset(uint32_t byte) noexcept : value(byte) {}
    friend constexpr auto operator<=>(ByteOffset, ByteOffset) = default;
    uint32_t value;
};

// The number of bytes an access covers.
struct ByteCount {
    constexpr explicit ByteCount(uint32_t bytes) noexcept : value(bytes) {}
    friend constexpr auto operator<=>(ByteCount, ByteCount) = default;
    uint32_t value;
};

// The largest read and write of one request. A 240-byte PDU, what small CPUs grant, leaves room
// for 222 data bytes in a read answer and 212 in a write request; every library and the
// communication thread cut their accesses into pieces of at most these sizes.
inline constexpr uint16_t kMaxReadPiece = 222;
inline constexpr uint16_t kMaxWritePiece = 212;

}  // namespace orva::plc
