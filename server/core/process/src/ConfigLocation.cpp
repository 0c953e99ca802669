#include "process/ConfigLocation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orva::process {
namespace {

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// A file the loader can read: it opens for reading and is not a folder.
bool readableFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return ok;
}

}  // namespace

std::string configPathBesideExecutable(std::string_view executablePath)
{
    if (executablePath.empty()) return {};
    std::string path(executablePath);
    // Only the extension goes: a folder named "x.exe.d" stays as it is.
    if (endsWith(path, ".exe"))
        path.resize(path.size() - 4);
    else if (endsWith(path, ".EXE"))
        path.resize(path.size() - 4);
    return path + ".xml";
}

ConfigLocation locateConfiguration(const ServerIdentity& identity, std::string_view executablePath,
                                   const registry::Registry& registry, OwnerWindow& owner)
{
    const std::string beside = configPathBesideExecutable(executablePath);
    if (!beside.empty() && readableFile(beside)) return {ConfigSource::BesideExecutable, beside};

    std::string configured;
    const registry::Status status =
        registry.readString(identity.registryKey, kConfigFileValueName, configured);
    if (status == registry::Status::Ok && !configured.empty()) return {ConfigSource::Registry, configured};

    // No key, or a key without a usable value: nothing names a configuration.
    ConfigLocation none;
    if (status != registry::Status::Ok && status != registry::Status::KeyNotFound &&
        status != registry::Status::ValueNotFound)
        none.registryProblem = std::string(identity.registryKey) + "\\" + std::string(kConfigFileValueName) +
                               ": " + std::string(registry::statusText(status));
    owner.showWarning(identity.configWarningTitle, kConfigNotLoadedMessage);
    return none;
}

}  // namespace orva::process
