#include "plcsim/PlcSimulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "SimulatorState.h"
#include "plc/IsoTransport.h"
#include "plc/S7Protocol.h"

namespace orva::plcsim {
namespace s7 = orva::plc::s7;
using plc::Deadline;
using plc::FrameStatus;
using plc::UniqueFd;

namespace {

using State = PlcSimulator::State;

// A peer that starts a frame must finish it within this time.
constexpr std::chrono::milliseconds kFrameTimeout{5000};
// How often waiting threads look at the stop event.
constexpr int kPollSliceMs = 100;
constexpr uint16_t kLocalReference = 0x4401;
constexpr uint8_t kTpduSize1024 = 0x0A;

bool stopRequested(const State& state)
{
    pollfd p{state.stopEvent.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

// Waits until fd is readable; false when the simulator stops first.
bool waitReadable(const State& state, int fd)
{
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {state.stopEvent.get(), POLLIN, 0}};
        const int n = ::poll(p, 2, kPollSliceMs);
        if (n < 0 && errno != EINTR) return false;
        if (n <= 0) continue;
        if (p[1].revents != 0) return false;
        if (p[0].revents != 0) return true;
    }
}

// Sleeps for delay unless the simulator stops first.
bool pause(const State& state, std::chrono::milliseconds delay)
{
    const Deadline deadline(delay);
    while (!deadline.expired()) {
        pollfd p{state.stopEvent.get(), POLLIN, 0};
        if (::poll(&p, 1, std::min(deadline.remainingMs(), kPollSliceMs)) > 0) return false;
    }
    return true;
}

bool send(int fd, const std::vector<uint8_t>& frame)
{
    return plc::sendAll(fd, frame, Deadline(kFrameTimeout)) == plc::IoStatus::Ok;
}

// COTP connection phase; true when the connection is confirmed.
bool acceptIsoConnection(State& state, int fd)
{
    if (!waitReadable(state, fd)) return false;
    std::vector<uint8_t> frame;
    if (plc::readFrame(fd, frame, Deadline(kFrameTimeout)) != FrameStatus::Ok) return false;
    s7::CotpFrame request;
    if (!s7::decodeCotp(std::span<const uint8_t>(frame).subspan(s7::kTpktHeaderSize), request) ||
        request.kind != s7::CotpKind::ConnectionRequest) {
        return false;
    }
    if (state.currentFaults().refuseIso) {
        send(fd, s7::encodeDisconnectRequest(request.srcRef, kLocalReference, 0x80));
        return false;
    }
    const uint8_t tpdu =
        request.tpduSizeCode == 0 ? kTpduSize1024 : std::min(request.tpduSizeCode, kTpduSize1024);
    return send(fd, s7::encodeConnectionConfirm(request.srcRef, kLocalReference, request.callingTsap,
                                                request.calledTsap, tpdu));
}

void serveConnection(State& state, int fd)
{
    if (state.currentFaults().refuseConnections) {
        plc::setAbortiveClose(fd);
        return;
    }
    if (!acceptIsoConnection(state, fd)) return;
    uint16_t pduSize = state.options.maxPduSize;
    int requests = 0;
    std::vector<uint8_t> pdu;
    while (waitReadable(state, fd)) {
        if (plc::readPdu(fd, pdu, Deadline(kFrameTimeout)) != FrameStatus::Ok) return;
        Job job;
        const JobStatus status = decodeJob(pdu, job);
        if (status == JobStatus::Malformed) return;
        const Faults faults = state.currentFaults();
        std::vector<uint8_t> answer;
        if (status == JobStatus::Unsupported) {
            answer = encodeErrorResponse(job.pduRef, s7::kAck, 0x81, 0x04);
        } else if (job.function == s7::kFunctionSetup) {
            pduSize = grantPduSize(state, job.requestedPduSize);
            answer = encodeSetupResponse(job.pduRef, pduSize);
        } else {
            if (faults.dropAfterRequests > 0 && requests >= faults.dropAfterRequests) {
                plc::setAbortiveClose(fd);
                return;
            }
            ++requests;
            answer = pdu.size() > pduSize ? encodeErrorResponse(job.pduRef, s7::kAckData, 0x85, 0x00)
                                          : answerJob(state, job, pduSize);
        }
        if (faults.responseDelay.count() > 0 && !pause(state, faults.responseDelay)) return;
        if (faults.corruptResponses && answer.size() >= 6) answer[5] ^= 0x5A;  // PDU reference
        if (!send(fd, s7::encodeDataFrame(answer))) return;
    }
}

void acceptLoop(State& state)
{
    while (!stopRequested(state)) {
        pollfd p[2] = {{state.listener.get(), POLLIN, 0}, {state.stopEvent.get(), POLLIN, 0}};
        const int n = ::poll(p, 2, kPollSliceMs);
        // Finished connection threads are joined here, so their number stays bounded.
        for (auto it = state.connectionThreads.begin(); it != state.connectionThreads.end();) {
            if (it->done) {
                it->thread.join();
                it = state.connectionThreads.erase(it);
            } else {
                ++it;
            }
        }
        if (n <= 0 || p[1].revents != 0 || p[0].revents == 0) continue;
        UniqueFd client(::accept4(state.listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client.valid()) continue;
        ++state.accepted;
        plc::setNoDelay(client.get());
        if (state.connections.load() >= state.options.maxConnections) {
            plc::setAbortiveClose(client.get());
            continue;
        }
        ++state.connections;
        auto& connection = state.connectionThreads.emplace_back();
        connection.fd = client.get();
        connection.thread = std::thread([&state, &connection, socket = std::move(client)]() mutable {
            serveConnection(state, socket.get());
            {
                const std::lock_guard lock(connection.fdMutex);
                socket.reset();
                connection.fd = -1;
            }
            --state.connections;
            connection.done = true;
        });
    }
    // A peer in the middle of a frame would hold its thread until the frame time-out: shut the
    // sockets down so that every thread ends at once.
    for (auto& connection : state.connectionThreads) {
        const std::lock_guard lock(connection.fdMutex);
        if (connection.fd >= 0) ::shutdown(connection.fd, SHUT_RDWR);
    }
    for (auto& connection : state.connectionThreads)
        connection.thread.join();
    state.connectionThreads.clear();
}

void animationLoop(State& state)
{
    const auto begin = std::chrono::steady_clock::now();
    for (uint32_t step = 1; pause(state, state.options.animationPeriod); ++step) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        animateStep(state, step, elapsed.count());
    }
}

}  // namespace

void animateStep(State& state, uint32_t step, double seconds)
{
    // Bytes 0-3: DWORD counter; 4-7: REAL sine of amplitude 100 and period 10 s;
    // byte 8: the counter's low byte, so bit n toggles every 2^n steps.
    const float sine = static_cast<float>(100.0 * std::sin(2.0 * M_PI * seconds / 10.0));
    uint32_t sineBits = 0;
    static_assert(sizeof sineBits == sizeof sine);
    std::memcpy(&sineBits, &sine, sizeof sine);
    const std::lock_guard lock(state.memoryMutex);
    for (const uint16_t number : state.options.animatedBlocks) {
        const auto found = state.blocks.find(number);
        if (found == state.blocks.end()) continue;
        std::vector<uint8_t>& block = found->second;
        for (size_t i = 0; i < 4 && i < block.size(); ++i)
            block[i] = static_cast<uint8_t>(step >> (24 - 8 * i));
        for (size_t i = 0; i < 4 && 4 + i < block.size(); ++i) {
            block[4 + i] = static_cast<uint8_t>(sineBits >> (24 - 8 * i));
        }
        if (block.size() > 8) block[8] = static_cast<uint8_t>(step);
    }
}

PlcSimulator::PlcSimulator(SimulatorOptions options) : state_(std::make_shared<State>(std::move(options)))
{
    for (const auto& [number, size] : state_->options.dataBlocks)
        state_->blocks[number].assign(size, 0);
}

PlcSimulator::~PlcSimulator()
{
    stop();
}

bool PlcSimulator::start(std::string* error)
{
    State& state = *state_;
    const std::lock_guard lock(state.serverMutex);
    if (state.running) return true;
    sockaddr_in local{};
    if (!plc::parseEndpoint(state.options.address, 0, local)) {
        if (error) *error = "not an IPv4 address: " + state.options.address;
        return false;
    }
    local.sin_port = htons(state.options.port);
    if (plc::listenTcp(local, 16, state.listener) != plc::IoStatus::Ok) {
        if (error)
            *error = "cannot listen on " + state.options.address + ":" + std::to_string(state.options.port);
        return false;
    }
    state.stopEvent.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!state.stopEvent.valid()) {
        state.listener.reset();
        if (error) *error = "cannot create an event";
        return false;
    }
    state.port = plc::localPort(state.listener.get());
    state.accepted = 0;
    state.running = true;
    state.acceptor = std::thread(acceptLoop, std::ref(state));
    if (!state.options.animatedBlocks.empty() && state.options.animationPeriod.count() > 0) {
        state.animator = std::thread(animationLoop, std::ref(state));
    }
    return true;
}

