#include "process/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace orva::process {
namespace {

std::string upperCase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return out;
}

}  // namespace

std::string joinCommandLine(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr) break;
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

CommandLineOptions parseCommandLine(std::string_view commandLine)
{
    CommandLineOptions options;
    const std::size_t first = commandLine.find_first_not_of(" \t");
    if (first == std::string_view::npos) return options;
    const char lead = commandLine[first];
    if (lead != '-' && lead != '/') return options;

    // The whole rest is one word: "-RegServer x" or "-ctt -Embedding" match nothing.
    const std::string rest = upperCase(commandLine.substr(first + 1));
    if (rest == "REGSERVER")
        options.action = CommandLineAction::Register;
    else if (rest == "UNREGSERVER")
        options.action = CommandLineAction::Unregister;
    else if (rest == "EMBEDDING" || rest == "EMBEDDED")
        options.embeddedStart = true;
    if (rest == "CTT") options.cttMode = true;
    return options;
}

}  // namespace orva::process
