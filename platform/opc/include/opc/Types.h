#pragma once
// Basic types of the OPC toolkit: result codes, qualities, request types and time stamps.

#include <chrono>
#include <cstdint>

#include "config/VarType.h"

namespace orva::opc {

using HRESULT = int32_t;
using VarType = orva::VarType;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT OPC_E_INVALIDHANDLE = static_cast<HRESULT>(0xC0040001u);
inline constexpr HRESULT OPC_E_BADRIGHTS = static_cast<HRESULT>(0xC0040006u);
inline constexpr HRESULT OPC_E_UNKNOWNITEMID = static_cast<HRESULT>(0xC0040007u);
inline constexpr HRESULT OPC_E_INVALIDITEMID = static_cast<HRESULT>(0xC0040008u);
inline constexpr HRESULT OPC_E_BADTYPE = static_cast<HRESULT>(0xC0040004u);
inline constexpr HRESULT OPC_E_RANGE = static_cast<HRESULT>(0xC004000Bu);
inline constexpr HRESULT OPC_E_NOTCONNECTED = static_cast<HRESULT>(0xC0040010u);  // toolkit-specific

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

// OPC DA qualities used by the servers.
inline constexpr uint16_t OPC_QUALITY_BAD = 0x00;
inline constexpr uint16_t OPC_QUALITY_DEVICE_FAILURE = 0x0C;
inline constexpr uint16_t OPC_QUALITY_COMM_FAILURE = 0x18;
inline constexpr uint16_t OPC_QUALITY_OUT_OF_SERVICE = 0x1C;
inline constexpr uint16_t OPC_QUALITY_WAITING_FOR_INITIAL_DATA = 0x20;
inline constexpr uint16_t OPC_QUALITY_UNCERTAIN = 0x40;
inline constexpr uint16_t OPC_QUALITY_GOOD = 0xC0;

// OPC DA access-right bits.
inline constexpr uint32_t OPC_READABLE = 1;
inline constexpr uint32_t OPC_WRITEABLE = 2;

// Request types: 0x1005 and 0x1006 go to the device, 0x1009 and 0x100A are answered from the cache.
inline constexpr uint16_t SODASREQUEST_TYPE_DEVICE = 0x1005;
inline constexpr uint16_t SODASREQUEST_TYPE_DEVICE_REFRESH = 0x1006;
inline constexpr uint16_t SODASREQUEST_TYPE_CACHE = 0x1009;
inline constexpr uint16_t SODASREQUEST_TYPE_CACHE_REFRESH = 0x100A;

// The locale of values stored by the servers.
inline constexpr uint32_t LOCALE_SYSTEM_DEFAULT = 0x800;

using TimeStamp = std::chrono::system_clock::time_point;

// Object types of the toolkit's own objects; servers may use the range from 0x8000000 upward.
inline constexpr uint32_t SOCMNOBJECT_TYPE_OTHER = 0;
inline constexpr uint32_t SOCMNOBJECT_TYPE_SERVER = 0x1;
inline constexpr uint32_t SOCMNOBJECT_TYPE_GROUP = 0x2;
inline constexpr uint32_t SOCMNOBJECT_TYPE_ITEM = 0x4;
inline constexpr uint32_t SOCMNOBJECT_TYPE_TAG = 0x8;
inline constexpr uint32_t SOCMNOBJECT_TYPE_NODE = 0x10;
inline constexpr uint32_t SOCMNOBJECT_TYPE_ROOT = 0x20;
inline constexpr uint32_t SOCMNOBJECT_TYPE_CACHE = 0x40;
inline constexpr uint32_t SOCMNOBJECT_TYPE_REQUEST = 0x80;
inline constexpr uint32_t SOCMNOBJECT_TYPE_PROPERTY = 0x100;
inline constexpr uint32_t SOCMNOBJECT_TYPE_ENTRY = 0x200;
inline constexpr uint32_t SOCMNOBJECT_TYPE_CREATOR = 0x400;
inline constexpr uint32_t SOCMNOBJECT_TYPE_EVENT_HANDLER = 0x800;

}  // namespace orva::opc
