#pragma once
// Number arguments of plcsim's command line: decimal or 0x-hexadecimal, bounded.
#include <charconv>
#include <string_view>

namespace orva::plcsim {

inline bool parseNumber(std::string_view text, unsigned long long max, unsigned long long& value)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc{} && end == text.data() + text.size() && !text.empty() && value <= max;
}

// "A:B".
inline bool parsePair(std::string_view text, unsigned long long maxFirst, unsigned long long maxSecond,
                      unsigned long long& first, unsigned long long& second)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    return parseNumber(text.substr(0, colon), maxFirst, first) &&
           parseNumber(text.substr(colon + 1), maxSecond, second);
}

}  // namespace orva::plcsim
