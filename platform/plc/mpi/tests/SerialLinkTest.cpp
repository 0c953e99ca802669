// The PC end of the MPI link against the simulated adapter on a pseudo-terminal: reads and
// writes through several stations, NAK and repeat, line settings, a port in use, faults.
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>

#include "mpi/MpiErrorCodes.h"
#include "mpi/MpiLink.h"
#include "mpi/MpiS7Tool.h"
#include "plc/S7ErrorCodes.h"
#include "plcsim/SerialAdapter.h"

namespace {

using orva::mpi::MpiLink;

class SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        link = std::filesystem::temp_directory_path() /
               ("orva-mpi-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (const uint8_t address : {2, 3}) {
            orva::plcsim::SimulatorOptions options;
            options.dataBlocks[1] = 512;
            stations.push_back({address, 2, std::make_shared<orva::plcsim::PlcSimulator>(options)});
        }
        orva::plcsim::SerialOptions options;
        options.link = link.string();
        options.paced = false;
        adapter = std::make_unique<orva::plcsim::SerialAdapter>(options, stations);
        std::string error;
        ASSERT_TRUE(adapter->start(&error)) << error;
        line.port = link.string();
    }
    void TearDown() override { adapter->stop(); }

    int openLink(MpiLink& mpiLink) { return mpiLink.open(line, 0, {{2, 2}, {3, 2}}); }

    std::filesystem::path link;
    std::vector<orva::plcsim::SerialStation> stations;
    std::unique_ptr<orva::plcsim::SerialAdapter> adapter;
    orva::mpi::LineSettings line;
};

TEST_F(SerialLinkTest, ReadsAndWritesEachStationThroughDleDoublingAndRepeats)
{
    // Every third block from the adapter arrives with a bad check and is repeated after NAK.
    adapter->setFaults({false, 0, 3});
    std::vector<uint8_t> pattern(222);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(i % 2 == 0 ? 0x10 : i);  // many DLE bytes
    stations[1].plc->writeMemory(1, 10, pattern);

    MpiLink mpiLink;
    ASSERT_EQ(openLink(mpiLink), 0);
    ASSERT_EQ(mpiLink.select(2), 0);
    std::vector<uint8_t> read(222);
    ASSERT_EQ(mpiLink.read(1, 10, read), 0);
    EXPECT_EQ(read, pattern);

    ASSERT_EQ(mpiLink.select(1), 0);
    const std::vector<uint8_t> written{0x10, 0x10, 0x03, 0x02};
    ASSERT_EQ(mpiLink.write(1, 100, written), 0);
    std::vector<uint8_t> landed(4);
    ASSERT_TRUE(stations[0].plc->readMemory(1, 100, landed));
    EXPECT_EQ(landed, written);
    EXPECT_EQ(adapter->peerSettings(), std::optional<orva::mpi::LineSettings>([] {
                  orva::mpi::LineSettings s;
                  s.port.clear();
                  return s;
              }()));
}

TEST_F(SerialLinkTest, AccessErrorsConcernOneAccessAndKeepTheLink)
{
    MpiLink mpiLink;
    ASSERT_EQ(openLink(mpiLink), 0);
    ASSERT_EQ(mpiLink.select(1), 0);
    std::vector<uint8_t> read(4);
    EXPECT_EQ(mpiLink.read(7, 0, read), orva::plc::kS7DataBlockMissing);
    EXPECT_TRUE(mpiLink.isOpen());
    EXPECT_EQ(mpiLink.read(1, 0, read), 0);
    EXPECT_EQ(mpiLink.read(1, 0, std::span<uint8_t>()), orva::plc::kS7BadArgument);
}