void PlcSimulator::stop()
{
    State& state = *state_;
    const std::lock_guard lock(state.serverMutex);
    if (!state.running) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(state.stopEvent.get(), &one, sizeof one);
    state.acceptor.join();
    if (state.animator.joinable()) state.animator.join();
    state.listener.reset();
    state.stopEvent.reset();
    state.running = false;
}

bool PlcSimulator::running() const
{
    return state_->running;
}
uint16_t PlcSimulator::port() const
{
    return state_->port;
}
std::string PlcSimulator::endpoint() const
{
    return state_->options.address + ":" + std::to_string(port());
}

void PlcSimulator::setDataBlock(uint16_t number, size_t size)
{
    const std::lock_guard lock(state_->memoryMutex);
    state_->blocks[number].resize(size, 0);
}

void PlcSimulator::removeDataBlock(uint16_t number)
{
    const std::lock_guard lock(state_->memoryMutex);
    state_->blocks.erase(number);
}

bool PlcSimulator::readMemory(uint16_t dataBlock, size_t startByte, std::span<uint8_t> out) const
{
    const std::lock_guard lock(state_->memoryMutex);
    const auto found = state_->blocks.find(dataBlock);
    if (found == state_->blocks.end() || startByte > found->second.size() ||
        out.size() > found->second.size() - startByte) {
        return false;
    }
    std::copy_n(found->second.begin() + static_cast<std::ptrdiff_t>(startByte), out.size(), out.begin());
    return true;
}

