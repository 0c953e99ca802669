#pragma once
// The TCP/IP S7 access library: a table of numbered PLCs, one of which is selected at a time;
// reads and writes go to the selected PLC on the selected side (address A or B).
//
// Behaviour callers rely on:
// - open() copies the table; the caller may free its array right after the call. Nothing is
//   connected by open(), and no PLC counts as selected afterwards.
// - Each PLC and side has its own TCP connection, opened when that PLC and side is first
//   selected (or on the next access after the connection was lost) and kept across selections.
// - A connect (TCP, COTP and S7 set-up together) and a request never take longer than their
//   time-outs, 1000 ms each by default, so a silent PLC costs about a second per call (a read
//   or write that must first reconnect a lost connection may take both, about two seconds).
// - close() closes every connection; every error path closes the connection it broke, so no
//   socket is left behind.
// - All operations but errorText() come from one thread; errorText() may run concurrently from
//   another thread.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plc/S7Client.h"
#include "plc/S7ErrorCodes.h"

namespace orva::plc {

// One configured PLC as the server hands it over; array position + 1 is the PLC number.
struct PlcConnectionEntry {
    char address[16];   // IP address text, optionally with ":port", NUL-terminated
    char addressB[16];  // side B of a redundant PLC
    char source[16];    // local address to bind to, when hasSource is 1
    char sourceB[16];   // local address for side B, when hasSourceB is 1
    int32_t hasSource;
    int32_t hasSourceB;
    uint8_t cpuSlot;
    uint8_t rackNr;
    uint8_t padding[2];
};
static_assert(sizeof(PlcConnectionEntry) == 76);

// Largest byte counts of one read and one write call.
constexpr int kS7MaxReadCount = 222;
constexpr int kS7MaxWriteCount = 212;
// Capacity of the data file path handed over with s7ErrorText(0, path).
constexpr size_t kS7DataFilePathCapacity = 260;

class CommunicationRecord;

class TcpIpS7Tool {
public:
    explicit TcpIpS7Tool(S7Timeouts timeouts = {});
    ~TcpIpS7Tool();
    TcpIpS7Tool(const TcpIpS7Tool&) = delete;
    TcpIpS7Tool& operator=(const TcpIpS7Tool&) = delete;

    int open(const PlcConnectionEntry* entries, int count);
    int selectPlc(int plcNumber, int addressSelector);
    int readBytes(int dataBlock, int byteCount, int startByte, void* destination);
    int writeBytes(int dataBlock, int byteCount, int startByte, const void* source);
    void close();
    // Code 0: buffer holds the data file path (see CommunicationRecord), read and kept.
    // Otherwise: writes the code's text into buffer, which holds kS7ErrorTextCapacity bytes.
    int errorText(int code, char* buffer);

    // Open connections over all PLCs and sides (for supervision and tests).
    int connectionCount() const;

private:
    struct Side {
        std::string address;
        std::string source;
        bool hasSource = false;
        S7Client client;
        int lastConnection = -1;  // last connection state recorded; -1: none yet
        int lastAccess = 0;       // last access error recorded on this connection
    };
    struct Plc {
        uint8_t rack = 0;
        uint8_t slot = 0;
        std::unique_ptr<Side> sides[2];
    };

    void copyTable(const PlcConnectionEntry* entries, int count);
    int connectSide(int plcNumber, int side);
    int access(int code);
    int note(int plcNumber, int side, int code);

    S7Timeouts timeouts_;
    std::vector<Plc> plcs_;
    bool open_ = false;
    int selectedPlc_ = 0;  // 1-based, 0 = none
    int selectedSide_ = 0;
    std::unique_ptr<CommunicationRecord> record_;
};

// The six operations, working on one library instance of the process.
int s7Open(const PlcConnectionEntry* entries, int count);
int s7SelectPlc(int plcNumber, int addressSelector);
int s7ReadBytes(int dataBlock, int byteCount, int startByte, void* destination);
int s7WriteBytes(int dataBlock, int byteCount, int startByte, const void* source);
void s7Close();
int s7ErrorText(int code, char* buffer);

}  // namespace orva::plc
