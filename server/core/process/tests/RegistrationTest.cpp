#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "process/Registration.h"

#include <fstream>

using namespace orva::process;
using orva::config::ServerKind;
using orva::registry::Registry;
using orva::registry::RegistryKey;
using orva::registry::Status;

namespace {

std::string valueOf(const Registry& registry, const std::string& key, const char* name)
{
    std::string value;
    const Status s = registry.readString(key, name, value);
    return s == Status::Ok ? value : "<" + std::string(orva::registry::statusText(s)) + ">";
}

bool keyExists(const Registry& registry, const std::string& key)
{
    RegistryKey k;
    return registry.openKey(key, k) == Status::Ok;
}

}  // namespace

TEST(Registration, RegisteringWritesClassProgIdsDescriptionAndExecutable)
{
    const test::TempFolder folder;
    const Registry registry(folder.path());
    const ServerIdentity& tornel = serverIdentity(ServerKind::Tornel);
    ASSERT_EQ(registerServer(tornel, "/opt/orva/bin/Tornel", registry), Status::Ok);

    const std::string clsidKey = "SOFTWARE\\Classes\\CLSID\\{6A0C2E51-3B7D-4F19-9C42-7E5D1B8A0F31}";
    EXPECT_EQ(valueOf(registry, clsidKey, ""), "Orva TcpIp S7Emulated OPC DA Server v1.1");
    EXPECT_EQ(valueOf(registry, clsidKey, "LocalServer32"), "/opt/orva/bin/Tornel");
    EXPECT_EQ(valueOf(registry, clsidKey, "ProgID"), "Orva.TcpIpS7EmulatedOPCServerDA.1.1");
    EXPECT_EQ(valueOf(registry, clsidKey, "VersionIndependentProgID"), "Orva.TcpIpS7EmulatedOPCServerDA");

    const std::string progIdKey = "SOFTWARE\\Classes\\Orva.TcpIpS7EmulatedOPCServerDA.1.1";
    EXPECT_EQ(valueOf(registry, progIdKey, ""), "Orva TcpIp S7Emulated OPC DA Server v1.1");
    EXPECT_EQ(valueOf(registry, progIdKey, "CLSID"), "{6A0C2E51-3B7D-4F19-9C42-7E5D1B8A0F31}");

    const std::string independentKey = "SOFTWARE\\Classes\\Orva.TcpIpS7EmulatedOPCServerDA";
    EXPECT_EQ(valueOf(registry, independentKey, "CLSID"), "{6A0C2E51-3B7D-4F19-9C42-7E5D1B8A0F31}");
    EXPECT_EQ(valueOf(registry, independentKey, "CurVer"), "Orva.TcpIpS7EmulatedOPCServerDA.1.1");

    // Registering again (from a moved executable) updates the path and nothing else.
    ASSERT_EQ(registerServer(tornel, "/usr/local/bin/Tornel", registry), Status::Ok);
    EXPECT_EQ(valueOf(registry, clsidKey, "LocalServer32"), "/usr/local/bin/Tornel");
    EXPECT_EQ(valueOf(registry, clsidKey, "ProgID"), "Orva.TcpIpS7EmulatedOPCServerDA.1.1");
}

TEST(Registration, UnregisteringRemovesOnlyThatServersEntries)
{
    const test::TempFolder folder;
    const Registry registry(folder.path());
    for (const ServerKind kind : orva::config::allServerKinds)
        ASSERT_EQ(registerServer(serverIdentity(kind), "/opt/bin/x", registry), Status::Ok);
    // The editor's value beside the server's key must survive unregistration.
    ASSERT_EQ(registry.writeString("SOFTWARE\\ORVAAutomation\\Vardel", "ConfigFile", "/v.xml"), Status::Ok);

    const ServerIdentity& vardel = serverIdentity(ServerKind::Vardel);
    ASSERT_EQ(unregisterServer(vardel, registry), Status::Ok);
    const RegistrationKeys gone = registrationKeys(vardel);
    EXPECT_FALSE(keyExists(registry, gone.clsidKey));
    EXPECT_FALSE(keyExists(registry, gone.progIdKey));
    EXPECT_FALSE(keyExists(registry, gone.versionIndependentProgIdKey));
    EXPECT_EQ(valueOf(registry, "SOFTWARE\\ORVAAutomation\\Vardel", "ConfigFile"), "/v.xml");

    for (const ServerKind kind : {ServerKind::Tornel, ServerKind::Lorvik, ServerKind::Pennat}) {
        const RegistrationKeys kept = registrationKeys(serverIdentity(kind));
        EXPECT_TRUE(keyExists(registry, kept.clsidKey));
        EXPECT_TRUE(keyExists(registry, kept.progIdKey));
        EXPECT_TRUE(keyExists(registry, kept.versionIndependentProgIdKey));
    }
    // Unregistering what is not registered is no failure.
    EXPECT_EQ(unregisterServer(vardel, registry), Status::Ok);
}

TEST(Registration, AProgIdTakenOverByAnotherClassIsLeftAlone)
{
    const test::TempFolder folder;
    const Registry registry(folder.path());
    const ServerIdentity& pennat = serverIdentity(ServerKind::Pennat);
    ASSERT_EQ(registerServer(pennat, "/opt/bin/Pennat", registry), Status::Ok);
    const RegistrationKeys keys = registrationKeys(pennat);
    ASSERT_EQ(registry.writeString(keys.versionIndependentProgIdKey, "CLSID",
                                   "{00000000-0000-0000-0000-000000000001}"),
              Status::Ok);
    ASSERT_EQ(unregisterServer(pennat, registry), Status::Ok);
    EXPECT_FALSE(keyExists(registry, keys.clsidKey));
    EXPECT_FALSE(keyExists(registry, keys.progIdKey));
    EXPECT_TRUE(keyExists(registry, keys.versionIndependentProgIdKey));
}

TEST(Registration, TheCommandLineStepEndsWithCodeZeroAndLogsFailures)
{
    const test::TempFolder folder;
    std::vector<std::string> lines;
    LogSink log("Lorvik", [&](std::string_view line) { lines.emplace_back(line); });
    const ServerIdentity& lorvik = serverIdentity(ServerKind::Lorvik);

    const Registry registry(folder.path());
    EXPECT_EQ(runRegistrationCommand(parseCommandLine("-ctt"), lorvik, "/bin/Lorvik", registry, log),
              std::nullopt);
    EXPECT_EQ(runRegistrationCommand(parseCommandLine("/regserver"), lorvik, "/bin/Lorvik", registry, log),
              0);
    EXPECT_TRUE(keyExists(registry, registrationKeys(lorvik).clsidKey));
    EXPECT_EQ(runRegistrationCommand(parseCommandLine("-UNREGSERVER"), lorvik, "/bin/Lorvik", registry, log),
              0);
    EXPECT_FALSE(keyExists(registry, registrationKeys(lorvik).clsidKey));
    EXPECT_TRUE(lines.empty());

    // A root that is a file cannot hold keys: still code 0, but the log says why.
    std::ofstream(folder.path() / "file") << "x";
    const Registry broken(folder.path() / "file");
    EXPECT_EQ(runRegistrationCommand(parseCommandLine("-RegServer"), lorvik, "/bin/Lorvik", broken, log), 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("registration failed"), std::string::npos);
}
