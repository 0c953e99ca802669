// Pennat: its configuration never hands serial settings over, its serial set-up comes from the
// machine-wide MpiInterface key, and a library that does not answer closes, waits and reopens the
// station table every cycle, with the error-text library's text on the status line.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "LoaderFixture.h"
#include "core/CommunicationThread.h"
#include "core/S7Creator.h"
#include "core/S7Tag.h"
#include "core/TickSource.h"
#include "mpi/MpiErrorCodes.h"
#include "mpi_server/PennatLibrary.h"
#include "plcsim/SerialAdapter.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;
using namespace orva::core::test;
using namespace std::chrono_literals;

namespace {

const std::string kPlc =
    "<PLC name=\"M\" address=\"2\" CPUSlot=\"2\"><tags>" + tagXml("T", "VT_I2") + "</tags></PLC>";
const std::string kSettings =
    "<SETTINGS com=\"COM2\" master=\"1\" baudrate=\"9600\" parity=\"NO\" "
    "stopbits=\"1\" databits=\"8\"/>";

// Forwards to Pennat's library and records the calls with the tick they came at.
class Recorder final : public mpie::MpiLibrary {
public:
    Recorder(std::shared_ptr<mpie::MpiLibrary> inner, ManualTickSource& ticks)
        : inner_(std::move(inner)), ticks_(ticks)
    {
    }
    std::vector<std::string> calls;
    std::vector<uint32_t> at;
    int mpiOpen(int first, int reserved, const uint8_t* stations) override
    {
        return note("open", inner_->mpiOpen(first, reserved, stations));
    }
    void mpiClose() override
    {
        note("close", 0);
        inner_->mpiClose();
    }
    int mpiSelectPlc(int n) override { return note("select", inner_->mpiSelectPlc(n)); }
    int mpiReadBytes(int db, int start, int count, void* d) override
    {
        return note("read", inner_->mpiReadBytes(db, start, count, d));
    }
    int mpiWriteBytes(int db, int start, int count, const void* s) override
    {
        return note("write", inner_->mpiWriteBytes(db, start, count, s));
    }
    int mpiErrorText(int code, char* buffer) override { return inner_->mpiErrorText(code, buffer); }
    size_t errorTextCapacity() const override { return inner_->errorTextCapacity(); }

private:
    int note(const std::string& call, int code)
    {
        calls.push_back(code == 0 ? call : call + " " + std::to_string(code));
        at.push_back(ticks_.now());
        return code;
    }
    std::shared_ptr<mpie::MpiLibrary> inner_;
    ManualTickSource& ticks_;
};

class NullSink : public StatusSink {
public:
    void reportPlcStatus(int, const S7Plc*) override {}
    void reportNoPlc() override {}
};

class PennatTest : public LoaderFixture {
protected:
    void SetUp() override
    {
        base = std::filesystem::temp_directory_path() /
               ("orva-pennat-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(base);
    }
    void TearDown() override
    {
        if (adapter) adapter->stop();
        std::filesystem::remove_all(base);
    }
    registry::Registry registryWith(const std::vector<registry::KeyValue>& values)
    {
        registry::Registry reg(base / "registry");
        registry::RegistryKey key;
        EXPECT_EQ(reg.createKey(orva::stationtable::kInterfaceKey, key), registry::Status::Ok);
        EXPECT_EQ(key.writeStrings(values), registry::Status::Ok);
        return reg;
    }
    void startAdapter(orva::plcsim::SerialFaults faults = {})
    {
        orva::plcsim::SimulatorOptions plcOptions;
        plcOptions.dataBlocks[1] = 64;
        orva::plcsim::SerialOptions options;
        options.link = (base / "tty").string();
        options.paced = false;
        adapter = std::make_unique<orva::plcsim::SerialAdapter>(
            options, std::vector<orva::plcsim::SerialStation>{
                         {2, 2, std::make_shared<orva::plcsim::PlcSimulator>(plcOptions)}});
        ASSERT_TRUE(adapter->start());
        adapter->setFaults(faults);
    }

    std::filesystem::path base;
    std::unique_ptr<orva::plcsim::SerialAdapter> adapter;
};

const orva::mpi::LinkTimeouts kShort{{50ms, 100ms, 1}, 300ms};

}  // namespace

TEST_F(PennatTest, SettingsElementsAreNeverRead)
{
    // Behind OPC_DA the element is ignored.
    ASSERT_TRUE(load(config::ServerKind::Pennat,
                     "<ORVAMPICfg><OPC_DA>" + kPlc + "</OPC_DA>" + kSettings + "</ORVAMPICfg>"));
    EXPECT_EQ(plcs.size(), 1u);
    EXPECT_TRUE(transport.serial.empty());
    EXPECT_TRUE(owner.warnings.empty());
    // As the root's first child it is where the devices must be.
    plcs.clear();
    EXPECT_FALSE(load(config::ServerKind::Pennat,
                      "<ORVAMPICfg>" + kSettings + "<OPC_DA>" + kPlc + "</OPC_DA></ORVAMPICfg>"));
    EXPECT_EQ(warningTexts(), std::vector<std::string>{"Wrong XML file syntax: no devices element\n"});
    EXPECT_TRUE(transport.serial.empty());
}

TEST_F(PennatTest, InterfaceKeyDefaultsAndRefusedValuesNameTheKey)
{
    const orva::stationtable::InterfaceSetup defaults =
        orva::stationtable::readInterfaceSetup(registry::Registry(base / "none"));
    EXPECT_EQ(defaults.line, orva::mpi::LineSettings{});
    EXPECT_EQ(defaults.line.port, "/dev/ttyS0");
    EXPECT_EQ(defaults.localAddress, 0);
    EXPECT_TRUE(defaults.problem.empty());

    const auto setup = orva::stationtable::readInterfaceSetup(registryWith({{"Port", "COM4"},
                                                                            {"Baudrate", "19200"},
                                                                            {"Parity", "even"},
                                                                            {"StopBits", "2"},
                                                                            {"LocalAddress", "1"}}));
    EXPECT_EQ(orva::mpi::devicePathFor(setup.line.port), "/dev/ttyS3");
    EXPECT_EQ(setup.line.baudrate, 19200u);
    EXPECT_EQ(setup.line.parity, orva::mpi::Parity::Even);
    EXPECT_EQ(setup.line.stopBits, 2);
    EXPECT_EQ(setup.localAddress, 1);

    const auto bad = orva::stationtable::readInterfaceSetup(registryWith({{"Parity", "MARK"}}));
    EXPECT_NE(bad.problem.find("Parity \"MARK\""), std::string::npos) << bad.problem;
    EXPECT_NE(bad.problem.find("SOFTWARE\\ORVAAutomation\\MpiInterface"), std::string::npos) << bad.problem;
}

TEST_F(PennatTest, AMissingPortIsConnectionLevelWithATextNamingPortAndKey)
{
    const std::string port = (base / "ttyMissing").string();
    mpi_server::PennatLibrary library(registryWith({{"Port", port}}), kShort);
    const uint8_t table[] = {2, 0, 2, 0, 0, 0, 1, 0};
    EXPECT_EQ(library.mpiOpen(1, 0, table), orva::mpi::kMpiPortError);
    char text[orva::errortext::kTextCapacity];
    library.mpiErrorText(orva::mpi::kMpiPortError, text);
    EXPECT_NE(std::string(text).find(port), std::string::npos) << text;
    EXPECT_NE(std::string(text).find("value Port of SOFTWARE\\ORVAAutomation\\MpiInterface"),
              std::string::npos)
        << text;
}

TEST_F(PennatTest, ALibraryNotAnsweringClosesWaitsAndReopensEveryCycleWithItsText)
{
    startAdapter({true, 0, 0});  // the adapter is silent
    ManualTickSource ticks{1000};
    auto library = std::make_shared<Recorder>(std::make_shared<mpi_server::PennatLibrary>(
                                                  registryWith({{"Port", (base / "tty").string()}}), kShort),
                                              ticks);
    mpie::MpiTransport mpiTransport(library, (base / "error.dat").string());
    entry->setCreator(SOCmnPointer<SODaSCreator>(new S7Creator(queues)).get());
    ASSERT_TRUE(load(config::ServerKind::Pennat, "<ORVAMPICfg><OPC_DA>" + kPlc + "</OPC_DA></ORVAMPICfg>"));
    NullSink sink;
    CommunicationThread thread(plcs, queues, mpiTransport, sink, commSettingsFor(config::ServerKind::Pennat),
                               &ticks);
    ASSERT_TRUE(thread.begin());
    thread.registerTag(*plcs.at(0), *dynamic_cast<S7Tag*>(root->findTag("M.T").get()), 100);
    EXPECT_EQ(library->calls, std::vector<std::string>{"open 794"});
    for (int cycle = 0; cycle < 3; ++cycle) {
        library->calls.clear();
        library->at.clear();
        ticks.advance(200);
        thread.iterate();
        ASSERT_GE(library->calls.size(), 2u);
        const auto n = library->calls.size();
        EXPECT_EQ(library->calls[n - 2], "close") << cycle;
        EXPECT_EQ(library->calls[n - 1], "open 794") << cycle;
        EXPECT_GE(library->at[n - 1] - library->at[n - 2], 100u) << cycle;
    }
    EXPECT_EQ(mpiTransport.errorText(794),
              "No answer from the MPI adapter: check cable and interface settings");
    thread.end();
}
