#include "mqtt/StatusNames.h"

namespace orva::mqtt {

std::string_view qualityStatusName(std::uint16_t quality)
{
    switch (quality & 0xFF) {
        case opc::OPC_QUALITY_GOOD:
            return "Good";
        case opc::OPC_QUALITY_UNCERTAIN:
            return "Uncertain";
        case opc::OPC_QUALITY_OUT_OF_SERVICE:
            return "BadOutOfService";
        case opc::OPC_QUALITY_DEVICE_FAILURE:
            return "BadDeviceFailure";
        case opc::OPC_QUALITY_COMM_FAILURE:
            return "BadCommunicationError";
        case opc::OPC_QUALITY_WAITING_FOR_INITIAL_DATA:
            return "BadWaitingForInitialData";
        default:
            break;
    }
    if (isGoodQuality(quality)) return "Good";
    if ((quality & 0xC0) == 0x40) return "Uncertain";
    return "Bad";
}

std::string_view writeStatusName(opc::HRESULT result, std::uint16_t quality)
{
    if (opc::SUCCEEDED(result)) return "Good";
    switch (result) {
        case opc::OPC_E_BADRIGHTS:
            return "BadNotWritable";
        case opc::DISP_E_TYPEMISMATCH:
        case opc::OPC_E_BADTYPE:
            return "BadTypeMismatch";
        case opc::DISP_E_OVERFLOW:
        case opc::OPC_E_RANGE:
            return "BadOutOfRange";
        case opc::OPC_E_UNKNOWNITEMID:
        case opc::OPC_E_INVALIDITEMID:
        case opc::OPC_E_INVALIDHANDLE:
            return "BadNodeIdUnknown";
        case opc::E_INVALIDARG:
            return "BadInvalidArgument";
        default:
            break;
    }
    // A failed device write carries the quality it failed with; one that says nothing is Bad.
    return isBadQuality(quality) ? qualityStatusName(quality) : "Bad";
}

}  // namespace orva::mqtt
