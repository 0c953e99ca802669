#include "opc/Quality.h"

#include <string>
#include <utility>

namespace orva::opc {

SOCmnString quality2string(uint16_t quality, uint32_t)
{
    std::string text;
    switch (quality & 0xC0) {
        case 0xC0:
            text = "GOOD";
            break;
        case 0x40:
            text = "UNCERTAIN";
            break;
        case 0x00:
            text = "BAD";
            break;
        default:
            text = "N/A";
            break;
    }
    const char* sub = nullptr;
    switch (quality & 0xFC) {
        case 0x04:
            sub = "CONFIG_ERROR";
            break;
        case 0x08:
            sub = "NOT_CONNECTED";
            break;
        case 0x0C:
            sub = "DEVICE_FAILURE";
            break;
        case 0x10:
            sub = "SENSOR_FAILURE";
            break;
        case 0x14:
            sub = "LAST_KNOWN";
            break;
        case 0x18:
            sub = "COMM_FAILURE";
            break;
        case 0x1C:
            sub = "OUT_OF_SERVICE";
            break;
        case 0x20:
            sub = "WAITING_FOR_INITIAL_DATA";
            break;
        case 0x44:
            sub = "LAST_USABLE";
            break;
        case 0x50:
            sub = "SENSOR_CAL";
            break;
        case 0x54:
            sub = "EGU_EXCEEDED";
            break;
        case 0x58:
            sub = "SUB_NORMAL";
            break;
        case 0xD8:
            sub = "LOCAL_OVERRIDE";
            break;
        default:
            break;
    }
    if (sub != nullptr) text = text + " (" + sub + ")";
    switch (quality & 0x03) {
        case 1:
            text += " LOW_LIMITED";
            break;
        case 2:
            text += " HIGH_LIMITED";
            break;
        case 3:
            text += " CONSTANT";
            break;
        default:
            break;
    }
    return SOCmnString(std::move(text));
}

}  // namespace orva::opc
