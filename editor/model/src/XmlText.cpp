#include "XmlText.h"

namespace orva::editor {

std::string Tabs(int n)
{
    return n > 0 ? std::string(static_cast<std::size_t>(n), '\t') : std::string();
}

namespace {

void appendReference(std::string& out, unsigned value)
{
    out += "&#";
    out += std::to_string(value);
    out += ';';
}

std::string escape(std::string_view text, bool attribute)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                if (attribute)
                    out += "&quot;";
                else
                    out += ch;
                break;
            case '\t':
            case '\n':
                if (attribute)
                    appendReference(out, c);
                else
                    out += ch;
                break;
            default:
                if (c < 0x20)
                    appendReference(out, c);
                else
                    out += ch;
        }
    }
    return out;
}

}  // namespace

std::string escapeText(std::string_view text)
{
    return escape(text, false);
}

std::string escapeAttribute(std::string_view text)
{
    return escape(text, true);
}

std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(pos);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = at(pos + i);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

void appendLatin1(std::string& out, std::string_view utf8)
{
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[pos]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++pos;
            continue;
        }
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8(utf8, pos, codePoint);
        if (length == 0) {
            out += static_cast<char>(c);
            ++pos;
        } else {
            if (codePoint <= 0xFF)
                out += static_cast<char>(codePoint);
            else
                appendReference(out, static_cast<unsigned>(codePoint));
            pos += length;
        }
    }
}

}  // namespace orva::editor
