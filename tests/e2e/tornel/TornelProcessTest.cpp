// Tornel as an administrator runs it: copied beside its configuration, started where no display
// exists, stopped by SIGTERM or SIGINT; started without any configuration; registered.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "Commands.h"
#include "ServerProcess.h"
#include "registry/Registry.h"

using namespace orva::e2e;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string tornelConfig(const std::string& plcName, int plcPort)
{
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<ORVATcpIpS7Cfg><OPC_DA><INTERFACE "
           "name=\"SAPIS7\">"
           "<PLC name=\"" +
           plcName + "\" address=\"127.0.0.1:" + std::to_string(plcPort) +
           "\" CPUSlot=\"2\" RackNr=\"0\"><tags><Drives><tag><name>Speed</name><databyte>0</databyte>"
           "<datatype>VT_I2</datatype><datablock>10</datablock><accessrights>READWRITE</accessrights></tag>"
           "</Drives></tags></PLC></INTERFACE></OPC_DA></ORVATcpIpS7Cfg>\n";
}

class TornelProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '_';
        dir = fs::temp_directory_path() / ("orva-e2e-tornel-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir);
        fs::create_directories(dir / "registry");
        executable = dir / "Tornel";
        fs::copy_file(ORVA_TORNEL_PATH, executable);
        uaPort = freeLoopbackPort();
        ASSERT_GT(uaPort, 0);
    }
    void TearDown() override { fs::remove_all(dir); }

    orva::registry::Registry registry() const { return orva::registry::Registry(dir / "registry"); }
    void setValue(std::string_view name, const std::string& value)
    {
        ASSERT_EQ(registry().writeString("SOFTWARE\\ORVAAutomation\\Tornel", name, value),
                  orva::registry::Status::Ok);
    }
    void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

    // The machine's own settings and state folders stay out of the tests.
    std::unique_ptr<ServerProcess> start(std::vector<std::string> args = {},
                                         std::map<std::string, std::optional<std::string>> env = {})
    {
        env.merge(isolatedServerEnvironment(dir));
        return std::make_unique<ServerProcess>(executable.string(), args, env);
    }
    std::string endpoint() const { return "opc.tcp://127.0.0.1:" + std::to_string(uaPort); }

    fs::path dir;
    fs::path executable;
    int uaPort = 0;
};

const std::regex kLogLine(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z Tornel: .+)");

}  // namespace

class TornelSignals : public TornelProcess, public ::testing::WithParamInterface<int> {};

