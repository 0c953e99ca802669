#include "plc/S7ResultCodes.h"

#include "plc/S7ErrorCodes.h"

namespace plc {
namespace {

int codeFromReturnCode(uint8_t returnCode)
{
    switch (returnCode) {
        case s7::kReturnObjectMissing:
            return kS7DataBlockMissing;
        case s7::kReturnAddressOutOfRange:
            return kS7AddressOutOfRange;
        case s7::kReturnAccessDenied:
            return kS7AccessDenied;
        case s7::kReturnTypeNotSupported:
        case s7::kReturnTypeInconsistent:
            return kS7DataTypeMismatch;
        case s7::kReturnHardwareFault:
            return kS7HardwareFault;
        default:
            return kS7ItemRefused;
    }
}

// Error class 0x81 code 0x04 is how CPUs with PUT/GET access switched off refuse a job.
int codeFromHeaderError(uint8_t errorClass, uint8_t errorCode)
{
    if (errorClass == 0x81 && errorCode == 0x04) return kS7PutGetNotPermitted;
    if (errorClass == 0x83) return kS7NoResources;
    return kS7RequestRefused;
}

}  // namespace

// The code of an answer to a read or write job.
int codeFromResponse(const s7::ResponseStatus& status)
{
    switch (status.kind) {
        case s7::ResponseKind::Ok:
            return kS7Ok;
        case s7::ResponseKind::ItemError:
            return codeFromReturnCode(status.returnCode);
        case s7::ResponseKind::HeaderError:
            return codeFromHeaderError(status.errorClass, status.errorCode);
        case s7::ResponseKind::Violation:
            break;
    }
    return kS7ProtocolViolation;
}

}  // namespace plc
