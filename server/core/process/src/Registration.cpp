#include "process/Registration.h"

#include <vector>

namespace orva::process {
namespace {

using registry::KeyValue;
using registry::Status;

constexpr std::string_view kClassesKey = "SOFTWARE\\Classes\\";

Status writeKey(const registry::Registry& registry, const std::string& keyPath,
                const std::vector<KeyValue>& values)
{
    registry::RegistryKey key;
    if (const Status s = registry.createKey(keyPath, key); s != Status::Ok) return s;
    return key.writeStrings(values);
}

// Deletes a ProgID key unless it now belongs to another class.
Status deleteProgIdKey(const registry::Registry& registry, const std::string& keyPath, std::string_view clsid)
{
    std::string owner;
    if (registry.readString(keyPath, "CLSID", owner) == Status::Ok && !registry::namesEqual(owner, clsid))
        return Status::Ok;
    return registry.deleteKey(keyPath);
}

Status firstFailure(std::initializer_list<Status> results)
{
    for (const Status s : results)
        if (s != Status::Ok) return s;
    return Status::Ok;
}

}  // namespace

RegistrationKeys registrationKeys(const ServerIdentity& identity)
{
    const std::string classes(kClassesKey);
    return RegistrationKeys{classes + "CLSID\\" + std::string(identity.clsid),
                            classes + std::string(identity.progId),
                            classes + std::string(identity.versionIndependentProgId)};
}

Status registerServer(const ServerIdentity& identity, std::string_view executablePath,
                      const registry::Registry& registry)
{
    const RegistrationKeys keys = registrationKeys(identity);
    const std::string description(identity.description);
    const std::string clsid(identity.clsid);
    const std::string progId(identity.progId);
    const Status clsidResult =
        writeKey(registry, keys.clsidKey,
                 {{"", description},
                  {"LocalServer32", std::string(executablePath)},
                  {"ProgID", progId},
                  {"VersionIndependentProgID", std::string(identity.versionIndependentProgId)}});
    const Status progIdResult = writeKey(registry, keys.progIdKey, {{"", description}, {"CLSID", clsid}});
    const Status independentResult = writeKey(registry, keys.versionIndependentProgIdKey,
                                              {{"", description}, {"CLSID", clsid}, {"CurVer", progId}});
    return firstFailure({clsidResult, progIdResult, independentResult});
}

Status unregisterServer(const ServerIdentity& identity, const registry::Registry& registry)
{
    const RegistrationKeys keys = registrationKeys(identity);
    const Status clsidResult = registry.deleteKey(keys.clsidKey);
    const Status progIdResult = deleteProgIdKey(registry, keys.progIdKey, identity.clsid);
    const Status independentResult =
        deleteProgIdKey(registry, keys.versionIndependentProgIdKey, identity.clsid);
    return firstFailure({clsidResult, progIdResult, independentResult});
}

std::optional<int> runRegistrationCommand(const CommandLineOptions& options, const ServerIdentity& identity,
                                          std::string_view executablePath, const registry::Registry& registry,
                                          LogSink& log)
{
    if (options.action == CommandLineAction::Run) return std::nullopt;
    const bool registering = options.action == CommandLineAction::Register;
    const Status result = registering ? registerServer(identity, executablePath, registry)
                                      : unregisterServer(identity, registry);
    if (result != Status::Ok) {
        log.log(LogPriority::Error, std::string(registering ? "registration" : "unregistration") +
                                        " failed in " + registry.root().string() + ": " +
                                        std::string(registry::statusText(result)));
    }
    return 0;
}

}  // namespace orva::process