TEST_P(TornelSignals, BesideItsConfigurationRunsHeadlessAndStopsWithExitCodeZero)
{
    // The file beside the executable wins over the registry's value.
    writeFile(dir / "Tornel.xml", tornelConfig("Beside", freeLoopbackPort()));
    writeFile(dir / "other.xml", tornelConfig("FromRegistry", freeLoopbackPort()));
    setValue("ConfigFile", (dir / "other.xml").string());
    setValue("OpcUaPort", std::to_string(uaPort));

    auto tornel = start();
    ASSERT_TRUE(tornel->started());
    const auto listening = tornel->waitForLine("OPC UA endpoint");
    ASSERT_TRUE(listening) << "no endpoint line";
    EXPECT_NE(listening->find(endpoint()), std::string::npos) << *listening;
    EXPECT_TRUE(tornel->waitForLine("configuration " + (dir / "Tornel.xml").string(), 1s));

    std::ostringstream out, err;
    EXPECT_EQ(orva::uaclient::run({"-e", endpoint(), "browse"}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("Beside"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("FromRegistry"), std::string::npos);

    // Polled for a subscriber, the unreachable PLC shows in the status line, which the log carries.
    std::ostringstream subOut, subErr;
    orva::uaclient::run({"-e", endpoint(), "subscribe", "-i", "100", "-t", "2", "Beside.Drives.Speed"},
                        subOut, subErr);
    EXPECT_TRUE(tornel->waitForLine(" on Beside", 20s)) << "no status line for the PLC";

    tornel->signal(GetParam());
    EXPECT_EQ(tornel->waitForExit(20s), std::optional<int>(0));
    ASSERT_FALSE(tornel->lines().empty());
    for (const auto& line : tornel->lines())
        EXPECT_TRUE(std::regex_match(line, kLogLine)) << line;
    EXPECT_NE(tornel->lines().back().find("stopped"), std::string::npos) << tornel->lines().back();
}

INSTANTIATE_TEST_SUITE_P(Signals, TornelSignals, ::testing::Values(SIGTERM, SIGINT), [](const auto& param) {
    return std::string(param.param == SIGTERM ? "SIGTERM" : "SIGINT");
});

// The group's update rate is the subscription's publishing interval, and the communication thread
// polls the PLC at that rate: five times the rate, several times the reads.
TEST_F(TornelProcess, PollRateFollowsThePublishingInterval)
{
    const int plcPort = freeLoopbackPort();
    const fs::path plcLog = dir / "plc.log";
    ServerProcess plc(ORVA_PLCSIM_PATH,
                      {"--port", std::to_string(plcPort), "--db", "10:64", "--log", plcLog.string()}, {});
    writeFile(dir / "Tornel.xml", tornelConfig("Beside", plcPort));
    setValue("OpcUaPort", std::to_string(uaPort));
    auto tornel = start();
    ASSERT_TRUE(tornel->waitForLine("OPC UA endpoint"));

    const auto readsWhileSubscribed = [&](const std::string& intervalMs) {
        const auto before = fs::exists(plcLog) ? fs::file_size(plcLog) : 0;
        std::ostringstream out, err;
        orva::uaclient::run(
            {"-e", endpoint(), "subscribe", "-i", intervalMs, "-t", "4", "Beside.Drives.Speed"}, out, err);
        std::ifstream in(plcLog);
        in.seekg(static_cast<std::streamoff>(before));
        int reads = 0;
        for (std::string line; std::getline(in, line);)
            if (line.rfind("read DB10 ", 0) == 0) ++reads;
        return reads;
    };
    const int slow = readsWhileSubscribed("1000");
    const int fast = readsWhileSubscribed("200");
    EXPECT_GE(slow, 2);
    EXPECT_LE(slow, 8);
    EXPECT_GE(fast, 3 * slow) << "slow " << slow << ", fast " << fast;

    tornel->signal(SIGTERM);
    EXPECT_EQ(tornel->waitForExit(20s), std::optional<int>(0));
    plc.signal(SIGTERM);
    EXPECT_EQ(plc.waitForExit(20s), std::optional<int>(0));
}

TEST_F(TornelProcess, EachPlcsPollingFiguresAreReadOnlyVariablesBelowTheServerObject)
{
    const int plcPort = freeLoopbackPort();
    ServerProcess plc(ORVA_PLCSIM_PATH, {"--port", std::to_string(plcPort), "--db", "10:64"}, {});
    writeFile(dir / "Tornel.xml", tornelConfig("Beside", plcPort));
    setValue("OpcUaPort", std::to_string(uaPort));
    auto tornel = start();
    ASSERT_TRUE(tornel->waitForLine("OPC UA endpoint"));
    std::ostringstream subOut, subErr;
    orva::uaclient::run({"-e", endpoint(), "subscribe", "-i", "100", "-t", "3", "Beside.Drives.Speed"},
                        subOut, subErr);

    std::ostringstream objects, server, figures, err;
    // The configured address space stays what the file says; the figures hang below Server.
    ASSERT_EQ(orva::uaclient::run({"-e", endpoint(), "browse"}, objects, err), 0) << err.str();
    EXPECT_EQ(objects.str().find("Polling"), std::string::npos) << objects.str();
    ASSERT_EQ(orva::uaclient::run({"-e", endpoint(), "browse", "-r", "i=2253"}, server, err), 0) << err.str();
    EXPECT_NE(server.str().find("ns=2;s=Polling.Beside.AchievedIntervalMs"), std::string::npos)
        << server.str();
    ASSERT_EQ(orva::uaclient::run({"-e", endpoint(), "read", "ns=2;s=Polling.Beside.ReadsPerSecond",
                                   "ns=2;s=Polling.Beside.ErrorCount"},
                                  figures, err),
              0)
        << err.str();
    std::smatch rate;
    const std::string text = figures.str();
    ASSERT_TRUE(std::regex_search(text, rate, std::regex(R"(ReadsPerSecond = ([0-9.]+)  Good)"))) << text;
    EXPECT_GT(std::stod(rate[1]), 2.0) << text;
    EXPECT_NE(text.find("ErrorCount = 0  Good"), std::string::npos) << text;
    std::ostringstream written, writeErr;
    EXPECT_NE(orva::uaclient::run({"-e", endpoint(), "write", "ns=2;s=Polling.Beside.ErrorCount", "5"},
                                  written, writeErr),
              0);

    tornel->signal(SIGTERM);
    EXPECT_EQ(tornel->waitForExit(20s), std::optional<int>(0));
    plc.signal(SIGTERM);
    EXPECT_EQ(plc.waitForExit(20s), std::optional<int>(0));
}

#ifdef ORVA_TORNEL_HAS_WINDOWS
// Where a display exists the server opens its main window; SIGTERM closes it like its close box.
TEST_F(TornelProcess, WithADisplayRunsItsWindowAndStopsOnSigterm)
{
    writeFile(dir / "Tornel.xml", tornelConfig("Beside", freeLoopbackPort()));
    setValue("OpcUaPort", std::to_string(uaPort));
    ServerProcess tornel(executable.string(), {},
                         {{"ORVA_REGISTRY_ROOT", (dir / "registry").string()},
                          {"ORVA_CONFIG_DIR", (dir / "etc").string()},
                          {"QT_QPA_PLATFORM", "offscreen"},
                          {"XDG_RUNTIME_DIR", dir.string()}});
    ASSERT_TRUE(tornel.waitForLine("OPC UA endpoint"));
    std::ostringstream out, err;
    EXPECT_EQ(orva::uaclient::run({"-e", endpoint(), "read", "i=2259"}, out, err), 0) << err.str();
    tornel.signal(SIGTERM);
    EXPECT_EQ(tornel.waitForExit(20s), std::optional<int>(0));
    for (const auto& line : tornel.lines())
        EXPECT_EQ(line.find("running without windows"), std::string::npos) << line;
}
#endif

#ifdef ORVA_TORNEL_HAS_WINDOWS
// A start-up warning box (here: no configuration) waits for a click that may never come; SIGTERM
// still ends the server in order.
TEST_F(TornelProcess, WithADisplaySigtermEndsTheServerWhileAWarningBoxIsOpen)
{
    setValue("OpcUaPort", std::to_string(uaPort));  // and no configuration anywhere
    ServerProcess tornel(executable.string(), {},
                         {{"ORVA_REGISTRY_ROOT", (dir / "registry").string()},
                          {"ORVA_CONFIG_DIR", (dir / "etc").string()},
                          {"QT_QPA_PLATFORM", "offscreen"},
                          {"XDG_RUNTIME_DIR", dir.string()}});
    std::this_thread::sleep_for(2s);  // the box is open by now
    tornel.signal(SIGTERM);
    EXPECT_EQ(tornel.waitForExit(30s), std::optional<int>(0));
}
#endif

TEST_F(TornelProcess, WithoutAnyConfigurationWarnsAndEndsByItself)
{
    setValue("OpcUaPort", std::to_string(uaPort));  // the key exists, but names no configuration
    auto tornel = start();
    EXPECT_TRUE(
        tornel->waitForLine("warning [Tcp/Ip S7 OPC Server]: The configuration file couldn't be loaded !"));
    EXPECT_TRUE(tornel->waitForLine(
        "warning [OPC TcpIp S7 Server]: No Tcp/Ip S7 PLC configured. OPC Server being closed."));
    EXPECT_EQ(tornel->waitForExit(20s), std::optional<int>(0));
}

TEST_F(TornelProcess, WithoutAFileBesideItLoadsTheRegistrysConfiguration)
{
    writeFile(dir / "elsewhere.xml", tornelConfig("FromRegistry", freeLoopbackPort()));
    setValue("ConfigFile", (dir / "elsewhere.xml").string());
    setValue("OpcUaPort", std::to_string(uaPort));

    auto tornel = start();
    ASSERT_TRUE(tornel->waitForLine("OPC UA endpoint")) << "no endpoint line";
    EXPECT_TRUE(tornel->waitForLine("configuration " + (dir / "elsewhere.xml").string(), 1s));
    std::ostringstream out, err;
    EXPECT_EQ(orva::uaclient::run({"-e", endpoint(), "browse"}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("FromRegistry"), std::string::npos) << out.str();

    tornel->signal(SIGTERM);
    EXPECT_EQ(tornel->waitForExit(20s), std::optional<int>(0));
}

TEST_F(TornelProcess, AnEndpointPortAlreadyTakenIsAFailedStartWithExitCodeOne)
{
    // Another program holds the port.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(uaPort));
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);

    writeFile(dir / "Tornel.xml", tornelConfig("Beside", freeLoopbackPort()));
    setValue("OpcUaPort", std::to_string(uaPort));
    auto tornel = start();
    EXPECT_TRUE(tornel->waitForLine("Can't start the OPC server", 20s));
    EXPECT_EQ(tornel->waitForExit(20s), std::optional<int>(1));
    ::close(holder);
}

TEST_F(TornelProcess, RegistersAndUnregistersWithoutStarting)
{
    writeFile(dir / "Tornel.xml", tornelConfig("Beside", freeLoopbackPort()));
    auto reg = start({"-RegServer"});
    EXPECT_EQ(reg->waitForExit(20s), std::optional<int>(0));
    for (const auto& line : reg->lines())
        EXPECT_EQ(line.find("OPC UA endpoint"), std::string::npos) << line;
    std::string path;
    EXPECT_EQ(registry().readString("SOFTWARE\\Classes\\CLSID\\{6A0C2E51-3B7D-4F19-9C42-7E5D1B8A0F31}",
                                    "LocalServer32", path),
              orva::registry::Status::Ok);
    EXPECT_EQ(path, executable.string());

    auto unreg = start({"/unregserver"});
    EXPECT_EQ(unreg->waitForExit(20s), std::optional<int>(0));
    EXPECT_NE(registry().readString("SOFTWARE\\Classes\\CLSID\\{6A0C2E51-3B7D-4F19-9C42-7E5D1B8A0F31}",
                                    "LocalServer32", path),
              orva::registry::Status::Ok);
}

// What the service manager sees of a server it started (Type=notify, WatchdogSec=): ready only once
// the endpoint answers, watchdog feeds while the communication thread runs, stopping at SIGTERM.
TEST_F(TornelProcess, UnderAServiceManagerReportsReadyFeedsTheWatchdogAndStopping)
{
    const std::string socketPath = "/tmp/orva-notify-" + std::to_string(::getpid());
    ::unlink(socketPath.c_str());
    const int manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(manager, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const timeval receiveTimeout{20, 0};
    ASSERT_EQ(::setsockopt(manager, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout), 0);
    const auto nextMessage = [manager]() -> std::string {
        char buffer[512];
        const ssize_t n = ::recv(manager, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    };

    writeFile(dir / "Tornel.xml", tornelConfig("Beside", freeLoopbackPort()));
    setValue("OpcUaPort", std::to_string(uaPort));
    auto tornel = start({}, {{"NOTIFY_SOCKET", socketPath}, {"WATCHDOG_USEC", "1000000"}});

    const std::string ready = nextMessage();
    EXPECT_EQ(ready.rfind("READY=1\nSTATUS=serving 1 PLC on " + endpoint(), 0), 0u) << ready;
    std::ostringstream out, err;
    EXPECT_EQ(orva::uaclient::run({"-e", endpoint(), "read", "i=2259"}, out, err), 0) << err.str();

    int feeds = 0;
    for (int i = 0; i < 20 && feeds < 3; ++i)
        if (nextMessage() == "WATCHDOG=1") ++feeds;
    EXPECT_EQ(feeds, 3);

    tornel->signal(SIGTERM);
    bool stopping = false;
    for (int i = 0; i < 20 && !stopping; ++i)
        stopping = nextMessage().rfind("STOPPING=1", 0) == 0;
    EXPECT_TRUE(stopping);
    EXPECT_EQ(tornel->waitForExit(20s), std::optional<int>(0));
    ::close(manager);
    ::unlink(socketPath.c_str());
}

// An installed server finds its configuration in the settings folder and says so in the log.
TEST_F(TornelProcess, WithoutFileOrRegistryValueReadsTheSettingsFolder)
{
    fs::create_directories(dir / "etc");
    writeFile(dir / "etc" / "Tornel.xml", tornelConfig("Installed", freeLoopbackPort()));
    setValue("OpcUaPort", std::to_string(uaPort));
    auto tornel = start();
    ASSERT_TRUE(tornel->waitForLine("OPC UA endpoint"));
    EXPECT_TRUE(tornel->waitForLine("configuration " + (dir / "etc" / "Tornel.xml").string(), 1s));
    std::ostringstream out, err;
    EXPECT_EQ(orva::uaclient::run({"-e", endpoint(), "browse"}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("Installed"), std::string::npos) << out.str();
    tornel->signal(SIGTERM);
    EXPECT_EQ(tornel->waitForExit(20s), std::optional<int>(0));
}

// --help and --version answer on standard output with exit status 0 and start nothing.
TEST_F(TornelProcess, HelpAndVersionFollowGnuConventions)
{
    const auto output = [this](const std::string& option, int* status) {
        std::string text;
        FILE* pipe = ::popen(("ORVA_REGISTRY_ROOT=" + (dir / "registry").string() + " ORVA_CONFIG_DIR=" +
                              (dir / "etc").string() + " " + executable.string() + " " + option + " 2>&1")
                                 .c_str(),
                             "r");
        char buffer[256];
        while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            text += buffer;
        *status = pipe != nullptr ? ::pclose(pipe) : -1;
        return text;
    };
    int status = -1;
    const std::string help = output("--help", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(help.rfind("Usage: Tornel [-RegServer | -UnregServer | -Embedding | -ctt]\n", 0), 0u) << help;
    EXPECT_NE(help.find("      --version  output version information and exit"), std::string::npos);
    EXPECT_NE(help.find("Report bugs to: "), std::string::npos);
    const std::string version = output("--version", &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(std::regex_search(version, std::regex(R"(^Tornel \(Orva gateway\) \d+\.\d+\.\d+\n)")))
        << version;
    EXPECT_FALSE(fs::exists(dir / "registry" / "software"))
        << "--version must not register or start anything";
}
