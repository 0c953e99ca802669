// PLC bytes into tag values and values back into bytes, for any type, bit and element count:
// the conversions must stay inside the spans they are given, whatever the PLC answered.
// Input: type selector, bit, elements (2 bytes, big-endian), then the PLC's bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/ValueConversion.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;

namespace {

const VarType kTypes[] = {VT_BOOL,
                          VT_I1,
                          VT_UI1,
                          VT_I2,
                          VT_UI2,
                          VT_I4,
                          VT_UI4,
                          VT_R4,
                          VT_BSTR,
                          VT_R8,
                          VT_ARRAY | VT_BOOL,
                          VT_ARRAY | VT_I1,
                          VT_ARRAY | VT_UI1,
                          VT_ARRAY | VT_I2,
                          VT_ARRAY | VT_UI2,
                          VT_ARRAY | VT_I4,
                          VT_ARRAY | VT_UI4,
                          VT_ARRAY | VT_R4,
                          VT_ARRAY | VT_R8};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    TagLayout layout;
    layout.type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    layout.dataBit = data[1] % 16;
    layout.elements = static_cast<uint16_t>(((data[2] << 8) | data[3]) % 512);
    const std::span<const uint8_t> bytes(data + 4, size - 4);

    SOCmnVariant value;
    if (bytesToValue(layout, bytes, value)) {
        // Back into a destination of any size: shorter, exact or longer than the tag.
        for (std::size_t n : {std::size_t{0}, bytes.size() / 2, bytes.size(), bytes.size() + 3}) {
            std::vector<uint8_t> out(n, 0xAA);
            valueToBytes(layout, value, out);
        }
        (void)writeValueSize(layout, value);
        (void)admitWrite(layout, value, {});
        (void)admitWrite(layout, value, {data[1], data[2]});
    }
    // A write value of another shape than the tag's type.
    SOCmnVariant other;
    other.setString(u"xyz");
    std::vector<uint8_t> out(bytes.size(), 0);
    valueToBytes(layout, other, out);
    (void)writeValueSize(layout, other);
    return 0;
}
