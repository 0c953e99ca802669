#include <gtest/gtest.h>

#include <fstream>

#include "ProcessTestSupport.h"
#include "process/ConfigLocation.h"

using namespace orva::process;
using orva::config::ServerKind;
using orva::registry::Registry;
using orva::registry::Status;

TEST(ConfigLocation, TheFileBesideTheExecutableIsNamedAfterIt)
{
    EXPECT_EQ(configPathBesideExecutable("/opt/orva/bin/Tornel"), "/opt/orva/bin/Tornel.xml");
    EXPECT_EQ(configPathBesideExecutable("C:\\Orva\\Tornel.exe"), "C:\\Orva\\Tornel.xml");
    EXPECT_EQ(configPathBesideExecutable("C:\\Orva\\TORNEL.EXE"), "C:\\Orva\\TORNEL.xml");
    EXPECT_EQ(configPathBesideExecutable("C:\\Orva\\Tornel.Exe"), "C:\\Orva\\Tornel.Exe.xml");
    // Only the extension is removed, never ".exe" inside a folder name.
    EXPECT_EQ(configPathBesideExecutable("/srv/app.exe.d/Tornel"), "/srv/app.exe.d/Tornel.xml");
    EXPECT_EQ(configPathBesideExecutable(""), "");
}

namespace {

class ConfigLocationFixture : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(folder.path() / "bin"); }

    std::string executable() const { return (folder.path() / "bin" / "Tornel").string(); }
    void putFileBesideExecutable() const { std::ofstream(executable() + ".xml") << "<ORVATcpIpS7Cfg/>"; }
    ConfigLocation locate()
    {
        return locateConfiguration(tornel, executable(), registry, owner, (folder.path() / "etc").string());
    }

    test::TempFolder folder;
    Registry registry{folder.path() / "registry"};
    test::RecordingOwner owner;
    const ServerIdentity& tornel = serverIdentity(ServerKind::Tornel);
};

}  // namespace

TEST_F(ConfigLocationFixture, TheFileBesideTheExecutableWinsOverTheRegistry)
{
    putFileBesideExecutable();
    ASSERT_EQ(registry.writeString(tornel.registryKey, "ConfigFile", "/elsewhere/Tornel.xml"), Status::Ok);
    const ConfigLocation location = locate();
    EXPECT_EQ(location.source, ConfigSource::BesideExecutable);
    EXPECT_EQ(location.path, executable() + ".xml");
    EXPECT_TRUE(owner.warnings.empty());
}

TEST_F(ConfigLocationFixture, WithoutThatFileTheRegistryValueNamesTheConfiguration)
{
    // The editor spells the key "Software\..."; the server finds it all the same.
    ASSERT_EQ(
        registry.writeString("Software\\ORVAAutomation\\Tornel", "ConfigFile", "/srv/cfg/Tornel plant.xml"),
        Status::Ok);
    const ConfigLocation location = locate();
    EXPECT_EQ(location.source, ConfigSource::Registry);
    EXPECT_EQ(location.path,
              "/srv/cfg/Tornel plant.xml");  // passed on even if unreadable: the loader reports it
    EXPECT_TRUE(owner.warnings.empty());

    // Another server's key does not count.
    ASSERT_EQ(registry.deleteKey(tornel.registryKey), Status::Ok);
    ASSERT_EQ(registry.writeString("SOFTWARE\\ORVAAutomation\\Vardel", "ConfigFile", "/v.xml"), Status::Ok);
    EXPECT_EQ(locate().source, ConfigSource::None);
}

TEST_F(ConfigLocationFixture, NoFileAndNoKeyWarnsAndLoadsNothing)
{
    const ConfigLocation location = locate();
    EXPECT_EQ(location.source, ConfigSource::None);
    EXPECT_EQ(location.path, "");
    ASSERT_EQ(owner.warnings.size(), 1u);
    EXPECT_EQ(owner.warnings[0].first, "Tcp/Ip S7 OPC Server");
    EXPECT_EQ(owner.warnings[0].second, "The configuration file couldn't be loaded !");
}

TEST_F(ConfigLocationFixture, AKeyWithoutAUsableValueWarnsInsteadOfLoadingTheExecutable)
{
    ASSERT_EQ(registry.writeString(tornel.registryKey, "Other", "x"), Status::Ok);
    EXPECT_EQ(locate().source, ConfigSource::None);
    ASSERT_EQ(registry.writeString(tornel.registryKey, "ConfigFile", ""), Status::Ok);
    EXPECT_EQ(locate().source, ConfigSource::None);
    // A corrupt key file reads as a key without values.
    std::ofstream(registry.keyFile(tornel.registryKey), std::ios::trunc) << "garbage";
    const ConfigLocation corrupt = locate();
    EXPECT_EQ(corrupt.source, ConfigSource::None);
    EXPECT_EQ(owner.warnings.size(), 3u);
    // The log learns why, where the value merely missing says nothing.
    EXPECT_NE(corrupt.registryProblem.find("ConfigFile: registry key file is corrupt"), std::string::npos)
        << corrupt.registryProblem;
    ASSERT_EQ(registry.deleteKey(tornel.registryKey), Status::Ok);
    EXPECT_EQ(locate().registryProblem, "");
}

TEST_F(ConfigLocationFixture, AFolderNamedLikeTheFileIsNoConfiguration)
{
    std::filesystem::create_directories(executable() + ".xml");
    ASSERT_EQ(registry.writeString(tornel.registryKey, "ConfigFile", "/srv/Tornel.xml"), Status::Ok);
    EXPECT_EQ(locate().source, ConfigSource::Registry);
}

// An installed server reads <Server>.xml from the settings folder when nothing else names one; the
// registry's value still wins.
TEST_F(ConfigLocationFixture, AnInstalledServerFallsBackToItsFileInTheSettingsFolder)
{
    std::filesystem::create_directories(folder.path() / "etc");
    const std::string installed = (folder.path() / "etc" / "Tornel.xml").string();
    std::ofstream(installed) << "<ORVATcpIpS7Cfg/>";
    ConfigLocation location = locate();
    EXPECT_EQ(location.source, ConfigSource::ConfigFolder);
    EXPECT_EQ(location.path, installed);
    EXPECT_TRUE(owner.warnings.empty());

    ASSERT_EQ(registry.writeString(tornel.registryKey, "ConfigFile", "/srv/Tornel.xml"), Status::Ok);
    EXPECT_EQ(locate().source, ConfigSource::Registry);
}
