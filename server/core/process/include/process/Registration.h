#pragma once
// Registration of a server as an OPC server class in the registry stand-in, the way the
// "-RegServer" and "-UnregServer" command lines ask for it. Three keys below SOFTWARE\Classes:
//
//   CLSID\{clsid}                 @ = description, "LocalServer32" = executable path,
//                                 "ProgID" = ProgID, "VersionIndependentProgID" = that ProgID
//   <ProgID>                      @ = description, "CLSID" = {clsid}
//   <version-independent ProgID>  @ = description, "CLSID" = {clsid}, "CurVer" = ProgID

#include <optional>
#include <string>
#include <string_view>

#include "process/CommandLine.h"
#include "process/LogSink.h"
#include "process/ServerIdentity.h"
#include "registry/Registry.h"

namespace orva::process {

struct RegistrationKeys {
    std::string clsidKey;
    std::string progIdKey;
    std::string versionIndependentProgIdKey;
};

RegistrationKeys registrationKeys(const ServerIdentity& identity);

// Writes all three keys; the first failure, or Ok. Each key's values are written in one atomic
// update; other values already in a key are kept.
registry::Status registerServer(const ServerIdentity& identity, std::string_view executablePath,
                                const registry::Registry& registry);

// Removes the keys. A ProgID key that names another class's CLSID is left alone.
registry::Status unregisterServer(const ServerIdentity& identity, const registry::Registry& registry);

// The "-RegServer" / "-UnregServer" step of start-up: registers or unregisters and gives the exit
// code, 0 (callers such as installers rely on it); a failure is written to the log. Nothing for
// any other command line: the server starts.
std::optional<int> runRegistrationCommand(const CommandLineOptions& options, const ServerIdentity& identity,
                                          std::string_view executablePath, const registry::Registry& registry,
                                          LogSink& log);

}  // namespace orva::process
