#pragma once
// Loads a server's configuration file once at start-up: the PLC list, the address space below
// the namespace root (one branch per PLC name, nested branches, tags) and the kind's transport
// settings. Problems are shown through the owner window as warnings; elements that the data
// model cannot hold (bad numbers, over-long texts, missing names or addresses, duplicate tag
// names) are skipped with a warning each, and the rest of the file is loaded.

#include <filesystem>
#include <memory>
#include <string_view>

#include "config/ServerKind.h"
#include "core/CoreQueues.h"
#include "core/OwnerWindow.h"
#include "core/PlcList.h"
#include "core/TransportSettings.h"
#include "opc/SODaSNode.h"

namespace orva::core {

struct LoadContext {
    config::ServerKind kind;
    PlcList& plcList;
    std::shared_ptr<CoreQueues> queues;
    OwnerWindow& owner;
    TransportSettings* transport = nullptr;  // may be null: settings are then read and dropped
};

// False after one of the file-structure warnings; true otherwise, also for a missing,
// unreadable or malformed file and a file of another kind (they configure nothing, silently).
bool loadConfiguration(const LoadContext& context, const std::filesystem::path& path,
                       opc::SODaSNameSpaceRoot& root);
// The same for the file's bytes.
bool loadConfigurationFromMemory(const LoadContext& context, std::string_view bytes,
                                 opc::SODaSNameSpaceRoot& root);

// Gives the root the delimiter "." and empties its list of refused characters, so that names
// may hold any character.
void configureNameSpaceRoot(opc::SODaSNameSpaceRoot& root);

}  // namespace orva::core