TEST_F(SerialLinkTest, LinkFailuresGiveTheirConnectionLevelCodes)
{
    // Other line settings than the adapter's: it hears garbage and answers nothing.
    orva::mpi::LineSettings wrong = line;
    wrong.parity = orva::mpi::Parity::Even;
    MpiLink mpiLink(orva::mpi::LinkTimeouts{
        {std::chrono::milliseconds(50), std::chrono::milliseconds(100), 1}, std::chrono::milliseconds(300)});
    EXPECT_EQ(mpiLink.open(wrong, 0, {{2, 2}}), orva::mpi::kMpiAdapterSilent);
    EXPECT_FALSE(mpiLink.isOpen());

    // A station nobody answers for.
    ASSERT_EQ(mpiLink.open(line, 0, {{9, 2}}), 0);
    EXPECT_EQ(mpiLink.select(1), orva::mpi::kMpiStationSilent);
    EXPECT_FALSE(mpiLink.isOpen());                              // the failure closed the port,
    EXPECT_EQ(mpiLink.select(1), orva::mpi::kMpiStationSilent);  // the next selection opens it again
    mpiLink.close();
    EXPECT_EQ(mpiLink.select(1), orva::mpi::kMpiNotConnected);

    // The port taken by another program.
    MpiLink first;
    ASSERT_EQ(openLink(first), 0) << first.portProblem();
    orva::mpi::MpiS7Tool second;
    second.setSerial(line.port.c_str(), 38400, 8, 1, 0, 0);
    const uint8_t table[] = {2, 0, 2, 0, 0, 0, 1, 0};
    EXPECT_EQ(second.open(1, 0, table), orva::mpi::kMpiPortError);
    char text[orva::mpi::kMpiErrorTextCapacity];
    second.errorText(orva::mpi::kMpiPortError, text);
    EXPECT_NE(std::string(text).find("in use"), std::string::npos) << text;

    // The adapter switched off.
    first.close();
    adapter->setFaults({true, 0, 0});
    EXPECT_EQ(mpiLink.open(line, 0, {{2, 2}}), orva::mpi::kMpiAdapterSilent);
}

}  // namespace

TEST_F(SerialLinkTest, DataFileRecordsChangesNotEveryPoll)
{
    const std::filesystem::path file = link.string() + ".err";
    orva::mpi::MpiS7Tool tool;
    tool.setSerial(line.port.c_str(), 38400, 8, 1, 0, 0);
    char path[orva::mpi::kMpiDataFilePathCapacity] = {};
    file.string().copy(path, sizeof path - 1);
    tool.errorText(0, path);
    const uint8_t table[] = {2, 0, 2, 0, 3, 0, 2, 0, 0, 0, 1, 0};
    ASSERT_EQ(tool.open(1, 0, table), 0);
    uint8_t buffer[8];
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(tool.selectPlc(1), 0);
        ASSERT_EQ(tool.readBytes(1, 0, 8, buffer), 0);
        ASSERT_EQ(tool.selectPlc(2), 0);
        ASSERT_EQ(tool.readBytes(9, 0, 8, buffer), orva::plc::kS7DataBlockMissing);
    }
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string text; std::getline(in, text);)
        lines.push_back(text.substr(text.find(' ') + 1));
    std::filesystem::remove(file);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("adapter on " + line.port + " (38400 8 O 1): connected", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "PLC 1 MPI 2 slot 2: connected");
    EXPECT_EQ(lines[2], "PLC 2 MPI 3 slot 2: connected");
    EXPECT_EQ(lines[3].rfind("PLC 2 MPI 3 slot 2: error 80 ", 0), 0u) << lines[3];
}

TEST_F(SerialLinkTest, AnAdapterThatRestartsIsInitialisedAndConnectedAgain)
{
    adapter->setFaults({false, 3, 0});  // the 4th data request is lost with the adapter's state
    MpiLink mpiLink(orva::mpi::LinkTimeouts{
        {std::chrono::milliseconds(50), std::chrono::milliseconds(100), 1}, std::chrono::milliseconds(300)});
    ASSERT_EQ(openLink(mpiLink), 0);
    ASSERT_EQ(mpiLink.select(1), 0);  // data request 1: the communication set-up
    std::vector<uint8_t> read(4);
    EXPECT_EQ(mpiLink.read(1, 0, read), 0);
    EXPECT_EQ(mpiLink.read(1, 0, read), 0);
    EXPECT_EQ(mpiLink.read(1, 0, read), orva::mpi::kMpiStationSilent);
    EXPECT_EQ(mpiLink.select(1), 0);  // opened, initialised and connected anew
    EXPECT_EQ(mpiLink.read(1, 0, read), 0);
}
