#pragma once
// Where the PLCs of a configuration file are: the file's own addresses (Tornel), or, for a file
// that names connections of a SAPI-S7 interface (Vardel), the addresses of those connections in
// the machine's connection database.
#include <string>
#include <string_view>

#include "config/ServerKind.h"

namespace orva::plcsim {

// The kind of a configuration file by its root element; Tornel when it cannot be told.
orva::config::ServerKind configKind(std::string_view bytes);

// "ADDRESS[:PORT]" of the connection named plcName of the interface, "" when it is not configured.
std::string connectionAddress(const std::string& interfaceName, const std::string& plcName);

}  // namespace orva::plcsim
