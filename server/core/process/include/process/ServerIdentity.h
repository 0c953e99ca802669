#pragma once
// The constants that tell the four servers apart: their OPC class identity, the texts of their
// windows and message boxes, their registry key and their OPC UA port.

#include <cstdint>
#include <string>
#include <string_view>

#include "config/ServerKind.h"

namespace orva::process {

struct ServerIdentity {
    config::ServerKind kind;
    std::string_view name;   // "Tornel": also the executable's name
    std::string_view clsid;  // with braces
    std::string_view progId;
    std::string_view versionIndependentProgId;
    std::string_view description;
    std::string_view vendorTextStart;  // followed by the maker's line in vendorText()
    std::string_view windowTitle;
    std::string_view registryKey;  // below HKEY_LOCAL_MACHINE
    std::string_view configWarningTitle;
    std::string_view noPlcMessage;
    std::string_view noPlcTitle;
    std::string_view aboutTitle;
    std::string_view aboutProductLine;
    std::string_view statusGroupCaption;  // group box of the communication-status dialog
    std::uint16_t versionMajor;
    std::uint16_t versionMinor;
    std::uint16_t versionBuild;
    std::uint16_t defaultOpcUaPort;
};

const ServerIdentity& serverIdentity(config::ServerKind kind);

// The maker, as the vendor text and the About dialog name it.
inline constexpr std::string_view kMakerName = "ORVA Automation";
inline constexpr std::string_view kMakerContact = "support@orva-automation.example";

// The vendor text handed to the OPC toolkit: the identity's start and the maker's line.
std::string vendorText(const ServerIdentity& identity);

// Shown when neither the file beside the executable nor the registry names a configuration.
inline constexpr std::string_view kConfigNotLoadedMessage = "The configuration file couldn't be loaded !";

// The registry value that names the configuration file.
inline constexpr std::string_view kConfigFileValueName = "ConfigFile";

}  // namespace orva::process
