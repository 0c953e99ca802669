#include "process/SystemFolders.h"

#include <unistd.h>

#include <cstdlib>

namespace orva::process {
namespace {

std::string fromEnvironment(const char* name, std::string_view fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? std::string(value) : std::string(fallback);
}

bool writableFolder(const std::string& folder)
{
    return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool packageManagerFolder(std::string_view folder)
{
    return folder.starts_with("/usr/") || folder == "/bin/" || folder == "/sbin/";
}

std::string joined(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    if (!path.empty() && path.back() != '/') path += '/';
    return path + std::string(name);
}

}  // namespace

std::string configFolder()
{
    return fromEnvironment("ORVA_CONFIG_DIR", kDefaultConfigFolder);
}

std::string stateFolder()
{
    return fromEnvironment("ORVA_STATE_DIR", kDefaultStateFolder);
}

std::string dataFilePath(std::string_view fileName, std::string_view executablePath, std::string_view state)
{
    const std::size_t slash = executablePath.find_last_of('/');
    const std::string beside =
        slash == std::string_view::npos ? std::string() : std::string(executablePath.substr(0, slash + 1));
    if (writableFolder(beside) && !packageManagerFolder(beside)) return beside + std::string(fileName);
    if (writableFolder(std::string(state))) return joined(state, fileName);
    return beside.empty() ? std::string(fileName) : beside + std::string(fileName);
}

}  // namespace orva::process
