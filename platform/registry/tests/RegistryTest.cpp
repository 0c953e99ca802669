#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "TempRoot.h"
#include "registry/Registry.h"

using namespace orva::registry;
using orva::registry::test::TempRoot;

namespace {

const char* const kTornelKey = "SOFTWARE\\ORVAAutomation\\Tornel";

std::string fileText(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

}  // namespace

TEST(Registry, KeyPathsMapToLowerCaseFilesBelowTheRoot)
{
    const Registry registry("/r");
    EXPECT_EQ(registry.keyFile(kTornelKey), "/r/software/orvaautomation/tornel.reg");
    // The editor writes "Software\...", the servers read "SOFTWARE\...": the same key.
    EXPECT_EQ(registry.keyFile("Software\\ORVAAutomation\\Tornel"), registry.keyFile(kTornelKey));
    EXPECT_EQ(registry.keyFile("SOFTWARE\\Classes\\CLSID\\{6A0C2E51-3B7D-4F19-9C42-7E5D1B8A0F31}"),
              "/r/software/classes/clsid/{6a0c2e51-3b7d-4f19-9c42-7e5d1b8a0f31}.reg");
    // Nothing can climb out of the root or hide: dots, slashes and odd bytes are encoded.
    EXPECT_EQ(registry.keyFile("..\\..\\etc"), "/r/%2E./%2E./etc.reg");
    EXPECT_EQ(registry.keyFile("a/b\\c d%"), "/r/a%2Fb/c%20d%25.reg");
    EXPECT_EQ(registry.keyFile("Orva.S7OPCServerDA.1.1"), "/r/orva.s7opcserverda.1.1.reg");

    for (const char* bad : {"", "\\A", "A\\", "A\\\\B", "A\nB", "A\x7f"})
        EXPECT_TRUE(registry.keyFile(bad).empty()) << bad;
    EXPECT_TRUE(registry.keyFile(std::string(300, 'k')).empty());
}

TEST(Registry, WritesReadsAndDeletesValues)
{
    const TempRoot root;
    const Registry registry(root.path());
    RegistryKey key;
    EXPECT_EQ(registry.openKey(kTornelKey, key), Status::KeyNotFound);
    EXPECT_FALSE(key.isOpen());

    ASSERT_EQ(registry.createKey(kTornelKey, key), Status::Ok);
    std::string value = "untouched";
    EXPECT_EQ(key.readString("ConfigFile", value), Status::ValueNotFound);
    EXPECT_EQ(value, "untouched");

    ASSERT_EQ(key.writeString("ConfigFile", "/srv/orva/Tornel.xml"), Status::Ok);
    EXPECT_EQ(registry.readString("software\\orvaautomation\\TORNEL", "configfile", value), Status::Ok);
    EXPECT_EQ(value, "/srv/orva/Tornel.xml");

    // Another key object sees later writes at once.
    RegistryKey reader;
    ASSERT_EQ(registry.openKey(kTornelKey, reader), Status::Ok);
    ASSERT_EQ(registry.writeString("Software\\ORVAAutomation\\Tornel", "ConfigFile", "/other.xml"),
              Status::Ok);
    EXPECT_EQ(reader.readString("ConfigFile", value), Status::Ok);
    EXPECT_EQ(value, "/other.xml");
    // The header keeps the spelling of the key's creation.
    EXPECT_NE(fileText(registry.keyFile(kTornelKey)).find("[SOFTWARE\\ORVAAutomation\\Tornel]"),
              std::string::npos);

    EXPECT_EQ(key.deleteValue("CONFIGFILE"), Status::Ok);
    EXPECT_EQ(key.readString("ConfigFile", value), Status::ValueNotFound);
    EXPECT_EQ(key.deleteValue("ConfigFile"), Status::Ok);

    EXPECT_EQ(registry.deleteKey(kTornelKey), Status::Ok);
    EXPECT_EQ(reader.readString("ConfigFile", value), Status::KeyNotFound);
    EXPECT_EQ(registry.openKey(kTornelKey, reader), Status::KeyNotFound);
    EXPECT_EQ(registry.deleteKey(kTornelKey), Status::Ok);
    EXPECT_EQ(key.deleteValue("ConfigFile"),
              Status::KeyNotFound);  // deleting a value never recreates the key
    EXPECT_EQ(registry.openKey(kTornelKey, reader), Status::KeyNotFound);
}

TEST(Registry, KeysOpenedForReadingRefuseWrites)
{
    const TempRoot root;
    const Registry registry(root.path());
    ASSERT_EQ(registry.writeString(kTornelKey, "ConfigFile", "/a.xml"), Status::Ok);
    RegistryKey key;
    ASSERT_EQ(registry.openKey(kTornelKey, key), Status::Ok);
    EXPECT_FALSE(key.writable());
    EXPECT_EQ(key.writeString("ConfigFile", "/b.xml"), Status::AccessDenied);
    EXPECT_EQ(key.deleteValue("ConfigFile"), Status::AccessDenied);
    std::string value;
    EXPECT_EQ(key.readString("ConfigFile", value), Status::Ok);
    EXPECT_EQ(value, "/a.xml");
}

TEST(Registry, DeletingAKeyRemovesItsSubKeysButNotItsSiblings)
{
    const TempRoot root;
    const Registry registry(root.path());
    ASSERT_EQ(registry.writeString("A\\B", "v", "1"), Status::Ok);
    ASSERT_EQ(registry.writeString("A\\B\\C", "v", "2"), Status::Ok);
    ASSERT_EQ(registry.writeString("A\\Bee", "v", "3"), Status::Ok);
    ASSERT_EQ(registry.deleteKey("a\\b"), Status::Ok);
    RegistryKey key;
    EXPECT_EQ(registry.openKey("A\\B", key), Status::KeyNotFound);
    EXPECT_EQ(registry.openKey("A\\B\\C", key), Status::KeyNotFound);
    std::string value;
    EXPECT_EQ(registry.readString("A\\Bee", "v", value), Status::Ok);
    EXPECT_EQ(value, "3");
}

TEST(Registry, ACorruptFileReadsAsMissingValuesAndIsReplacedOnWrite)
{
    const TempRoot root;
    const Registry registry(root.path());
    const auto file = registry.keyFile(kTornelKey);
    writeText(file, "[SOFTWARE\\ORVAAutomation\\Tornel]\n\"ConfigFile\"=\"/half-writ");

    RegistryKey key;
    ASSERT_EQ(registry.openKey(kTornelKey, key), Status::Ok);
    std::string value = "untouched";
    EXPECT_EQ(key.readString("ConfigFile", value), Status::CorruptKeyFile);
    EXPECT_EQ(value, "untouched");
    EXPECT_EQ(statusText(Status::CorruptKeyFile), "registry key file is corrupt");

    ASSERT_EQ(registry.writeString(kTornelKey, "ConfigFile", "/fresh.xml"), Status::Ok);
    EXPECT_EQ(registry.readString(kTornelKey, "ConfigFile", value), Status::Ok);
    EXPECT_EQ(value, "/fresh.xml");
    EXPECT_EQ(fileText(file.string() + ".corrupt"),
              "[SOFTWARE\\ORVAAutomation\\Tornel]\n\"ConfigFile\"=\"/half-writ");
}

TEST(Registry, FilesOfOtherKeysOrOtherKindsAreCorrupt)
{
    const TempRoot root;
    const Registry registry(root.path());
    writeText(registry.keyFile(kTornelKey),
              "[SOFTWARE\\ORVAAutomation\\Vardel]\n\"ConfigFile\"=\"/v.xml\"\n");
    std::string value;
    EXPECT_EQ(registry.readString(kTornelKey, "ConfigFile", value), Status::CorruptKeyFile);

    // A folder where the key's file should be.
    std::filesystem::create_directories(registry.keyFile("X\\Y"));
    RegistryKey key;
    EXPECT_EQ(registry.openKey("X\\Y", key), Status::CorruptKeyFile);

    // A file too large to be a key.
    writeText(registry.keyFile("Big"), "[Big]\n\"a\"=\"" + std::string(kMaxKeyFileSize, 'x') + "\"\n");
    EXPECT_EQ(registry.readString("Big", "a", value), Status::CorruptKeyFile);
    EXPECT_EQ(registry.writeString("Small", "a", std::string(kMaxKeyFileSize, 'x')), Status::TooLarge);
}

TEST(Registry, WritesLeaveNoTemporaryFilesAndReadableFiles)
{
    const TempRoot root;
    const Registry registry(root.path());
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(registry.writeString(kTornelKey, "n" + std::to_string(i), "v"), Status::Ok);
    const auto folder = registry.keyFile(kTornelKey).parent_path();
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++entries;
        EXPECT_EQ(entry.path().filename(), "tornel.reg");
    }
    EXPECT_EQ(entries, 1);
    struct stat st {};
    ASSERT_EQ(::stat(registry.keyFile(kTornelKey).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // servers running as other users read it
}

TEST(Registry, AReadOnlyRootDeniesWrites)
{
    const TempRoot root;
    const Registry registry(root.path());
    ASSERT_EQ(::chmod(root.path().c_str(), 0555), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(registry.writeString(kTornelKey, "ConfigFile", "/a.xml"), Status::AccessDenied);
    } else {
        // Root ignores file permissions: try as an unprivileged account in a child process.
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            ::_exit(registry.writeString(kTornelKey, "ConfigFile", "/a.xml") == Status::AccessDenied ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot switch to an unprivileged account";
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    ::chmod(root.path().c_str(), 0755);
}

TEST(Registry, TheEnvironmentVariableReplacesTheMachineRoot)
{
    const char* const name = "ORVA_REGISTRY_ROOT";
    const char* const saved = std::getenv(name);
    const std::string savedValue = saved != nullptr ? saved : "";

    const TempRoot root;
    ::setenv(name, root.path().c_str(), 1);
    EXPECT_EQ(Registry::machine().root(), root.path());
    ASSERT_EQ(Registry::machine().writeString(kTornelKey, "ConfigFile", "/x.xml"), Status::Ok);
    EXPECT_TRUE(std::filesystem::exists(root.path() / "software/orvaautomation/tornel.reg"));

    ::setenv(name, "", 1);
    EXPECT_EQ(Registry::machine().root(), "/etc/orva/registry");
    ::unsetenv(name);
    EXPECT_EQ(Registry::machine().root(), "/etc/orva/registry");

    if (saved != nullptr) ::setenv(name, savedValue.c_str(), 1);
}

TEST(Registry, NewFoldersAreReadableByEveryoneWhateverTheUmask)
{
    const TempRoot root;
    const Registry registry(root.path() / "registry");
    const mode_t saved = ::umask(077);
    const Status written = registry.writeString(kTornelKey, "ConfigFile", "/a.xml");
    ::umask(saved);
    ASSERT_EQ(written, Status::Ok);
    for (const auto& folder : {root.path() / "registry", root.path() / "registry/software",
                               root.path() / "registry/software/orvaautomation"}) {
        struct stat st {};
        ASSERT_EQ(::stat(folder.c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0777, 0755u) << folder;
    }
}
