#pragma once
// Values between the toolkit (VARIANT-like SOCmnVariant, OPC qualities, system-clock time stamps)
// and OPC UA (Variant of built-in types, DateTime).

#include "opc/SOCmnVariant.h"
#include "opc/Types.h"
#include "opcua/Types.h"

namespace opcua {

// The UA value of a toolkit value: Boolean, SByte, Byte, Int16, UInt16, Int32, UInt32, Float,
// Double or String by the VARTYPE, arrays element by element; an empty value is Null.
Variant toUaVariant(const SOCmnVariant& value);

// The toolkit value of a UA value of one of the types above; false for other types.
bool toToolkitVariant(const Variant& value, SOCmnVariant& out);

// 0 for the toolkit's "no time".
DateTime toUaDateTime(TimeStamp t);

}  // namespace opcua
