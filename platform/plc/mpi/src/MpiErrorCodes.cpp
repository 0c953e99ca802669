#include "mpi/MpiErrorCodes.h"

#include "plc/S7ErrorCodes.h"

namespace orva::mpi {
namespace {

constexpr int kLinkCodes[] = {kMpiPortError, kMpiAdapterSilent, kMpiStationSilent, kMpiLinkFailure,
                              kMpiNotConnected};

}  // namespace

const char* mpiErrorMessage(int code)
{
    switch (code) {
        case kMpiOk:
            return "No error";
        case kMpiPortError:
            return "Serial port cannot be opened or used";
        case kMpiAdapterSilent:
            return "MPI adapter does not answer (check the port and its line settings)";
        case kMpiStationSilent:
            return "MPI station does not answer or refuses the connection";
        case kMpiLinkFailure:
            return "Serial link protocol failure (blocks refused or garbled)";
        case kMpiNotConnected:
            return "Not connected: station table not open or PLC not in it";
        default:
            return plc::isConnectionLevel(code) ? nullptr : plc::s7ErrorMessage(code);
    }
}

std::span<const int> mpiLinkCodes()
{
    return kLinkCodes;
}

}  // namespace orva::mpi
