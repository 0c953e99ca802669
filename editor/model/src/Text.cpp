#include "editor/Text.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "editor/Errors.h"

namespace orva::editor {

std::string upperText(std::string_view text)
{
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // U+00E0..U+00FE (but not U+00F7, the division sign) map to U+00C0..U+00DE.
            const auto d = static_cast<unsigned char>(out[i + 1]);
            if (d >= 0xA0 && d <= 0xBE && d != 0xB7) out[i + 1] = static_cast<char>(d - 0x20);
            ++i;
        }
    }
    return out;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && upperText(a) == upperText(b);
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string trimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

double leadingNumber(std::string_view text)
{
    std::string clean;
    std::size_t i = 0;
    auto skip = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    auto digits = [&] {
        bool any = false;
        for (skip(); i < text.size() && isDigit(text[i]); skip()) {
            clean += text[i++];
            any = true;
        }
        return any;
    };
    skip();
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) clean += text[i++];
    bool mantissa = digits();
    skip();
    if (i < text.size() && text[i] == '.') {
        clean += text[i++];
        mantissa = digits() || mantissa;
    }
    if (!mantissa) return 0.0;
    skip();
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::string exponent = "e";
        std::size_t j = i + 1;
        while (j < text.size() && isBlank(text[j]))
            ++j;
        if (j < text.size() && (text[j] == '-' || text[j] == '+')) exponent += text[j++];
        bool any = false;
        while (j < text.size() && (isDigit(text[j]) || isBlank(text[j]))) {
            if (isDigit(text[j])) {
                exponent += text[j];
                any = true;
            }
            ++j;
        }
        if (any) clean += exponent;
    }
    return std::strtod(clean.c_str(), nullptr);
}

bool isNumeric(std::string_view text)
{
    std::size_t i = 0;
    std::size_t end = text.size();
    while (i < end && text[i] == ' ')
        ++i;
    while (end > i && text[end - 1] == ' ')
        --end;
    if (i == end) return false;
    if (text[i] == '-' || text[i] == '+') ++i;
    bool mantissa = false;
    while (i < end && isDigit(text[i])) {
        ++i;
        mantissa = true;
    }
    if (i < end && text[i] == '.') {
        ++i;
        while (i < end && isDigit(text[i])) {
            ++i;
            mantissa = true;
        }
    }
    if (!mantissa) return false;
    if (i < end && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        ++i;
        if (i < end && (text[i] == '-' || text[i] == '+')) ++i;
        bool exponent = false;
        while (i < end && isDigit(text[i])) {
            ++i;
            exponent = true;
        }
        if (!exponent) return false;
    }
    return i == end;
}

int64_t roundInRange(double value, int64_t lo, int64_t hi)
{
    if (!std::isfinite(value)) raise(ErrorCode::Overflow);
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(saved);
    if (rounded < static_cast<double>(lo) || rounded > static_cast<double>(hi)) raise(ErrorCode::Overflow);
    return static_cast<int64_t>(rounded);
}

std::string zeroPadded(int64_t value, int width)
{
    const bool negative = value < 0;
    std::string digits = std::to_string(negative ? -value : value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
    return negative ? "-" + digits : digits;
}

}  // namespace orva::editor
