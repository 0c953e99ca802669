#pragma once
// What every MPI library front shares: a station table given as 4-byte entries (MPI address, 0,
// CPU slot, 0) ended by the entry 0, 0, 1, 0, numbered from the first PLC's number; selection,
// reads and writes of the selected station with the start byte before the count; and the record
// of the link's changes in a data file (one line per change of a station's or the adapter's
// state and per new access error, never one per poll).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "mpi/MpiLink.h"
#include "plc/CommunicationRecord.h"

namespace orva::mpi {

// A table may name every bus address once; without its end entry within this many entries it is
// refused.
constexpr int kMpiMaxStations = 127;
constexpr int kMpiMaxReadCount = 222;
constexpr int kMpiMaxWriteCount = 212;

class MpiStations {
public:
    explicit MpiStations(LinkTimeouts timeouts = {}) : link_(timeouts) {}

    // Opens the link with these line settings; the result of the opening (0, or a link code).
    int open(const LineSettings& line, uint8_t localAddress, int firstPlc, const uint8_t* stations);
    void close() { link_.close(); }
    int select(int plcNumber);
    int read(int dataBlock, int startByte, int byteCount, void* destination);
    int write(int dataBlock, int startByte, int byteCount, const void* source);

    // Where the changes are recorded (empty: nowhere); any thread.
    void setDataFile(std::string path) { dataFile_.setPath(std::move(path)); }
    // What the last port failure was ("" after a good opening); any thread.
    std::string portProblem() const;
    const MpiLink& link() const { return link_; }

private:
    struct StationRecord {
        int connection = -1;  // last state recorded: -1 none yet, 0 connected, else the code
        int access = 0;       // last access error recorded
    };
    // Records a result (of a selection, or of an access) when it is news.
    int note(int plcNumber, int code, bool access);
    std::string subject(int plcNumber) const;

    MpiLink link_;
    int firstPlc_ = 1;
    std::vector<StationRecord> records_;
    int adapterRecord_ = -1;
    mutable std::mutex problemMutex_;
    std::string portProblem_;
    plc::CommunicationRecord dataFile_;
};

}  // namespace orva::mpi
