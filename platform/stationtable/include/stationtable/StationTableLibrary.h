#pragma once
// Pennat's station-table library over the MPI link: open, close, select, read and write with the
// start byte before the count. Its serial set-up is machine-wide, in the registry key
// SOFTWARE\ORVAAutomation\MpiInterface (docs/registry.md), read afresh at every opening:
//   Port (device path or COMn), Baudrate, DataBits, Parity (NO, ODD, EVEN), StopBits (1 or 2),
//   LocalAddress (the adapter's own MPI address);
// missing values take /dev/ttyS0, 38400, 8, ODD, 1, 0. A value that cannot be used, or a port
// that cannot be opened, fails the opening with 517; problem() then names the port or value and
// the key to set.
#include <cstdint>
#include <mutex>
#include <string>

#include "mpi/MpiStations.h"
#include "registry/Registry.h"

namespace orva::stationtable {

inline constexpr const char* kInterfaceKey = "SOFTWARE\\ORVAAutomation\\MpiInterface";

struct InterfaceSetup {
    mpi::LineSettings line;
    uint8_t localAddress = 0;
    std::string problem;  // empty when every value is usable
};

InterfaceSetup readInterfaceSetup(const orva::registry::Registry& registry);

class StationTableLibrary {
public:
    explicit StationTableLibrary(orva::registry::Registry registry = orva::registry::Registry::machine(),
                                 mpi::LinkTimeouts timeouts = {});

    int open(int firstPlc, int reserved, const uint8_t* stations);
    void close() { stations_.close(); }
    int select(int plcNumber) { return stations_.select(plcNumber); }
    int readBytes(int dataBlock, int startByte, int byteCount, void* destination)
    {
        return stations_.read(dataBlock, startByte, byteCount, destination);
    }
    int writeBytes(int dataBlock, int startByte, int byteCount, const void* source)
    {
        return stations_.write(dataBlock, startByte, byteCount, source);
    }

    // Where the link's changes are recorded; any thread.
    void setDataFile(std::string path) { stations_.setDataFile(std::move(path)); }
    // What made the last opening fail with 517, naming the port or value and the key; any thread.
    std::string problem() const;

private:
    orva::registry::Registry registry_;
    mpi::MpiStations stations_;
    mutable std::mutex problemMutex_;
    std::string setupProblem_;
};

}  // namespace orva::stationtable
