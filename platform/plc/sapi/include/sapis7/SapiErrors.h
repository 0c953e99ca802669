#pragma once
// Error numbers of the SAPI-S7 library (what sapiLastError returns after a failed call).
//
// Conditions the TCP/IP S7 library knows too keep its numbers, so that the server turns them
// into the same OPC qualities (20, 25 and 50 OUT_OF_SERVICE, 80 to 85 DEVICE_FAILURE, 120 and
// 121 COMM_FAILURE, the rest BAD). The numbers from 200 up are this library's own:
//
// | Number | Condition                                                        |
// |--------|------------------------------------------------------------------|
// |      6 | the connection's address in the connection database is not valid |
// |      7 | the connection's source is not a valid IPv4 address              |
// |      8 | the source address cannot be bound                               |
// |      9 | no socket available (system resources)                           |
// |     20 | the PLC refused the TCP connection or is unreachable             |
// |     23 | the PLC did not finish the connection or answer a request in time |
// |     25 | the PLC closed or reset the connection                           |
// |     30 | the PLC sent a malformed or unexpected frame                     |
// |     31 | the PLC refused the S7 communication set-up                      |
// |     32 | the PLC granted a PDU size below 240 bytes                       |
// |     50 | the PLC refused the ISO connection (rack and slot)              |
// |     64 | bad argument (byte count, buffer)                                |
// | 80..85 | the PLC refused the access; the text names the S7 return code    |
// |    112 | PUT/GET access not permitted by the CPU                          |
// |    120 | the PLC has no resources for the request now                     |
// |    121 | the PLC refused the request (other error class)                  |
// |    200 | the interface descriptor is not open                             |
// |    201 | the connection name is not configured for the interface          |
// |    202 | no connection with this reference                                |
// |    203 | the connection is not established                                |
// |    204 | a request of this connection is still outstanding                |
// |    205 | no event of the kind confirmed was received last                 |
// |    206 | the variable record is not "DB<n>,B<start>,<count>" or its count is wrong |
// |    207 | the interface is not configured (no key in the connection database) |
// |    208 | the connection database cannot be read                           |
// |    209 | the device name is not the interface's device                    |
// |    210 | the data buffer is smaller than the data received                |
#include <string>

namespace orva::sapis7 {

enum SapiError : int {
    kSapiOk = 0,
    kSapiBadAddress = 6,
    kSapiBadSource = 7,
    kSapiBindFailed = 8,
    kSapiNoSocket = 9,
    kSapiRefused = 20,
    kSapiTimeout = 23,
    kSapiConnectionLost = 25,
    kSapiProtocolViolation = 30,
    kSapiSetupRefused = 31,
    kSapiPduTooSmall = 32,
    kSapiIsoRefused = 50,
    kSapiBadArgument = 64,
    kSapiNotOpen = 200,
    kSapiUnknownConnection = 201,
    kSapiBadConnectionRef = 202,
    kSapiNotConnected = 203,
    kSapiRequestPending = 204,
    kSapiNoConfirmation = 205,
    kSapiBadVariable = 206,
    kSapiNoInterface = 207,
    kSapiDatabaseUnreadable = 208,
    kSapiWrongDevice = 209,
    kSapiBufferTooSmall = 210,
};

// The general text of a number ("" for numbers the library never sets).
std::string sapiErrorMessage(int code);

}  // namespace orva::sapis7
