#include "sapis7/SapiErrors.h"

#include "plc/S7ErrorCodes.h"

namespace orva::sapis7 {

std::string sapiErrorMessage(int code)
{
    switch (code) {
        case kSapiNotOpen:
            return "SAPI-S7 interface is not open";
        case kSapiUnknownConnection:
            return "connection is not configured for the interface";
        case kSapiBadConnectionRef:
            return "no connection with this reference";
        case kSapiNotConnected:
            return "connection is not established";
        case kSapiRequestPending:
            return "a request of the connection is still outstanding";
        case kSapiNoConfirmation:
            return "no such confirmation was received";
        case kSapiBadVariable:
            return "variable record is not DB<n>,B<start>,<count> or its byte count is wrong";
        case kSapiNoInterface:
            return "SAPI-S7 interface is not configured";
        case kSapiDatabaseUnreadable:
            return "connection database cannot be read";
        case kSapiWrongDevice:
            return "device is not the interface's device";
        case kSapiBufferTooSmall:
            return "data buffer is smaller than the data received";
        default:
            break;
    }
    // The conditions shared with the TCP/IP library keep its texts.
    const char* shared = code > 0 && code < kSapiNotOpen ? plc::s7ErrorMessage(code) : nullptr;
    return shared != nullptr ? shared : "";
}

}  // namespace orva::sapis7