bool PlcSimulator::writeMemory(uint16_t dataBlock, size_t startByte, std::span<const uint8_t> bytes)
{
    const std::lock_guard lock(state_->memoryMutex);
    const auto found = state_->blocks.find(dataBlock);
    if (found == state_->blocks.end() || startByte > found->second.size() ||
        bytes.size() > found->second.size() - startByte) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), found->second.begin() + static_cast<std::ptrdiff_t>(startByte));
    return true;
}

bool PlcSimulator::updateMemory(uint16_t dataBlock, size_t startByte, size_t length,
                                const std::function<void(std::span<uint8_t>)>& change)
{
    const std::lock_guard lock(state_->memoryMutex);
    const auto found = state_->blocks.find(dataBlock);
    if (found == state_->blocks.end() || startByte > found->second.size() ||
        length > found->second.size() - startByte) {
        return false;
    }
    change(std::span<uint8_t>(found->second).subspan(startByte, length));
    return true;
}

std::optional<std::vector<uint8_t>> PlcSimulator::dataBlock(uint16_t number) const
{
    const std::lock_guard lock(state_->memoryMutex);
    const auto found = state_->blocks.find(number);
    if (found == state_->blocks.end()) return std::nullopt;
    return found->second;
}

void PlcSimulator::setFaults(const Faults& faults)
{
    const std::lock_guard lock(state_->faultMutex);
    state_->faults = faults;
}

Faults PlcSimulator::faults() const
{
    return state_->currentFaults();
}

std::vector<RequestRecord> PlcSimulator::requests() const
{
    const std::lock_guard lock(state_->logMutex);
    return {state_->records.begin(), state_->records.end()};
}

void PlcSimulator::clearRequests()
{
    const std::lock_guard lock(state_->logMutex);
    state_->records.clear();
}

int PlcSimulator::connectionCount() const
{
    return state_->connections;
}
uint64_t PlcSimulator::acceptedConnections() const
{
    return state_->accepted;
}

}  // namespace orva::plcsim
