// The block procedure over a socket pair, with the far end scripted byte by byte: noise before
// STX, a block arriving in single bytes, NAK and repeat, a block that never ends.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "common/UniqueFd.h"
#include "mpi/LineProcedure.h"

namespace {

using namespace std::chrono_literals;
using orva::common::UniqueFd;

class LineProcedureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        near.reset(fds[0]);
        far.reset(fds[1]);
    }
    void send(std::initializer_list<uint8_t> bytes) { send(std::vector<uint8_t>(bytes)); }
    void send(const std::vector<uint8_t>& bytes)
    {
        for (const uint8_t b : bytes) {
            ASSERT_EQ(::write(far.get(), &b, 1), 1);
            std::this_thread::sleep_for(1ms);  // arrives byte by byte
        }
    }
    // The next byte the procedure sent, waiting up to a second.
    int answer()
    {
        for (int i = 0; i < 1000; ++i) {
            uint8_t b = 0;
            if (::read(far.get(), &b, 1) == 1) return b;
            std::this_thread::sleep_for(1ms);
        }
        return -1;
    }

    UniqueFd near;
    UniqueFd far;
    orva::mpi::LineTimeouts timeouts{50ms, 200ms, 2, false};
};

TEST_F(LineProcedureTest, SkipsNoiseTakesBytesOneByOneAndRefusesABadBlockUntilItsRepeat)
{
    orva::mpi::LineProcedure line(near.get(), timeouts);
    std::vector<uint8_t> payload;
    std::thread receiver([&] { EXPECT_EQ(line.receive(payload, 2000ms), orva::mpi::LineStatus::Ok); });
    const std::vector<uint8_t> good = orva::mpi::encodeBlock(std::vector<uint8_t>{0x03, 0x10, 0x55});
    std::vector<uint8_t> bad = good;
    bad.back() ^= 0x01;
    send({0x55, 0x10, 0xFF});  // noise between frames
    send({orva::mpi::kStx});
    EXPECT_EQ(answer(), orva::mpi::kDle);
    send(bad);
    EXPECT_EQ(answer(), orva::mpi::kNak);
    send({orva::mpi::kStx});
    EXPECT_EQ(answer(), orva::mpi::kDle);
    send(good);
    EXPECT_EQ(answer(), orva::mpi::kDle);
    receiver.join();
    EXPECT_EQ(payload, (std::vector<uint8_t>{0x03, 0x10, 0x55}));
}

TEST_F(LineProcedureTest, ABlockThatNeverEndsIsDroppedAfterBoundedRepeats)
{
    orva::mpi::LineProcedure line(near.get(), timeouts);
    std::vector<uint8_t> payload;
    orva::mpi::LineStatus status = orva::mpi::LineStatus::Ok;
    std::thread receiver([&] { status = line.receive(payload, 2000ms); });
    for (int attempt = 0; attempt <= timeouts.repeats; ++attempt) {
        send({orva::mpi::kStx});
        ASSERT_EQ(answer(), orva::mpi::kDle);
        // Far more than a block may hold, then silence: the receiver drains, then refuses.
        const std::vector<uint8_t> endless(orva::mpi::kMaxPayload + 100, 0x41);
        ASSERT_EQ(::write(far.get(), endless.data(), endless.size()), static_cast<ssize_t>(endless.size()));
        ASSERT_EQ(answer(), orva::mpi::kNak);
    }
    receiver.join();
    EXPECT_EQ(status, orva::mpi::LineStatus::Garbled);
    EXPECT_TRUE(payload.empty());
}

TEST_F(LineProcedureTest, SenderRepeatsAfterNakAndReportsAPeerThatNeverAnswers)
{
    orva::mpi::LineProcedure line(near.get(), timeouts);
    orva::mpi::LineStatus status = orva::mpi::LineStatus::Ok;
    std::thread sender([&] { status = line.send(std::vector<uint8_t>{0x10}); });
    EXPECT_EQ(answer(), orva::mpi::kStx);
    send({orva::mpi::kDle});
    for (const int expected : {0x10, 0x10, 0x10, 0x03, 0x13})  // 10 doubled, DLE ETX, BCC 13
        EXPECT_EQ(answer(), expected);
    send({orva::mpi::kNak});
    EXPECT_EQ(answer(), orva::mpi::kStx);  // repeated from STX
    send({orva::mpi::kDle});
    for (int i = 0; i < 5; ++i)
        answer();
    send({orva::mpi::kDle});
    sender.join();
    EXPECT_EQ(status, orva::mpi::LineStatus::Ok);

    // Nobody answers STX: bounded attempts, then Silent.
    EXPECT_EQ(line.send(std::vector<uint8_t>{0x01}), orva::mpi::LineStatus::Silent);
}

}  // namespace
