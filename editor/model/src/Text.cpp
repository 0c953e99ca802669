#include "editor/Text.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "editor/Errors.h"

namespace orva::editor {

namespace {

// Walks a UTF-8 text byte by byte, giving each byte in upper case: ASCII letters, and the second
// byte of the Latin-1 letters U+00E0..U+00FE (but not U+00F7, the division sign).
class UpperBytes {
public:
    explicit UpperBytes(std::string_view text) : text_(text) {}
    bool done() const { return pos_ >= text_.size(); }
    char next()
    {
        const auto c = static_cast<unsigned char>(text_[pos_++]);
        if (continuation_) {
            continuation_ = false;
            return static_cast<char>(c >= 0xA0 && c <= 0xBE && c != 0xB7 ? c - 0x20 : c);
        }
        if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
        if (c == 0xC3 && pos_ < text_.size()) continuation_ = true;
        return static_cast<char>(c);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    bool continuation_ = false;
};

}  // namespace

std::string upperText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (UpperBytes bytes(text); !bytes.done();)
        out += bytes.next();
    return out;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    UpperBytes x(a), y(b);
    while (!x.done())
        if (x.next() != y.next()) return false;
    return true;
}

std::size_t NoCaseHash::operator()(std::string_view text) const
{
    uint64_t hash = 14695981039346656037ull;
    for (UpperBytes bytes(text); !bytes.done();) {
        hash ^= static_cast<unsigned char>(bytes.next());
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
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
