#include "plc/S7ErrorCodes.h"

#include <array>
#include <utility>

#include "plc/S7Protocol.h"

namespace orva::plc {
namespace {

constexpr std::array<std::pair<int, const char*>, 27> kTexts{{
    {kS7Ok, "No error"},
    {kS7NotOpen, "Connection table is not open"},
    {kS7NoPlcSelected, "No PLC selected"},
    {kS7BadPlcNumber, "PLC number is not in the connection table"},
    {kS7BadSelector, "Address selector must be 0 (side A) or 1 (side B)"},
    {kS7NoAddressB, "PLC has no address B"},
    {kS7BadAddress, "PLC address is not a valid IP address (a.b.c.d or a.b.c.d:port)"},
    {kS7BadSource, "Source is not a valid local IP address"},
    {kS7BindFailed, "Cannot bind the connection to the source address"},
    {kS7NoSocket, "No socket available"},
    {kS7Unreachable, "PLC refused the connection or is unreachable"},
    {kS7Timeout, "PLC did not answer in time"},
    {kS7ConnectionLost, "Connection closed or reset by the PLC"},
    {kS7ProtocolViolation, "PLC sent a malformed or unexpected frame"},
    {kS7SetupRefused, "PLC refused the S7 communication set-up"},
    {kS7PduTooSmall, "PLC granted a PDU size below 240 bytes"},
    {kS7IsoRefused, "PLC refused the ISO connection (check rack and slot)"},
    {kS7BadArgument, "Invalid data block, byte count, start byte or buffer"},
    {kS7DataBlockMissing, "Data block does not exist"},
    {kS7AddressOutOfRange, "Address out of range of the data block"},
    {kS7AccessDenied, "Access to the data block denied"},
    {kS7DataTypeMismatch, "Data type not supported or inconsistent"},
    {kS7HardwareFault, "PLC reports a hardware fault"},
    {kS7ItemRefused, "PLC refused the access"},
    {kS7PutGetNotPermitted, "PLC does not permit PUT/GET access"},
    {kS7NoResources, "PLC has no resources for the request"},
    {kS7RequestRefused, "PLC refused the request"},
}};

constexpr std::array<int, kTexts.size() - 1> collectCodes()
{
    std::array<int, kTexts.size() - 1> codes{};
    for (size_t i = 1; i < kTexts.size(); ++i)
        codes[i - 1] = kTexts[i].first;
    return codes;
}

constexpr auto kCodes = collectCodes();

}  // namespace

const char* s7ErrorMessage(int code)
{
    for (const auto& [value, text] : kTexts) {
        if (value == code) return text;
    }
    return nullptr;
}

std::span<const int> s7ErrorCodes()
{
    return kCodes;
}

int s7CodeFromReturnCode(uint8_t returnCode)
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
int s7CodeFromHeaderError(uint8_t errorClass, uint8_t errorCode)
{
    if (errorClass == 0x81 && errorCode == 0x04) return kS7PutGetNotPermitted;
    if (errorClass == 0x83) return kS7NoResources;
    return kS7RequestRefused;
}

int s7CodeFromResponse(const s7::ResponseStatus& status)
{
    switch (status.kind) {
        case s7::ResponseKind::Ok:
            return kS7Ok;
        case s7::ResponseKind::ItemError:
            return s7CodeFromReturnCode(status.returnCode);
        case s7::ResponseKind::HeaderError:
            return s7CodeFromHeaderError(status.errorClass, status.errorCode);
        case s7::ResponseKind::Violation:
            break;
    }
    return kS7ProtocolViolation;
}

}  // namespace orva::plc
