#pragma once
// Block framing of the serial link to the MPI adapter, a 3964R-style procedure. One block goes
// over the line as
//   sender: STX            receiver: DLE (ready) or NAK (not ready)
//   sender: data... DLE ETX BCC
//                          receiver: DLE (accepted) or NAK (block check failed: send again)
// Inside the data every DLE byte is sent twice; BCC is the XOR of every byte after the STX
// handshake up to and including ETX, doubled DLEs included. docs/mpi-serial-link.md lists the
// exact bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orva::mpi {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kDle = 0x10;
constexpr uint8_t kNak = 0x15;

// Largest payload of one block (an S7 PDU of up to 480 bytes and the message header). A block
// that grows beyond this is dropped as a link error instead of being buffered.
constexpr size_t kMaxPayload = 512;

// The bytes after the STX handshake: payload with DLE doubled, DLE ETX, BCC.
std::vector<uint8_t> encodeBlock(std::span<const uint8_t> payload);

// Decodes the bytes of one block as they arrive, in pieces of any size (down to single bytes).
class BlockDecoder {
public:
    enum class State {
        Receiving,  // more bytes are needed
        Complete,   // payload() holds the block
        BadCheck,   // the block ended but its BCC does not match
        TooLong,    // more than kMaxPayload bytes: the rest is not buffered
        Malformed,  // DLE followed by something other than DLE or ETX
    };

    // Consumes bytes until the block ends or fails; returns how many bytes were used (the rest
    // belongs to whatever follows the block).
    size_t feed(std::span<const uint8_t> bytes);
    State state() const { return state_; }
    const std::vector<uint8_t>& payload() const { return payload_; }
    void reset();

private:
    State state_ = State::Receiving;
    std::vector<uint8_t> payload_;
    uint8_t check_ = 0;
    bool afterDle_ = false;
    bool awaitingBcc_ = false;
};

}  // namespace orva::mpi
