#pragma once
// Lorvik's access library (its seven operations) over the MPI link: serial settings kept until
// the next opening, a station table of 4-byte entries (MPI address, 0, CPU slot, 0) ended by the
// entry 0, 0, 1, 0, reads and writes of the selected station with the start byte before the
// count, texts for every status code, and the data file that records changes of the link.
//
// The data file gets one line when a station's connection state changes ("... PLC 1 MPI 2
// slot 2: connected" or "...: error 16386 ...") and one per new access error, never one per poll.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "mpi/MpiLink.h"
#include "plc/CommunicationRecord.h"

namespace mpi {

// Capacities the callers of errorText provide: texts, and the data file path with code 0.
constexpr size_t kMpiErrorTextCapacity = 256;
constexpr size_t kMpiDataFilePathCapacity = 260;
// A table may name every bus address once; without its end entry within this many entries it
// is refused.
constexpr int kMpiMaxStations = 127;
constexpr int kMpiMaxReadCount = 222;
constexpr int kMpiMaxWriteCount = 212;

class MpiS7Tool {
public:
    explicit MpiS7Tool(LinkTimeouts timeouts = {});

    // Parity code 0 none, 1 odd, 2 even; stop-bit code 0 one, 2 two (1 also means 1.5, taken
    // as 2). Takes effect at the next open().
    void setSerial(const char* com, int baudrate, int dataBits, int parity, int stopBits, int master);
    int open(int firstPlc, int reserved, const uint8_t* stations);
    void close();
    int selectPlc(int plcNumber);
    int readBytes(int dataBlock, int startByte, int byteCount, void* destination);
    int writeBytes(int dataBlock, int startByte, int byteCount, const void* source);
    // Code 0: buffer holds the data file path (kMpiDataFilePathCapacity), read and kept.
    // Otherwise: the code's text into buffer (kMpiErrorTextCapacity). Any thread.
    int errorText(int code, char* buffer);

    LineSettings lineSettings() const { return line_; }
    uint8_t localAddress() const { return localAddress_; }
    const MpiLink& link() const { return link_; }

private:
    struct StationRecord {
        int connection = -1;  // last state recorded: -1 none yet, 0 connected, else the code
        int access = 0;       // last access error recorded
    };
    // Records a station's result (of a selection, or of an access) in the data file when it is news.
    int note(int plcNumber, int code, bool access);
    std::string subject(int plcNumber) const;

    MpiLink link_;
    LineSettings line_;
    uint8_t localAddress_ = 0;
    int firstPlc_ = 1;
    std::vector<StationRecord> records_;
    int adapterRecord_ = -1;
    mutable std::mutex textMutex_;  // portProblem_, shared with errorText
    std::string portProblem_;
    plc::CommunicationRecord dataFile_;
};

}  // namespace mpi
