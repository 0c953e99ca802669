#include "opc/Quality.h"

SOCmnString quality2string(uint16_t quality, uint32_t)
{
    const char* main = (quality & 0xC0) == 0xC0 ? "GOOD" : (quality & 0xC0) == 0x40 ? "UNCERTAIN" : "BAD";
    const char* sub = nullptr;
    switch (quality & 0xFC) {
        case 0x04:
            sub = "config error";
            break;
        case 0x08:
            sub = "not connected";
            break;
        case 0x0C:
            sub = "device failure";
            break;
        case 0x10:
            sub = "sensor failure";
            break;
        case 0x14:
            sub = "last known";
            break;
        case 0x18:
            sub = "comm failure";
            break;
        case 0x1C:
            sub = "out of service";
            break;
        case 0x20:
            sub = "waiting for initial data";
            break;
        case 0x44:
            sub = "last usable";
            break;
        case 0x50:
            sub = "sensor not accurate";
            break;
        case 0x54:
            sub = "EU units exceeded";
            break;
        case 0x58:
            sub = "sub-normal";
            break;
        case 0xD8:
            sub = "local override";
            break;
        default:
            break;
    }
    SOCmnString text(main);
    if (sub) {
        text += " (";
        text += sub;
        text += ")";
    }
    return text;
}
