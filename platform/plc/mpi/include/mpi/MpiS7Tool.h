#pragma once
// Lorvik's access library (its seven operations) over the MPI link: serial settings kept until
// the next opening (the defaults 38400 baud, 8 data bits, odd parity, 1 stop bit, local address 0
// until then), the station table and data file of MpiStations, and a text for every status code.
#include <cstddef>
#include <cstdint>

#include "mpi/MpiStations.h"

namespace orva::mpi {

// Capacities the callers of errorText provide: texts, and the data file path with code 0.
constexpr size_t kMpiErrorTextCapacity = 256;
constexpr size_t kMpiDataFilePathCapacity = 260;

class MpiS7Tool {
public:
    explicit MpiS7Tool(LinkTimeouts timeouts = {}) : stations_(timeouts) {}

    // Parity code 0 none, 1 odd, 2 even; stop-bit code 0 one, 2 two. Takes effect at the next
    // open().
    void setSerial(const char* com, int baudrate, int dataBits, int parity, int stopBits, int master);
    int open(int firstPlc, int /*reserved*/, const uint8_t* stations)
    {
        return stations_.open(line_, localAddress_, firstPlc, stations);
    }
    void close() { stations_.close(); }
    int selectPlc(int plcNumber) { return stations_.select(plcNumber); }
    int readBytes(int dataBlock, int startByte, int byteCount, void* destination)
    {
        return stations_.read(dataBlock, startByte, byteCount, destination);
    }
    int writeBytes(int dataBlock, int startByte, int byteCount, const void* source)
    {
        return stations_.write(dataBlock, startByte, byteCount, source);
    }
    // Code 0: buffer holds the data file path (kMpiDataFilePathCapacity), read and kept.
    // Otherwise: the code's text into buffer (kMpiErrorTextCapacity). Any thread.
    int errorText(int code, char* buffer);

    LineSettings lineSettings() const { return line_; }
    uint8_t localAddress() const { return localAddress_; }
    const MpiLink& link() const { return stations_.link(); }

private:
    MpiStations stations_;
    LineSettings line_;
    uint8_t localAddress_ = 0;
};

}  // namespace orva::mpi
