#pragma once
// The PC end of an MPI link through a serial adapter: a table of stations (MPI address and CPU
// slot), one of which is current; S7 byte reads and writes of data blocks go to the current
// station. Library fronts with their own call tables (Lorvik's, Pennat's) sit on top of it.
//
// Behaviour callers rely on:
// - open() opens the serial port and initialises the adapter with the local MPI address; it
//   connects to no station. Stations are connected when first selected (or on the next access
//   after their connection was lost): connection, then S7 communication set-up.
// - Every wait is bounded (LineProcedure for the blocks, `answer` for a reply to start), so a
//   silent adapter or station costs a bounded time per call.
// - Any link-level failure (MpiErrorCodes.h) closes the port. The next select() opens it again
//   with the settings and stations of the last open() (until close() is called), so accesses
//   that no polling cycle reopens for (device reads) recover once the line is back.
// - All calls come from one thread.
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/UniqueFd.h"
#include "mpi/AdapterMessages.h"
#include "mpi/LineProcedure.h"
#include "mpi/SerialPort.h"

namespace orva::mpi {

struct MpiStation {
    uint8_t address = 2;
    uint8_t slot = 2;
};

struct LinkTimeouts {
    LineTimeouts line;
    // From the end of a request to the start of its reply.
    std::chrono::milliseconds answer{2000};
};

class MpiLink {
public:
    explicit MpiLink(LinkTimeouts timeouts = {}) : timeouts_(timeouts) {}
    ~MpiLink() { close(); }
    MpiLink(const MpiLink&) = delete;
    MpiLink& operator=(const MpiLink&) = delete;

    int open(const LineSettings& line, uint8_t localAddress, std::vector<MpiStation> stations);
    void close();
    bool isOpen() const { return port_.valid(); }

    // number: 1-based position in the station table.
    int select(int number);
    int read(uint16_t dataBlock, uint16_t startByte, std::span<uint8_t> destination);
    int write(uint16_t dataBlock, uint16_t startByte, std::span<const uint8_t> source);

    // The station table of the last open().
    const std::vector<MpiStation>& stations() const { return stations_; }
    int selected() const { return selected_; }
    bool connected(int number) const;
    // What the last port failure was, e.g. "/dev/ttyUSB0: in use by another program".
    std::string portProblem() const { return portProblem_; }
    // Bytes that crossed the line since open (both directions).
    uint64_t wireBytes() const;

private:
    struct Connection {
        bool connected = false;
        uint8_t sequence = 0;
        uint16_t pduSize = 0;
    };

    int fail(int code);
    int openPort();
    int sendMessage(const std::vector<uint8_t>& payload);
    // Receives the adapter's next message into reply_; link-level code on failure.
    int receiveMessage(Message& message, std::chrono::milliseconds within, int silentCode);
    int connectStation(int number);
    int ensureConnected(int number);
    // One S7 PDU over the current station's connection and its answer.
    int exchange(int number, const std::vector<uint8_t>& request, std::vector<uint8_t>& answer);
    uint16_t nextPduRef() { return ++pduRef_; }

    LinkTimeouts timeouts_;
    LineSettings lineSettings_;
    uint8_t localAddress_ = 0;
    bool wanted_ = false;  // open() was called and close() not since
    orva::common::UniqueFd port_;
    std::unique_ptr<LineProcedure> line_;
    std::vector<MpiStation> stations_;
    std::vector<Connection> connections_;
    int selected_ = 0;
    uint16_t pduRef_ = 0;
    std::vector<uint8_t> reply_;
    std::string portProblem_;
    uint64_t closedBytes_ = 0;
};

}  // namespace orva::mpi
