#include "mqtt/StatusNames.h"

namespace orva::mqtt {

std::string_view qualityStatusName(std::uint16_t quality)
{
    switch (quality & 0xFF) {
        case OPC_QUALITY_GOOD:
            return "Good";
        case OPC_QUALITY_UNCERTAIN:
            return "Uncertain";
        case OPC_QUALITY_OUT_OF_SERVICE:
            return "BadOutOfService";
        case OPC_QUALITY_DEVICE_FAILURE:
            return "BadDeviceFailure";
        case OPC_QUALITY_COMM_FAILURE:
            return "BadCommunicationError";
        case OPC_QUALITY_WAITING_FOR_INITIAL_DATA:
            return "BadWaitingForInitialData";
        default:
            break;
    }
    if (isGoodQuality(quality)) return "Good";
    if ((quality & 0xC0) == 0x40) return "Uncertain";
    return "Bad";
}

std::string_view writeStatusName(HRESULT result, std::uint16_t quality)
{
    if (SUCCEEDED(result)) return "Good";
    switch (result) {
        case OPC_E_BADRIGHTS:
            return "BadNotWritable";
        case DISP_E_TYPEMISMATCH:
        case OPC_E_BADTYPE:
            return "BadTypeMismatch";
        case DISP_E_OVERFLOW:
        case OPC_E_RANGE:
            return "BadOutOfRange";
        case OPC_E_UNKNOWNITEMID:
        case OPC_E_INVALIDITEMID:
        case OPC_E_INVALIDHANDLE:
            return "BadNodeIdUnknown";
        case E_INVALIDARG:
            return "BadInvalidArgument";
        default:
            break;
    }
    // A failed device write carries the quality it failed with; one that says nothing is Bad.
    return isBadQuality(quality) ? qualityStatusName(quality) : "Bad";
}

}  // namespace orva::mqtt
