#pragma once
// plcsim's command line: --help, -h and --version, and number arguments (decimal or
// 0x-hexadecimal, bounded).
#include <charconv>
#include <cstdio>
#include <string_view>

#include "common/ProgramInfo.h"

namespace orva::plcsim {

// Prints the usage for --help or -h, or the version for --version, whichever comes first, and says
// whether it did: the program then ends with status 0.
inline bool printedProgramInfo(int argc, const char* const* argv, const char* usage)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return true;
        }
        if (arg == "--version") {
            std::fputs(versionText("plcsim").c_str(), stdout);
            return true;
        }
    }
    return false;
}

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
