#include "opcua/NumericRange.h"

#include <algorithm>
#include <limits>

namespace orva::opcua {
namespace {

// Bytes of the character starting at text[0]: a lead byte with the continuation bytes it announces
// (as far as they are there); any other byte stands alone.
size_t characterLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    const size_t announced = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    size_t length = 1;
    while (length <= announced && length < text.size() &&
           (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        ++length;
    return length;
}

// Byte offset of character `index`, or text.size() when the text has fewer characters.
size_t offsetOfCharacter(std::string_view text, size_t index)
{
    size_t offset = 0;
    for (size_t n = 0; n < index && offset < text.size(); ++n)
        offset += characterLength(text.substr(offset));
    return offset;
}

bool parseIndex(std::string_view digits, uint32_t& out)
{
    if (digits.empty()) return false;
    uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > std::numeric_limits<uint32_t>::max()) return false;
    }
    out = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

size_t characterCount(std::string_view text)
{
    size_t count = 0;
    for (size_t offset = 0; offset < text.size(); offset += characterLength(text.substr(offset)))
        ++count;
    return count;
}

StatusCode parseNumericRange(std::string_view text, NumericRange& out)
{
    out.dimensions.clear();
    if (text.empty()) return status::Good;
    constexpr size_t kMaxDimensions = 32;  // far beyond any array a server holds
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        NumericRange::Bounds b;
        const size_t colon = part.find(':');
        if (colon == std::string_view::npos) {
            if (!parseIndex(part, b.first)) return status::BadIndexRangeInvalid;
            b.last = b.first;
        } else if (!parseIndex(part.substr(0, colon), b.first) ||
                   !parseIndex(part.substr(colon + 1), b.last) || b.first >= b.last) {
            return status::BadIndexRangeInvalid;
        }
        if (out.dimensions.size() == kMaxDimensions) return status::BadIndexRangeInvalid;
        out.dimensions.push_back(b);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return status::Good;
}

StatusCode applyRange(const NumericRange& range, Variant& value)
{
    if (!range.isSet()) return status::Good;
    if (range.dimensions.size() != 1) return status::BadIndexRangeNoData;
    const NumericRange::Bounds b = range.dimensions[0];
    if (value.isArray && value.dimensions.size() <= 1) {
        if (b.first >= value.array.size()) return status::BadIndexRangeNoData;
        const size_t end = std::min<size_t>(value.array.size(), size_t{b.last} + 1);
        std::vector<Scalar> cut(std::make_move_iterator(value.array.begin() + b.first),
                                std::make_move_iterator(value.array.begin() + static_cast<ptrdiff_t>(end)));
        value.array = std::move(cut);
        value.dimensions.clear();
        return status::Good;
    }
    if (!value.isArray && (value.type == BuiltinType::String || value.type == BuiltinType::ByteString)) {
        auto* text = std::get_if<std::string>(&value.scalar);
        if (text == nullptr) return status::BadIndexRangeNoData;
        // A ByteString counts bytes, a String characters.
        const bool bytes = value.type == BuiltinType::ByteString;
        const size_t begin = bytes ? b.first : offsetOfCharacter(*text, b.first);
        if (begin >= text->size()) return status::BadIndexRangeNoData;
        const size_t length = size_t{b.last} - b.first + 1;
        const size_t end = bytes ? std::min(text->size(), begin + length)
                                 : begin + offsetOfCharacter(std::string_view(*text).substr(begin), length);
        *text = text->substr(begin, std::min(end, text->size()) - begin);
        return status::Good;
    }
    return status::BadIndexRangeNoData;
}

StatusCode checkRangedWrite(const NumericRange& range, const Variant& value)
{
    if (range.dimensions.size() != 1) return status::BadIndexRangeNoData;
    if (value.isArray) {
        if (!value.dimensions.empty() && value.dimensions.size() != 1)
            return status::BadIndexRangeDataMismatch;
        return value.array.size() == range.count() ? status::Good : status::BadIndexRangeDataMismatch;
    }
    if (value.type == BuiltinType::String) {
        const auto* text = std::get_if<std::string>(&value.scalar);
        const size_t n = text == nullptr ? 0 : characterCount(*text);
        return n == range.count() ? status::Good : status::BadIndexRangeDataMismatch;
    }
    return status::BadIndexRangeDataMismatch;
}

}  // namespace orva::opcua
