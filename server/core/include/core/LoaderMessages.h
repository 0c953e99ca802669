#pragma once
// The loader's warning texts and captions.

#include <string>
#include <string_view>

#include "config/ServerKind.h"

namespace orva::core::messages {

inline constexpr std::string_view NO_PARSER = "Can't create MSXML::DOMDocument object\n";
inline constexpr std::string_view NO_DEVICES = "Wrong XML file syntax: no devices element\n";
inline constexpr std::string_view NO_S7_INTERFACE = "Wrong XML file syntax: no S7 Interface element\n";
inline constexpr std::string_view NO_SAPI_INTERFACE = "Wrong XML file syntax: no Sapi Interface element\n";
inline constexpr std::string_view NO_SETTINGS = "Wrong XML file syntax: no Settings element\n";

// "OPC S7 TcpIp S7 Server" (Tornel, Vardel) or "OPC S7 MPI Server" (Lorvik, Pennat).
std::string_view caption(config::ServerKind kind);

// Refusals of single elements, in the same style; what is a short description of the element
// ("PLC \"Line1\"", "tag \"Speed\" in Line1.Drives"), reason says why.
std::string skipped(std::string_view what, std::string_view reason);
std::string ignored(std::string_view what, std::string_view reason);
std::string notANumber(std::string_view field, std::string_view text, unsigned long max);
std::string tooLong(std::string_view field, std::string_view text, std::size_t max);
std::string moreSkipped(std::size_t count);
// A value quoted for a message: at most 40 characters shown.
std::string quoted(std::string_view text);

}  // namespace orva::core::messages
