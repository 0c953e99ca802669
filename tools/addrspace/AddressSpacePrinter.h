#pragma once
// Text views of a loaded configuration: the PLC list and the address space as an indented tree.

#include <string>

#include "config/ServerKind.h"
#include "core/PlcList.h"
#include "opc/SODaSNode.h"

namespace orva::tools {

std::string describePlcs(config::ServerKind kind, const core::PlcList& plcs);
// One line per element: two spaces per level; leaves with item ID, type, rights, description.
std::string describeAddressSpace(const opc::SODaSNameSpaceRoot& root);

}  // namespace orva::tools
