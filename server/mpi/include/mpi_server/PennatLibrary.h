#pragma once
// Pennat's access: the station-table library and the error-text library presented as the MPI
// operations the communication thread's transport calls. The data file handed to the error-text
// library is where the station-table library records the link's changes; the text of a port
// failure names the port or registry value to fix.
#include <memory>

#include "errortext/ErrorTextLibrary.h"
#include "mpie/MpiTransport.h"
#include "stationtable/StationTableLibrary.h"

namespace orva::mpi_server {

class PennatLibrary final : public mpie::MpiLibrary {
public:
    explicit PennatLibrary(registry::Registry registry = registry::Registry::machine(),
                           orva::mpi::LinkTimeouts timeouts = {})
        : stations_(std::move(registry), timeouts)
    {
    }
    int mpiOpen(int firstPlc, int reserved, const uint8_t* stations) override
    {
        return stations_.open(firstPlc, reserved, stations);
    }
    void mpiClose() override { stations_.close(); }
    int mpiSelectPlc(int plcNumber) override { return stations_.select(plcNumber); }
    int mpiReadBytes(int dataBlock, int startByte, int byteCount, void* destination) override
    {
        return stations_.readBytes(dataBlock, startByte, byteCount, destination);
    }
    int mpiWriteBytes(int dataBlock, int startByte, int byteCount, const void* source) override
    {
        return stations_.writeBytes(dataBlock, startByte, byteCount, source);
    }
    int mpiErrorText(int code, char* buffer) override;
    size_t errorTextCapacity() const override { return errortext::kTextCapacity; }

private:
    stationtable::StationTableLibrary stations_;
    errortext::ErrorTextLibrary texts_;
};

}  // namespace orva::mpi_server
