#pragma once
// What every program of the gateway prints for --version, and how it recognises --help and
// --version on its command line (GNU conventions: to standard output, exit status 0).

#include <string>
#include <string_view>

#include "common/Version.h"

namespace orva {

enum class InfoRequest { None, Help, Version };

// The first of --help or --version among the arguments; None when neither is given.
inline InfoRequest infoRequest(int argc, const char* const* argv)
{
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") return InfoRequest::Help;
        if (arg == "--version") return InfoRequest::Version;
    }
    return InfoRequest::None;
}

// "Tornel (Orva gateway) 1.1.0" and the copyright line.
inline std::string versionText(std::string_view program)
{
    std::string text(program);
    text += " (Orva gateway) ";
    text += kReleaseVersion;
    text += "\nCopyright (C) 2026 ORVA Automation\n";
    return text;
}

inline constexpr std::string_view kBugReportLine = "Report bugs to: support@orva-automation.example\n";

}  // namespace orva
