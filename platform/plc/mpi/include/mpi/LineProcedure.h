#pragma once
// The block procedure of the serial link (see Framing.h) over an open port, for both ends: the
// PC's link library and the simulated adapter. Every wait is bounded:
//   - acknowledgement: the receiver answers STX and the block check within `acknowledgement`;
//   - character gap: inside a block no two bytes are further apart than `characterGap`;
//   - a block refused (NAK, no acknowledgement, bad block check, malformed or too long) is sent
//     again, at most `repeats` times, then the failure is reported.
// Bytes that arrive while a side waits for STX are garbage and dropped.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "mpi/Framing.h"

namespace orva::mpi {

struct LineTimeouts {
    std::chrono::milliseconds characterGap{220};
    std::chrono::milliseconds acknowledgement{500};
    int repeats = 3;
    // The adapter's end gives way: an STX from the PC while it waits for an acknowledgement
    // ends its own sending (before the block: refused; after it: taken as accepted, since the
    // PC only sends once it has the block).
    bool yieldsToPeer = false;
};

// Lets a simulated line take as long as a real one: told about every byte that crossed the line
// and asked before every write (it may sleep until the line would be free).
class LinePacer {
public:
    virtual ~LinePacer() = default;
    virtual void received(size_t bytes) = 0;
    virtual void beforeSend(size_t bytes) = 0;
};

enum class LineStatus {
    Ok,
    Silent,     // the peer acknowledged nothing, not even STX, in any attempt
    Rejected,   // the peer answered but refused the block in every attempt
    Timeout,    // receive: no block started in time
    Garbled,    // receive: every repeat of the block was bad (check, form or length)
    PortError,  // the port failed (closed, removed, I/O error)
    Stopped,    // the stop event fired
};

class LineProcedure {
public:
    // fd: the open port (non-blocking). stopFd: optional event that ends every wait (-1: none).
    LineProcedure(int fd, LineTimeouts timeouts, LinePacer* pacer = nullptr, int stopFd = -1);

    // Sends one block; corruptCheck sends a wrong BCC on the first attempt (a simulated fault).
    LineStatus send(std::span<const uint8_t> payload, bool corruptCheck = false);
    // Waits up to startWithin for a block to start and receives it.
    LineStatus receive(std::vector<uint8_t>& payload, std::chrono::milliseconds startWithin);
    // Drops whatever has arrived and not been read yet.
    void discardInput();
    // Bytes that arrived with an earlier block and wait in the buffer (poll() does not see them).
    bool hasBufferedInput() const { return inputPos_ < input_.size(); }

    // Bytes written and read since construction (for measurements).
    uint64_t bytesSent() const { return sent_; }
    uint64_t bytesReceived() const { return received_; }

private:
    enum class ByteStatus { Ok, Timeout, PortError, Stopped };
    ByteStatus nextByte(uint8_t& byte, std::chrono::steady_clock::time_point deadline);
    ByteStatus fill(std::chrono::steady_clock::time_point deadline);
    bool write(std::span<const uint8_t> bytes);
    bool writeByte(uint8_t byte) { return write(std::span<const uint8_t>(&byte, 1)); }
    // Reads the bytes of a block after the STX handshake into decoder_.
    ByteStatus readBlock();
    // Drops bytes until the line has been quiet for a character gap (bounded in count).
    ByteStatus drainBlock();

    int fd_;
    LineTimeouts timeouts_;
    LinePacer* pacer_;
    int stopFd_;
    std::vector<uint8_t> input_;
    size_t inputPos_ = 0;
    BlockDecoder decoder_;
    uint64_t sent_ = 0;
    uint64_t received_ = 0;
};

}  // namespace orva::mpi
