// orva-admin: users, certificates and the endpoint of one of the gateway's servers.
//
//   orva-admin --server NAME user add USER --role read|write
//   orva-admin --server NAME user passwd USER
//   orva-admin --server NAME user remove USER
//   orva-admin --server NAME user list
//   orva-admin --server NAME pki list
//   orva-admin --server NAME pki trust THUMBPRINT
//   orva-admin --server NAME pki reject THUMBPRINT
//   orva-admin --server NAME endpoint
//
// The server's registry key (ORVA_REGISTRY_ROOT moves the registry) names its users file and
// certificate folder. Passwords come from a prompt or standard input, never from the arguments.

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Password.h"
#include "config/ServerKind.h"
#include "crypto/Pki.h"
#include "crypto/SecurityPolicy.h"
#include "crypto/Users.h"
#include "process/EndpointSettings.h"
#include "process/SecuritySettings.h"
#include "process/ServerIdentity.h"
#include "registry/Registry.h"

namespace {

using orva::process::ServerIdentity;

constexpr const char* kUsage =
    "usage: orva-admin --server NAME user add USER --role read|write\n"
    "       orva-admin --server NAME user passwd USER\n"
    "       orva-admin --server NAME user remove USER\n"
    "       orva-admin --server NAME user list\n"
    "       orva-admin --server NAME pki list\n"
    "       orva-admin --server NAME pki trust THUMBPRINT\n"
    "       orva-admin --server NAME pki reject THUMBPRINT\n"
    "       orva-admin --server NAME endpoint\n"
    "NAME is Tornel, Vardel, Lorvik or Pennat.\n";

int fail(const std::string& message)
{
    std::cerr << "orva-admin: " << message << '\n';
    return 1;
}

int usage()
{
    std::cerr << kUsage;
    return 2;
}

int userCommand(const orva::opcua::UserStore& store, const std::vector<std::string>& args)
{
    std::vector<orva::opcua::UserEntry> users;
    std::string error;
    if (!store.load(users, error)) return fail(error);
    const std::string& verb = args[0];
    if (verb == "list" && args.size() == 1) {
        for (const auto& u : users)
            std::cout << u.name << ' ' << orva::opcua::accessName(u.role) << '\n';
        return 0;
    }
    if (args.size() < 2) return usage();
    const std::string& name = args[1];
    auto found = std::find_if(users.begin(), users.end(), [&](const auto& u) { return u.name == name; });
    if (verb == "add") {
        if (args.size() != 4 || args[2] != "--role") return usage();
        const auto role = orva::opcua::accessByName(args[3]);
        if (!role || *role == orva::opcua::Access::None)
            return fail("the role is read or write, not \"" + args[3] + "\"");
        if (!orva::opcua::validUserName(name))
            return fail("a user name has 1 to 64 characters, no spaces and no ':'");
        if (found != users.end()) return fail("user " + name + " exists (user passwd changes the password)");
        const auto password = orva::admin::readNewPassword(error);
        if (!password) return fail(error);
        users.push_back({name, *role, orva::opcua::hashPassword(*password)});
    } else if (verb == "passwd" && args.size() == 2) {
        if (found == users.end()) return fail("no user " + name);
        const auto password = orva::admin::readNewPassword(error);
        if (!password) return fail(error);
        found->hash = orva::opcua::hashPassword(*password);
    } else if (verb == "remove" && args.size() == 2) {
        if (found == users.end()) return fail("no user " + name);
        users.erase(found);
    } else {
        return usage();
    }
    return store.save(users, error) ? 0 : fail(error);
}

int pkiCommand(const orva::opcua::Pki& pki, const std::vector<std::string>& args)
{
    if (args[0] == "list" && args.size() == 1) {
        for (const char* folder : {"trusted", "rejected"})
            for (const auto& e : pki.list(folder))
                std::cout << folder << ' ' << e.thumbprint << ' ' << e.subject << '\n';
        return 0;
    }
    if (args.size() != 2 || (args[0] != "trust" && args[0] != "reject")) return usage();
    std::string error;
    const std::string to = args[0] == "trust" ? "trusted" : "rejected";
    return pki.move(args[1], to, error) ? 0 : fail(error);
}

int endpointCommand(const ServerIdentity& identity, const orva::registry::Registry& registry,
                    const orva::opcua::SecuritySettings& settings)
{
    const auto endpoint = orva::process::readOpcUaEndpoint(identity, registry);
    std::cout << "address " << endpoint.address << " port " << endpoint.port << '\n';
    for (const auto& name : orva::opcua::offeredPolicies(settings, endpoint.address)) {
        const orva::opcua::SecurityPolicy* p = orva::opcua::policyByName(name);
        if (p == nullptr) continue;
        std::cout << "policy " << name << (p->secure ? " modes Sign,SignAndEncrypt" : " mode None") << '\n';
    }
    std::cout << "anonymous " << orva::opcua::accessName(settings.anonymousAccess) << '\n';
    std::cout << "users file " << settings.usersFile << '\n';
    std::cout << "pki folder " << settings.pkiFolder
              << (settings.autoAcceptUntrusted ? " (AutoAcceptUntrusted on)" : "") << '\n';
    const auto own = orva::opcua::Pki(settings.pkiFolder).list("own");
    std::cout << "certificate "
              << (own.empty() ? std::string("(created at the first start)") : own.front().thumbprint) << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (args.size() < 3 || args[0] != "--server") return usage();
    const auto kind = orva::config::serverKindFromName(args[1]);
    if (!kind) return fail("unknown server \"" + args[1] + "\" (Tornel, Vardel, Lorvik or Pennat)");
    const ServerIdentity& identity = orva::process::serverIdentity(*kind);
    const auto registry = orva::registry::Registry::machine();
    std::string problem;
    const orva::opcua::SecuritySettings settings =
        orva::process::readSecuritySettings(identity, registry, &problem);
    if (!problem.empty()) std::cerr << "orva-admin: " << problem << '\n';
    const std::string command = args[2];
    const std::vector<std::string> rest(args.begin() + 3, args.end());
    if (command == "endpoint" && rest.empty()) return endpointCommand(identity, registry, settings);
    if (rest.empty()) return usage();
    if (command == "user") return userCommand(orva::opcua::UserStore(settings.usersFile), rest);
    if (command == "pki") return pkiCommand(orva::opcua::Pki(settings.pkiFolder), rest);
    return usage();
}
