#pragma once
// The server's command line: register, unregister, started by the OPC client machinery
// ("embedded") or ctt mode. Everything after the program name is one string; it counts only when
// it starts with '-' or '/' and the rest matches one keyword exactly, ignoring case.

#include <string>
#include <string_view>

namespace orva::process {

enum class CommandLineAction { Run, Register, Unregister };

struct CommandLineOptions {
    CommandLineAction action = CommandLineAction::Run;
    bool embeddedStart = false;  // -Embedding / -Embedded: close when the last client leaves
    bool cttMode = false;        // -ctt
};

// The numeric setting the toolkit entry gets at start: 1000 in ctt mode, else 50.
constexpr int toolkitEntrySetting(const CommandLineOptions& options)
{
    return options.cttMode ? 1000 : 50;
}

// argv[1..] joined with single spaces: the command line as one string.
std::string joinCommandLine(int argc, const char* const* argv);

CommandLineOptions parseCommandLine(std::string_view commandLine);

}  // namespace orva::process
