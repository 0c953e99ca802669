#include "mqtt/JsonFormat.h"

#include <charconv>
#include <cmath>

#include "mqtt/StatusNames.h"

namespace orva::mqtt {
namespace {

// Length of the UTF-8 sequence starting at text[i], 0 when it is not valid UTF-8.
std::size_t utf8Length(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    char32_t min = 0;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0)
        length = 2, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
        length = 3, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
        length = 4, min = 0x10000;
    else
        return 0;
    if (i + length > text.size()) return 0;
    char32_t code = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

template <class T>
void appendNumber(std::string& out, T value)
{
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) {
            out += "null";
            return;
        }
    }
    char buffer[40];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, error == std::errc() ? end : buffer);
}

void appendScalar(std::string& out, VarType type, const opc::SOCmnVariant& value, std::size_t index,
                  bool isArray)
{
    switch (type) {
        case orva::VT_BOOL:
            out += (isArray ? value.getArrayInt(index) : value.toInt64()) != 0 ? "true" : "false";
            return;
        case orva::VT_R4:
            appendNumber(out, static_cast<float>(isArray ? value.getArrayDouble(index) : value.toDouble()));
            return;
        case orva::VT_R8:
        case orva::VT_DATE:
            appendNumber(out, isArray ? value.getArrayDouble(index) : value.toDouble());
            return;
        case orva::VT_BSTR:
            appendJsonString(out,
                             opc::utf16ToUtf8(isArray ? value.getArrayString(index) : value.getString()));
            return;
        default:
            appendNumber(out, isArray ? value.getArrayInt(index) : value.toInt64());
            return;
    }
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    out += '"';
}

void appendJsonValue(std::string& out, const opc::SOCmnVariant& value)
{
    const VarType type = value.getType();
    if (value.isEmpty()) {
        out += "null";
        return;
    }
    if (!value.isArray()) {
        appendScalar(out, type, value, 0, false);
        return;
    }
    out += '[';
    for (std::size_t i = 0; i < value.getArrayLength(); ++i) {
        if (i != 0) out += ',';
        appendScalar(out, orva::baseType(type), value, i, true);
    }
    out += ']';
}

std::string encodeJsonUpdate(const EdgeModel& model, const PlcUpdate& update)
{
    std::string out = "{\"timestamp\":";
    appendNumber(out, millisecondsSinceEpoch(update.time));
    out += ",\"values\":{";
    bool first = true;
    for (const TagSample& sample : update.samples) {
        if (!first) out += ',';
        first = false;
        appendJsonString(out, model.tags[sample.tag].localId);
        out += ':';
        appendJsonValue(out, sample.value);
    }
    out += "},\"quality\":{";
    first = true;
    for (const TagSample& sample : update.samples) {
        if (isGoodQuality(sample.quality)) continue;
        if (!first) out += ',';
        first = false;
        appendJsonString(out, model.tags[sample.tag].localId);
        out += ':';
        appendJsonString(out, qualityStatusName(sample.quality));
    }
    out += "}}";
    return out;
}

std::string encodeJsonWriteResult(const std::vector<std::pair<std::string, std::string_view>>& results)
{
    std::string out = "{";
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (i != 0) out += ',';
        appendJsonString(out, results[i].first);
        out += ':';
        appendJsonString(out, results[i].second);
    }
    out += '}';
    return out;
}

}  // namespace orva::mqtt
