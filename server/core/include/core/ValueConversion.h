#pragma once
// Between the big-endian, bit-addressed bytes of a PLC data block and the values of the tags'
// caches: the byte length of a tag, the bytes a write carries, reading bytes into a value and
// placing a write value into bytes. Every function stays inside the spans it is given.

#include <cstddef>
#include <cstdint>
#include <span>

#include "opc/SOCmnVariant.h"
#include "opc/SODaSRequest.h"

namespace orva::core {

class S7Tag;

// Where a tag's value lies: what the conversions need of a tag.
struct TagLayout {
    VarType type = VT_EMPTY;  // native data type
    uint16_t dataBit = 0;
    uint16_t elements = 0;
};

TagLayout layoutOf(const S7Tag& tag);

// Bytes the tag covers in its data block; 0 for a type that is never read (such a tag joins no
// block), and for a single bit whose number is beyond the byte.
std::size_t tagByteLength(const TagLayout& layout);
std::size_t tagByteLength(const S7Tag& tag);

// Bytes that a write of value to the tag writes: by the tag's type, with the value's own length
// for strings and arrays; 0 when the value does not fit the type (nothing can be written).
std::size_t writeValueSize(const TagLayout& layout, const opc::SOCmnVariant& value);

// Whether a write may go to a tag at all. A write never reaches past the tag's bytes and never
// changes its shape: a string longer than the tag is refused (OPC_E_RANGE), an array of another
// length than the tag's (or than its range) too (OPC_E_BADTYPE); a range outside the tag, or on
// a tag that has no elements, is E_INVALIDARG. S_OK otherwise.
opc::HRESULT admitWrite(const TagLayout& tag, const opc::SOCmnVariant& value, opc::SOElementRange range);

// What a write replaces: its first byte in the data block and the layout of the replaced part
// (the whole tag, or `range.count` elements from `range.first`). Assumes an admitted write.
struct WriteTarget {
    uint32_t dataByte = 0;
    TagLayout layout;
};
WriteTarget writeTarget(const S7Tag& tag, opc::SOElementRange range);

// Bytes from the PLC into value. value keeps its type when it already has the tag's type (arrays
// are resized to `elements`); otherwise it becomes a value of that type. False when the bytes are
// fewer than the tag's byte length or the type is not supported (value untouched).
bool bytesToValue(const TagLayout& layout, std::span<const uint8_t> bytes, opc::SOCmnVariant& value);

// Stores the bytes' value in the tag's cache with quality GOOD. A tag that has not been read yet
// gets a value of its native type first. Nothing happens when the bytes are too few.
void bytesToCache(S7Tag& tag, std::span<const uint8_t> bytes);

// Places a write value at the start of destination (which runs to the end of the write block).
// Bits outside the value's bits are left as they are; a string first clears its `elements`
// bytes, so a shorter string is written padded with zero bytes. Bytes beyond destination are
// never touched.
void valueToBytes(const TagLayout& layout, const opc::SOCmnVariant& value, std::span<uint8_t> destination);

// Error code of the access library to the OPC quality that the tags concerned get.
uint16_t qualityFromError(int code);

}  // namespace orva::core
