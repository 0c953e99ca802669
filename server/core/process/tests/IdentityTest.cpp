#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ProcessTestSupport.h"
#include "process/EndpointSettings.h"
#include "process/Environment.h"
#include "process/ServerIdentity.h"
#include "registry/Registry.h"

using namespace orva::process;
using orva::config::allServerKinds;
using orva::config::ServerKind;

TEST(ServerIdentity, EachServerHasItsOwnConsistentIdentity)
{
    std::set<std::string> clsids, progIds, titles;
    std::set<unsigned> ports;
    for (const ServerKind kind : allServerKinds) {
        const ServerIdentity& id = serverIdentity(kind);
        EXPECT_EQ(id.kind, kind);
        EXPECT_EQ(id.name, orva::config::serverKindName(kind));
        EXPECT_EQ(std::string(id.registryKey), "SOFTWARE\\ORVAAutomation\\" + std::string(id.name));
        EXPECT_EQ(std::string(id.progId), std::string(id.versionIndependentProgId) + ".1.1");
        ASSERT_EQ(id.clsid.size(), 38u);
        EXPECT_EQ(id.clsid.front(), '{');
        EXPECT_EQ(id.clsid.back(), '}');
        EXPECT_EQ(vendorText(id).rfind(id.vendorTextStart, 0), 0u);
        EXPECT_GT(vendorText(id).size(), id.vendorTextStart.size());
        EXPECT_TRUE(id.aboutProductLine.ends_with(" - Ver. 1.1.0.0  Win32 ")) << id.aboutProductLine;
        EXPECT_EQ(id.versionMajor, 1);
        EXPECT_EQ(id.versionMinor, 10);
        EXPECT_EQ(id.versionBuild, 100);
        clsids.insert(std::string(id.clsid));
        progIds.insert(std::string(id.progId));
        titles.insert(std::string(id.windowTitle));
        ports.insert(id.defaultOpcUaPort);
    }
    EXPECT_EQ(clsids.size(), 4u);
    EXPECT_EQ(progIds.size(), 4u);
    EXPECT_EQ(titles.size(), 4u);
    EXPECT_EQ(ports, (std::set<unsigned>{4840, 4841, 4842, 4843}));
    EXPECT_EQ(serverIdentity(ServerKind::Tornel).clsid, "{6A0C2E51-3B7D-4F19-9C42-7E5D1B8A0F31}");
    EXPECT_EQ(serverIdentity(ServerKind::Lorvik).statusGroupCaption, "MPI Network");
    EXPECT_EQ(serverIdentity(ServerKind::Vardel).statusGroupCaption, "Tcp/Ip Network");
}

TEST(EndpointSettings, LoopbackAndTheServersPortUnlessTheRegistrySaysOtherwise)
{
    const test::TempFolder folder;
    const orva::registry::Registry registry(folder.path());
    const ServerIdentity& lorvik = serverIdentity(ServerKind::Lorvik);
    std::string problem = "stale";
    OpcUaEndpoint endpoint = readOpcUaEndpoint(lorvik, registry, &problem);
    EXPECT_EQ(endpoint.address, "127.0.0.1");
    EXPECT_EQ(endpoint.port, 4842);
    EXPECT_EQ(problem, "");

    ASSERT_EQ(registry.writeString(lorvik.registryKey, "OpcUaAddress", "::1"), orva::registry::Status::Ok);
    ASSERT_EQ(registry.writeString(lorvik.registryKey, "OpcUaPort", "14842"), orva::registry::Status::Ok);
    endpoint = readOpcUaEndpoint(lorvik, registry, &problem);
    EXPECT_EQ(endpoint.address, "::1");
    EXPECT_EQ(endpoint.port, 14842);

    for (const char* bad : {"0", "65536", "48x", "", "-1", " 4840"}) {
        ASSERT_EQ(registry.writeString(lorvik.registryKey, "OpcUaPort", bad), orva::registry::Status::Ok);
        endpoint = readOpcUaEndpoint(lorvik, registry, &problem);
        EXPECT_EQ(endpoint.port, 4842) << bad;
        EXPECT_NE(problem.find("OpcUaPort"), std::string::npos) << bad;
    }
}

TEST(Environment, TheExecutablePathIsAbsoluteAndNamesThisProgram)
{
    const std::string path = currentExecutablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(std::filesystem::path(path).filename(), "process_test");
}
