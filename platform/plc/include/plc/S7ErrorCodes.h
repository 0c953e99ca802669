#pragma once
// Status codes of the TCP/IP S7 access library. 0 is success.
//
// The server treats every code from 1 to 63 as a connection-level error (it closes and reopens
// the connection table and moves on to the next PLC) and every code from 64 up as the failure
// of one access. It turns codes into OPC qualities by a fixed table: 20, 23, 25, 50, 112 and
// 113 give OUT_OF_SERVICE, 80 to 88 DEVICE_FAILURE, 120 to 124 COMM_FAILURE, every other code
// BAD. The codes are chosen so that each condition lands in the fitting class and quality:
//
// | Code | Condition                                            | Level      | Quality        |
// |------|------------------------------------------------------|------------|----------------|
// |    1 | connection table not open                            | connection | BAD            |
// |    2 | no PLC selected                                      | connection | BAD            |
// |    3 | PLC number not in the connection table               | connection | BAD            |
// |    4 | address selector not 0 (A) or 1 (B)                  | connection | BAD            |
// |    5 | side B selected but the PLC has no address B         | connection | BAD            |
// |    6 | PLC address is not "a.b.c.d" or "a.b.c.d:port"       | connection | BAD            |
// |    7 | source is not a local IPv4 address                   | connection | BAD            |
// |    8 | source address cannot be bound                       | connection | BAD            |
// |    9 | no socket available (system resources)               | connection | BAD            |
// |   20 | connection refused, or the PLC is unreachable        | connection | OUT_OF_SERVICE |
// |   23 | time-out: no connection or no answer in time         | connection | OUT_OF_SERVICE |
// |   25 | connection closed or reset by the PLC                | connection | OUT_OF_SERVICE |
// |   30 | malformed or mismatched frame from the PLC           | connection | BAD            |
// |   31 | S7 communication set-up refused                      | connection | BAD            |
// |   32 | PDU size granted by the PLC too small (< 240)        | connection | BAD            |
// |   50 | ISO connection refused (rack/slot, no free resource) | connection | OUT_OF_SERVICE |
// |   64 | bad argument (block, count, start, buffer)           | access     | BAD            |
// |   80 | data block does not exist                            | access     | DEVICE_FAILURE |
// |   81 | address out of range of the data block               | access     | DEVICE_FAILURE |
// |   82 | access to the object denied (e.g. write-protected)   | access     | DEVICE_FAILURE |
// |   83 | data type not supported or inconsistent              | access     | DEVICE_FAILURE |
// |   84 | hardware fault reported by the PLC                   | access     | DEVICE_FAILURE |
// |   85 | access refused with another return code              | access     | DEVICE_FAILURE |
// |  112 | PUT/GET access not permitted by the CPU              | access     | OUT_OF_SERVICE |
// |  120 | PLC has no resources for the request now             | access     | COMM_FAILURE   |
// |  121 | request refused by the PLC (other header error)      | access     | COMM_FAILURE   |
//
// A lost or silent connection must reach clients as a failure of the device's reachability,
// not as a generic BAD, while still being connection-level so the server reconnects; the
// only codes below 64 with such a quality are 20, 23, 25 and 50, so refusal, time-out, drop
// and ISO refusal take exactly those. Configuration mistakes that no retry can cure (bad
// address text, bad source) stay connection-level so that the PLC is skipped, with BAD.
#include <cstddef>
#include <cstdint>
#include <span>

namespace orva::plc {

namespace s7 {
struct ResponseStatus;
}

enum S7Error : int {
    kS7Ok = 0,
    kS7NotOpen = 1,
    kS7NoPlcSelected = 2,
    kS7BadPlcNumber = 3,
    kS7BadSelector = 4,
    kS7NoAddressB = 5,
    kS7BadAddress = 6,
    kS7BadSource = 7,
    kS7BindFailed = 8,
    kS7NoSocket = 9,
    kS7Unreachable = 20,
    kS7Timeout = 23,
    kS7ConnectionLost = 25,
    kS7ProtocolViolation = 30,
    kS7SetupRefused = 31,
    kS7PduTooSmall = 32,
    kS7IsoRefused = 50,
    kS7BadArgument = 64,
    kS7DataBlockMissing = 80,
    kS7AddressOutOfRange = 81,
    kS7AccessDenied = 82,
    kS7DataTypeMismatch = 83,
    kS7HardwareFault = 84,
    kS7ItemRefused = 85,
    kS7PutGetNotPermitted = 112,
    kS7NoResources = 120,
    kS7RequestRefused = 121,
};

// Capacity the caller of s7ErrorText must provide; every text fits with its NUL.
constexpr size_t kS7ErrorTextCapacity = 128;

constexpr bool isConnectionLevel(int code)
{
    return code != 0 && code < 64;
}

// The text for a code of the table, nullptr for any other code.
const char* s7ErrorMessage(int code);

// All codes of the table above, for listings and tests.
std::span<const int> s7ErrorCodes();

// The code for an item return code with which the PLC refused an access (80 to 85).
int s7CodeFromReturnCode(uint8_t returnCode);
// The code for a read or write job the PLC refused whole (error class and code of its answer).
int s7CodeFromHeaderError(uint8_t errorClass, uint8_t errorCode);
// The code of an answer to a read or write job: 0, an access code, or 30 for an answer that
// cannot be understood.
int s7CodeFromResponse(const s7::ResponseStatus& status);

}  // namespace orva::plc
