#pragma once
// Where the server's configuration file is: a file named like the executable with ".xml" beside
// it wins; otherwise the "ConfigFile" value of the server's registry key names it; an installed
// server without either takes "<Server>.xml" from the machine's settings folder (/etc/orva).

#include <string>
#include <string_view>

#include "process/OwnerWindow.h"
#include "process/ServerIdentity.h"
#include "registry/Registry.h"

namespace orva::process {

enum class ConfigSource {
    BesideExecutable,  // <executable>.xml
    Registry,          // the key's "ConfigFile" value
    ConfigFolder,      // <config folder>/<Server>.xml
    None,              // nothing to load; the configuration warning has been shown
};

struct ConfigLocation {
    ConfigSource source = ConfigSource::None;
    std::string path;  // what to hand to the loader; empty for None
    // Why the registry value could not be read, when the registry itself failed (access denied,
    // corrupt key file, I/O error); empty when the key or value simply does not exist.
    std::string registryProblem;
};

// The executable's path with a final ".exe" (else ".EXE") removed and ".xml" appended;
// empty when the executable's path is unknown.
std::string configPathBesideExecutable(std::string_view executablePath);

// Decides which file to load. When neither the file beside the executable, nor a registry value,
// nor a readable "<Server>.xml" in configFolder names one, shows "The configuration file couldn't be loaded
// !" under the server's configuration-warning title, owned by the given window, and returns
// ConfigSource::None.
ConfigLocation locateConfiguration(const ServerIdentity& identity, std::string_view executablePath,
                                   const registry::Registry& registry, OwnerWindow& owner,
                                   std::string_view configFolder);

}  // namespace orva::process
