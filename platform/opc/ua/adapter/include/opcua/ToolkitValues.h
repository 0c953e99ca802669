#pragma once
// Values between the toolkit (VARTYPEs, VARIANT-like SOCmnVariant, OPC qualities, system-clock
// time stamps) and OPC UA (DataType node ids, Variant of built-in types, StatusCode, DateTime).

#include "opc/SOCmnVariant.h"
#include "opc/Types.h"
#include "opcua/Types.h"

namespace orva::opcua {

// The built-in type of a native VARTYPE (array flag ignored); Null for types the server does not
// serve.
BuiltinType builtinOfVarType(uint16_t varType);
// The DataType node id of a native VARTYPE (array flag ignored); BaseDataType for unknown types.
NodeId dataTypeOfVarType(uint16_t varType);

// The status code of an OPC item quality byte: 0xC0 Good, 0x40 Uncertain, 0x1C BadOutOfService,
// 0x0C BadDeviceFailure, 0x18 BadCommunicationError, 0x00 Bad, others by their quality bits.
StatusCode statusFromQuality(uint8_t quality);

// The UA value of a toolkit value: Boolean, SByte, Byte, Int16, UInt16, Int32, UInt32, Float,
// Double or String by the VARTYPE, arrays element by element; an empty value is Null.
Variant toUaVariant(const opc::SOCmnVariant& value);

// The toolkit value of a UA value of one of the types above; false for other types.
bool toToolkitVariant(const Variant& value, opc::SOCmnVariant& out);

// 0 for the toolkit's "no time".
DateTime toUaDateTime(opc::TimeStamp t);

}  // namespace orva::opcua
