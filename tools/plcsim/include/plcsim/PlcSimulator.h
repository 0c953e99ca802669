#pragma once
// A small S7 PLC for the demo and the tests: data blocks in memory served over ISO-on-TCP on a
// local address, a log of every read and write request, values that change over time, and
// scripted faults. Runs in its own threads; everything here may be called from any thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orva::plcsim {

struct RequestRecord {
    bool write = false;
    uint8_t area = 0;
    uint16_t dataBlock = 0;
    uint32_t startByte = 0;
    uint32_t size = 0;  // bytes
    uint8_t returnCode = 0xFF;
};

// "read DB1 start=0 size=222" (plus " rc=0x0A" when the access failed).
std::string formatRecord(const RequestRecord& record);

struct Faults {
    bool refuseConnections = false;              // reset every TCP connection right after accepting it
    bool refuseIso = false;                      // answer the COTP connection request with a disconnect
    int dropAfterRequests = 0;                   // >0: close a connection instead of answering request N+1
    std::chrono::milliseconds responseDelay{0};  // wait this long before every answer
    uint8_t accessError = 0;                     // non-zero: every item access fails with this return code
    uint16_t accessErrorBlock = 0;               // ... only for this data block (0 = every block)
    uint8_t headerErrorClass = 0;                // non-zero: every read and write job is refused whole
    uint8_t headerErrorCode = 0;
    bool corruptResponses = false;  // answers carry the wrong PDU reference
};

struct SimulatorOptions {
    std::string address = "127.0.0.1";      // listening address (loopback)
    uint16_t port = 0;                      // 0: a free port chosen by the system
    uint16_t maxPduSize = 480;              // largest PDU granted at communication set-up
    int maxConnections = 8;                 // further connections are reset at once
    std::map<uint16_t, size_t> dataBlocks;  // number -> size in bytes
    std::vector<uint16_t> animatedBlocks;   // see Animator
    std::chrono::milliseconds animationPeriod{200};
    // Called for every item of every read or write request, from a connection thread.
    std::function<void(const RequestRecord&)> log;
};

class PlcSimulator {
public:
    explicit PlcSimulator(SimulatorOptions options = {});
    ~PlcSimulator();
    PlcSimulator(const PlcSimulator&) = delete;
    PlcSimulator& operator=(const PlcSimulator&) = delete;

    // Binds and starts serving; false (and the reason in error) when the address cannot be used.
    bool start(std::string* error = nullptr);
    // Stops listening and closes every connection; start() may be called again afterwards.
    void stop();
    bool running() const;
    uint16_t port() const;
    // "address:port", as the access library takes it.
    std::string endpoint() const;

    void setDataBlock(uint16_t number, size_t size);
    void removeDataBlock(uint16_t number);
    bool readMemory(uint16_t dataBlock, size_t startByte, std::span<uint8_t> out) const;
    bool writeMemory(uint16_t dataBlock, size_t startByte, std::span<const uint8_t> bytes);
    std::optional<std::vector<uint8_t>> dataBlock(uint16_t number) const;
    // Lets change edit length bytes from startByte in place, under the memory lock, so that no
    // client write to the same bytes slips in between reading and writing them back. False
    // (change not called) when the range is not inside the block.
    bool updateMemory(uint16_t dataBlock, size_t startByte, size_t length,
                      const std::function<void(std::span<uint8_t>)>& change);

    // Answers one S7 PDU as this PLC does on any link (used by the serial adapter): the answer,
    // or nothing for a malformed PDU. pduSize is the connection's PDU size; a communication
    // set-up sets it.
    std::optional<std::vector<uint8_t>> answerPdu(std::span<const uint8_t> pdu, uint16_t& pduSize);

    void setFaults(const Faults& faults);
    Faults faults() const;

    // The most recent requests (at most 10000 are kept).
    std::vector<RequestRecord> requests() const;
    void clearRequests();
    // Connections open now, and accepted since start.
    int connectionCount() const;
    uint64_t acceptedConnections() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace orva::plcsim
