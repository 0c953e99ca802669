#include "mpi/LineProcedure.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace orva::mpi {
namespace {

using Clock = std::chrono::steady_clock;

// A block that never ends is drained for at most this many bytes before it is refused.
constexpr size_t kDrainLimit = 4 * kMaxPayload;
constexpr size_t kReadChunk = 512;
constexpr std::chrono::milliseconds kWriteTimeout{2000};

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

}  // namespace

LineProcedure::LineProcedure(int fd, LineTimeouts timeouts, LinePacer* pacer, int stopFd)
    : fd_(fd), timeouts_(timeouts), pacer_(pacer), stopFd_(stopFd)
{
}

void LineProcedure::discardInput()
{
    input_.clear();
    inputPos_ = 0;
    uint8_t scratch[kReadChunk];
    for (int i = 0; i < 64; ++i) {
        const ssize_t n = ::read(fd_, scratch, sizeof scratch);
        if (n <= 0) break;
        received_ += static_cast<uint64_t>(n);
        if (pacer_ != nullptr) pacer_->received(static_cast<size_t>(n));
    }
}

LineProcedure::ByteStatus LineProcedure::fill(Clock::time_point deadline)
{
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int n = ::poll(p, stopFd_ >= 0 ? 2 : 1, remainingMs(deadline));
        if (n < 0) {
            if (errno == EINTR) continue;
            return ByteStatus::PortError;
        }
        if (n == 0) return ByteStatus::Timeout;
        if (stopFd_ >= 0 && p[1].revents != 0) return ByteStatus::Stopped;
        uint8_t chunk[kReadChunk];
        const ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got > 0) {
            input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(inputPos_));
            inputPos_ = 0;
            input_.insert(input_.end(), chunk, chunk + got);
            received_ += static_cast<uint64_t>(got);
            if (pacer_ != nullptr) pacer_->received(static_cast<size_t>(got));
            return ByteStatus::Ok;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // End of file or an error: the port is gone (a removed adapter, a closed pseudo-terminal).
        return ByteStatus::PortError;
    }
}

LineProcedure::ByteStatus LineProcedure::nextByte(uint8_t& byte, Clock::time_point deadline)
{
    if (inputPos_ >= input_.size()) {
        const ByteStatus status = fill(deadline);
        if (status != ByteStatus::Ok) return status;
    }
    byte = input_[inputPos_++];
    return ByteStatus::Ok;
}

bool LineProcedure::write(std::span<const uint8_t> bytes)
{
    if (pacer_ != nullptr) pacer_->beforeSend(bytes.size());
    const auto deadline = Clock::now() + kWriteTimeout;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0) return false;
    }
    sent_ += bytes.size();
    return true;
}

LineStatus LineProcedure::send(std::span<const uint8_t> payload, bool corruptCheck)
{
    std::vector<uint8_t> block = encodeBlock(payload);
    bool anyAnswer = false;
    for (int attempt = 0; attempt <= timeouts_.repeats; ++attempt) {
        std::vector<uint8_t> wire = block;
        if (corruptCheck && attempt == 0) wire.back() ^= 0xFF;
        if (!writeByte(kStx)) return LineStatus::PortError;
        // STX: wait for DLE (ready) or NAK (not ready); anything else is noise on the line.
        auto deadline = Clock::now() + timeouts_.acknowledgement;
        uint8_t byte = 0;
        bool ready = false;
        bool refused = false;
        while (!ready && !refused) {
            const ByteStatus status = nextByte(byte, deadline);
            if (status == ByteStatus::PortError) return LineStatus::PortError;
            if (status == ByteStatus::Stopped) return LineStatus::Stopped;
            if (status == ByteStatus::Timeout) break;
            if (byte == kStx && timeouts_.yieldsToPeer) {
                --inputPos_;
                return LineStatus::Rejected;
            }
            ready = byte == kDle;
            refused = byte == kNak;
        }
        if (!ready) {
            anyAnswer = anyAnswer || refused;
            continue;
        }
        anyAnswer = true;
        if (!write(wire)) return LineStatus::PortError;
        deadline = Clock::now() + timeouts_.acknowledgement;
        for (;;) {
            const ByteStatus status = nextByte(byte, deadline);
            if (status == ByteStatus::PortError) return LineStatus::PortError;
            if (status == ByteStatus::Stopped) return LineStatus::Stopped;
            if (status == ByteStatus::Timeout || byte == kNak) break;
            if (byte == kDle) return LineStatus::Ok;
            if (byte == kStx && timeouts_.yieldsToPeer) {
                --inputPos_;
                return LineStatus::Ok;
            }
        }
    }
    return anyAnswer ? LineStatus::Rejected : LineStatus::Silent;
}

LineProcedure::ByteStatus LineProcedure::readBlock()
{
    decoder_.reset();
    while (decoder_.state() == BlockDecoder::State::Receiving) {
        if (inputPos_ >= input_.size()) {
            const ByteStatus status = fill(Clock::now() + timeouts_.characterGap);
            if (status != ByteStatus::Ok) return status;
        }
        inputPos_ += decoder_.feed(std::span<const uint8_t>(input_).subspan(inputPos_));
    }
    return ByteStatus::Ok;
}

LineProcedure::ByteStatus LineProcedure::drainBlock()
{
    input_.clear();
    inputPos_ = 0;
    size_t drained = 0;
    for (;;) {
        const ByteStatus status = fill(Clock::now() + timeouts_.characterGap);
        if (status != ByteStatus::Ok) return status == ByteStatus::Timeout ? ByteStatus::Ok : status;
        drained += input_.size();
        input_.clear();
        if (drained > kDrainLimit) return ByteStatus::Ok;
    }
}

LineStatus LineProcedure::receive(std::vector<uint8_t>& payload, std::chrono::milliseconds startWithin)
{
    auto deadline = Clock::now() + startWithin;
    for (int attempt = 0;;) {
        uint8_t byte = 0;
        ByteStatus status = ByteStatus::Ok;
        do {
            status = nextByte(byte, deadline);
        } while (status == ByteStatus::Ok && byte != kStx);
        if (status == ByteStatus::PortError) return LineStatus::PortError;
        if (status == ByteStatus::Stopped) return LineStatus::Stopped;
        if (status == ByteStatus::Timeout) return attempt == 0 ? LineStatus::Timeout : LineStatus::Garbled;

        if (!writeByte(kDle)) return LineStatus::PortError;
        status = readBlock();
        if (status == ByteStatus::PortError) return LineStatus::PortError;
        if (status == ByteStatus::Stopped) return LineStatus::Stopped;
        if (status == ByteStatus::Ok && decoder_.state() == BlockDecoder::State::Complete) {
            if (!writeByte(kDle)) return LineStatus::PortError;
            payload = decoder_.payload();
            return LineStatus::Ok;
        }
        if (status == ByteStatus::Ok && decoder_.state() == BlockDecoder::State::TooLong) {
            status = drainBlock();
            if (status == ByteStatus::PortError) return LineStatus::PortError;
            if (status == ByteStatus::Stopped) return LineStatus::Stopped;
        }
        // A bad check, a malformed or too long block, or a block that stopped half-way: refuse
        // it, and wait for the sender's repeat.
        if (!writeByte(kNak)) return LineStatus::PortError;
        if (++attempt > timeouts_.repeats) return LineStatus::Garbled;
        deadline = Clock::now() + timeouts_.acknowledgement * 2;
    }
}

}  // namespace orva::mpi
