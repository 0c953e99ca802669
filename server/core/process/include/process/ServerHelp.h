#pragma once
// The text a server prints for --help.

#include <string>

#include "process/ServerIdentity.h"

namespace orva::process {

std::string serverUsage(const ServerIdentity& identity);

}  // namespace orva::process
