#pragma once
// The machine-wide folders of an installed gateway: settings in /etc/orva (the registry's root
// lives there too), state in /var/lib/orva. Tests and users without root rights move them with
// ORVA_CONFIG_DIR and ORVA_STATE_DIR.

#include <string>
#include <string_view>

namespace orva::process {

inline constexpr std::string_view kDefaultConfigFolder = "/etc/orva";
inline constexpr std::string_view kDefaultStateFolder = "/var/lib/orva";

// ORVA_CONFIG_DIR when set and not empty, else /etc/orva.
std::string configFolder();
// ORVA_STATE_DIR when set and not empty, else /var/lib/orva.
std::string stateFolder();

// Where a server keeps a data file of its access library ("Tornel.dat"): beside the executable
// when the server may write there, else in the state folder. Programs installed under /usr
// belong to the package manager, so their folder is never used even when root could write it.
// When neither folder is writable the file stays beside the executable (the library copes); the
// bare name when the executable's path is unknown.
std::string dataFilePath(std::string_view fileName, std::string_view executablePath,
                         std::string_view stateFolder);

}  // namespace orva::process
