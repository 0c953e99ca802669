#include "process/StatusSnapshot.h"

#include <cstdio>

#include "opc/Quality.h"

namespace orva::process {
namespace {

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

// The value as an integer of the tag's width; an empty value reads as 0.
std::int64_t integerOf(const SnapshotValue& value)
{
    return std::visit(
        Overloaded{[](std::monostate) -> std::int64_t { return 0; },
                   [](bool b) -> std::int64_t { return b ? 1 : 0; }, [](std::int64_t i) { return i; },
                   [](std::uint64_t u) { return static_cast<std::int64_t>(u); },
                   [](double d) { return static_cast<std::int64_t>(d); },
                   [](const std::u16string&) -> std::int64_t { return 0; }},
        value);
}

double realOf(const SnapshotValue& value)
{
    if (const auto* d = std::get_if<double>(&value)) return *d;
    return static_cast<double>(integerOf(value));
}

std::string printf1(const char* format, auto argument)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, argument);
    return buffer;
}

}  // namespace

const PlcSnapshot* StatusSnapshot::findPlc(ObjectId id) const
{
    for (const auto& plc : plcs)
        if (plc.id == id) return &plc;
    return nullptr;
}

const BlockSnapshot* StatusSnapshot::findBlock(ObjectId plcId, ObjectId blockId) const
{
    const PlcSnapshot* plc = findPlc(plcId);
    if (plc == nullptr) return nullptr;
    for (const auto& block : plc->blocks)
        if (block.id == blockId) return &block;
    return nullptr;
}

std::string blockLabel(const BlockSnapshot& block)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "DB%d-DBB%d-LEN%d", static_cast<int>(block.dataBlock),
                  static_cast<int>(block.startByte), static_cast<int>(block.length));
    return buffer;
}

std::string valueDisplayText(const TagSnapshot& tag)
{
    const SnapshotValue& v = tag.value;
    switch (tag.type) {
        case VT_I2:
            return printf1("%d", static_cast<int>(static_cast<std::int16_t>(integerOf(v))));
        case VT_I4:
            return printf1("%ld", static_cast<long>(static_cast<std::int32_t>(integerOf(v))));
        case VT_R4:
            return printf1("%f", static_cast<double>(static_cast<float>(realOf(v))));
        case VT_BOOL:
            return integerOf(v) != 0 ? "TRUE" : "FALSE";
        case VT_I1:
            return printf1("%d", static_cast<int>(static_cast<std::int8_t>(integerOf(v))));
        case VT_UI1:
            return printf1("%d", static_cast<int>(static_cast<std::uint8_t>(integerOf(v))));
        case VT_UI2:
            return printf1("%d", static_cast<int>(static_cast<std::uint16_t>(integerOf(v))));
        case VT_UI4:
            return printf1("%lu", static_cast<unsigned long>(static_cast<std::uint32_t>(integerOf(v))));
        case VT_BSTR: {
            // The configured number of characters, each narrowed to its low byte; a zero ends it.
            std::string text;
            if (const auto* s = std::get_if<std::u16string>(&v)) {
                for (std::size_t i = 0; i < s->size() && i < tag.elements; ++i) {
                    const char byte = static_cast<char>((*s)[i] & 0xFF);
                    if (byte == '\0') break;
                    text += byte;
                }
            }
            return text;
        }
        default:
            return "[..]";
    }
}

std::string qualityText(std::uint16_t quality)
{
    return opc::quality2string(quality, 0x800).str();
}

}  // namespace orva::process
