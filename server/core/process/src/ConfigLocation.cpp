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
                                   const registry::Registry& registry, OwnerWindow& owner,
                                   std::string_view configFolder)
{
    const std::string beside = configPathBesideExecutable(executablePath);
    if (!beside.empty() && readableFile(beside)) return {ConfigSource::BesideExecutable, beside};

    std::string configured;
    const registry::Status status =
        registry.readString(identity.registryKey, kConfigFileValueName, configured);
    if (status == registry::Status::Ok && !configured.empty()) return {ConfigSource::Registry, configured};

    // The registry failing (rather than lacking the value) is worth a line in the log.
    std::string registryProblem;
    if (status != registry::Status::Ok && status != registry::Status::KeyNotFound &&
        status != registry::Status::ValueNotFound)
        registryProblem = std::string(identity.registryKey) + "\\" + std::string(kConfigFileValueName) +
                          ": " + std::string(registry::statusText(status));

    if (!configFolder.empty()) {
        std::string installed(configFolder);
        if (installed.back() != '/') installed += '/';
        installed += std::string(identity.name) + ".xml";
        if (readableFile(installed)) return {ConfigSource::ConfigFolder, installed, registryProblem};
    }

    // Nothing names a configuration.
    owner.showWarning(identity.configWarningTitle, kConfigNotLoadedMessage);
    return {ConfigSource::None, {}, registryProblem};
}

}  // namespace orva::process
