#pragma once
// Status codes of the MPI link. 0 is success.
//
// Five codes concern the link as a whole; after any of them the server closes the station
// table, waits and opens it again:
//
// | Code  | Condition                                                                  |
// |-------|----------------------------------------------------------------------------|
// |   517 | the serial port cannot be opened or used (missing, in use, settings refused, |
// |       | removed while open)                                                         |
// |   794 | the adapter does not answer on the serial line (wrong line settings, no     |
// |       | adapter, adapter switched off)                                              |
// | 16386 | the MPI station does not answer, refuses the connection or the S7 set-up    |
// | 61185 | link protocol failure: blocks refused or garbled after every repeat, an     |
// |       | answer that does not fit the request                                        |
// | 65535 | not connected: the station table is not open, or the PLC number is not in it |
//
// Every other code concerns one access and is one of the TCP/IP library's access codes
// (plc/S7ErrorCodes.h: 64 bad argument, 80-85 refused by the PLC, 112, 120, 121), so that the
// server gives it the same quality.
#include <cstddef>
#include <span>

namespace orva::mpi {

enum MpiError : int {
    kMpiOk = 0,
    kMpiPortError = 517,
    kMpiAdapterSilent = 794,
    kMpiStationSilent = 16386,
    kMpiLinkFailure = 61185,
    kMpiNotConnected = 65535,
};

constexpr bool isLinkLevel(int code)
{
    return code == kMpiPortError || code == kMpiAdapterSilent || code == kMpiStationSilent ||
           code == kMpiLinkFailure || code == kMpiNotConnected;
}

// The text for a link-level or access code, nullptr for any other code.
const char* mpiErrorMessage(int code);

// The five link-level codes.
std::span<const int> mpiLinkCodes();

}  // namespace orva::mpi
