#pragma once
// One S7 connection to one CPU: TCP connect (optionally bound to a source address), COTP
// connection with TSAPs from rack and slot, S7 communication set-up, then byte reads and writes
// of data blocks. Every step is bounded by a time-out; every failure closes the socket and is
// reported as an S7Error code.
#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "plc/S7ErrorCodes.h"
#include "plc/Socket.h"

namespace orva::plc {

struct S7Timeouts {
    // Whole connection set-up: TCP connect, COTP and S7 set-up together.
    std::chrono::milliseconds connect{1000};
    // One request and its answer.
    std::chrono::milliseconds request{1000};
};

struct S7Target {
    sockaddr_in remote{};
    std::optional<sockaddr_in> source;  // local address to bind to
    uint8_t rack = 0;
    uint8_t slot = 2;
};

// The code for the outcome of a socket operation (refused, time-out, closed, ...).
int s7CodeFromIo(IoStatus status);

class S7Client {
public:
    explicit S7Client(S7Timeouts timeouts = {}) : timeouts_(timeouts) {}

    int connect(const S7Target& target);
    void close();
    bool connected() const { return socket_.valid(); }
    // Closes the connection when the PLC has closed or reset it meanwhile (or sent anything
    // unasked, which S7 never does); true when the connection is still usable.
    bool checkAlive();
    uint16_t pduSize() const { return pduSize_; }

    // Reads destination.size() bytes of the data block from startByte; larger counts than one
    // PDU carries are split into several requests.
    int readBytes(uint16_t dataBlock, uint32_t startByte, std::span<uint8_t> destination);
    int writeBytes(uint16_t dataBlock, uint32_t startByte, std::span<const uint8_t> source);

private:
    int exchange(const std::vector<uint8_t>& requestPdu, std::vector<uint8_t>& responsePdu,
                 const Deadline& deadline);
    int fail(int code);
    uint16_t nextPduRef();
    // Sends a job of total bytes in pieces of at most piece bytes, one request each, and stops at
    // the first failure: encode(ref, offset, count) builds a piece's request, decode(ref, offset,
    // count) reads its answer.
    template <class Encode, class Decode>
    int inPieces(size_t total, size_t piece, Encode encode, Decode decode);

    S7Timeouts timeouts_;
    UniqueFd socket_;
    uint16_t pduSize_ = 0;
    uint16_t pduRef_ = 0;
    std::vector<uint8_t> response_;
};

}  // namespace orva::plc
