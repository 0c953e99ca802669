#include "plcsim/SerialAdapter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "mpi/AdapterMessages.h"
#include "mpi/LineProcedure.h"

namespace orva::plcsim {
namespace {

using Clock = std::chrono::steady_clock;

// Books every byte on a half-duplex line of the given speed and holds writes back until the
// line would be free.
class LinePacing final : public mpi::LinePacer {
public:
    explicit LinePacing(const mpi::LineSettings& line)
        : character_(std::chrono::nanoseconds(1000000000ull * line.bitsPerCharacter() / line.baudrate))
    {
    }
    void received(size_t bytes) override { book(bytes); }
    void beforeSend(size_t bytes) override
    {
        std::this_thread::sleep_until(free_);
        book(bytes);
    }

private:
    void book(size_t bytes) { free_ = std::max(free_, Clock::now()) + character_ * static_cast<long>(bytes); }
    std::chrono::nanoseconds character_;
    Clock::time_point free_ = Clock::now();
};

}  // namespace

SerialAdapter::SerialAdapter(SerialOptions options, std::vector<SerialStation> stations)
    : options_(std::move(options)), stations_(std::move(stations))
{
}

SerialAdapter::~SerialAdapter()
{
    stop();
}

void SerialAdapter::say(const std::string& text) const
{
    if (options_.say) options_.say(text);
}

bool SerialAdapter::start(std::string* error)
{
    const auto failed = [&](const std::string& what) {
        if (error != nullptr) *error = what;
        master_.reset();
        slave_.reset();
        return false;
    };
    master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master_.valid() || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0)
        return failed(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    char name[128];
    if (::ptsname_r(master_.get(), name, sizeof name) != 0) return failed("cannot name the pseudo-terminal");
    device_ = name;
    slave_.reset(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave_.valid()) return failed(std::string("cannot open ") + name + ": " + std::strerror(errno));
    // Raw, and at the adapter's own settings until the other side sets its own.
    termios attributes{};
    ::tcgetattr(slave_.get(), &attributes);
    ::cfmakeraw(&attributes);
    const speed_t speed = mpi::speedFor(options_.line.baudrate);
    if (speed != 0) ::cfsetspeed(&attributes, speed);
    if (options_.line.stopBits == 2) attributes.c_cflag |= CSTOPB;
    if (options_.line.parity != mpi::Parity::None) attributes.c_iflag |= INPCK;
    if (options_.line.parity == mpi::Parity::Odd) attributes.c_cflag |= PARODD;
    if (options_.line.dataBits < 8) attributes.c_iflag |= ISTRIP;
    ::tcsetattr(slave_.get(), TCSANOW, &attributes);

    // The link replaces a stale one left by a simulator that did not stop in order.
    std::error_code ignored;
    const std::filesystem::path link(options_.link);
    if (std::filesystem::exists(std::filesystem::symlink_status(link)) && !std::filesystem::is_symlink(link))
        return failed(options_.link + " exists and is not a symbolic link");
    const std::filesystem::path temporary = link.string() + ".new";
    std::filesystem::remove(temporary, ignored);
    std::filesystem::create_symlink(device_, temporary, ignored);
    if (ignored) return failed("cannot create the link " + options_.link + ": " + ignored.message());
    std::filesystem::rename(temporary, link, ignored);
    if (ignored) return failed("cannot create the link " + options_.link + ": " + ignored.message());

    stopEvent_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    initialised_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void SerialAdapter::stop()
{
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopEvent_.get(), &one, sizeof one);
    thread_.join();
    std::error_code ignored;
    if (std::filesystem::read_symlink(options_.link, ignored) == device_)
        std::filesystem::remove(options_.link, ignored);
    slave_.reset();
    master_.reset();
    stopEvent_.reset();
}

void SerialAdapter::setFaults(const SerialFaults& faults)
{
    const std::lock_guard lock(mutex_);
    faults_ = faults;
}

std::optional<mpi::LineSettings> SerialAdapter::peerSettings() const
{
    const std::lock_guard lock(mutex_);
    return peer_;
}

void SerialAdapter::releaseAbandonedPort()
{
    // The adapter keeps the pseudo-terminal open, so a program that ended without giving the port
    // up would leave it exclusive for good. A real port is free once its last user closed it:
    // when nobody holds the port's lock, its exclusive mode is cleared.
    if (::flock(slave_.get(), LOCK_EX | LOCK_NB) != 0) return;
    ::ioctl(slave_.get(), TIOCNXCL);
    ::flock(slave_.get(), LOCK_UN);
}

bool SerialAdapter::settingsMatch()
{
    termios attributes{};
    if (::tcgetattr(master_.get(), &attributes) != 0) return false;
    mpi::LineSettings seen = mpi::settingsOf(attributes);
    mpi::LineSettings own = options_.line;
    own.port.clear();
    const bool match = seen == own;
    const auto text = [](const mpi::LineSettings& s) {
        return mpi::describeLine(s.baudrate, s.dataBits, s.parity, s.stopBits);
    };
    bool changed = false;
    {
        const std::lock_guard lock(mutex_);
        changed = !peer_ || !(*peer_ == seen);
        peer_ = seen;
    }
    if (changed) say("line settings of the other side: " + text(seen));
    if (!match && (changed || lastMatch_))
        say("they differ from the adapter's " + text(own) + ": not answering");
    lastMatch_ = match;
    return match;
}

void SerialAdapter::run()
{
    mpi::LineTimeouts timeouts;
    timeouts.yieldsToPeer = true;
    std::optional<LinePacing> pacing;
    if (options_.paced) pacing.emplace(options_.line);
    mpi::LineProcedure line(master_.get(), timeouts, pacing ? &*pacing : nullptr, stopEvent_.get());
    std::vector<uint8_t> payload;
    for (;;) {
        if (!line.hasBufferedInput()) {
            pollfd p[2] = {{master_.get(), POLLIN, 0}, {stopEvent_.get(), POLLIN, 0}};
            const int n = ::poll(p, 2, 200);
            if (n < 0 && errno != EINTR) return;
            if (p[1].revents != 0) return;
            if (n == 0) releaseAbandonedPort();
            if (n <= 0 || (p[0].revents & POLLIN) == 0) continue;
        }
        SerialFaults faults;
        {
            const std::lock_guard lock(mutex_);
            faults = faults_;
        }
        if (!settingsMatch() || faults.silent) {
            line.discardInput();
            continue;
        }
        const mpi::LineStatus status = line.receive(payload, timeouts.acknowledgement);
        if (status == mpi::LineStatus::Stopped) return;
        if (status != mpi::LineStatus::Ok) continue;
        bool silent = false;
        const std::vector<uint8_t> reply = answer(payload, silent);
        if (silent || reply.empty()) continue;
        ++blocksSent_;
        const bool corrupt =
            faults.badCheckEvery > 0 && blocksSent_ % static_cast<uint64_t>(faults.badCheckEvery) == 0;
        if (line.send(reply, corrupt) == mpi::LineStatus::Stopped) return;
    }
}

std::vector<uint8_t> SerialAdapter::answer(const std::vector<uint8_t>& payload, bool& silent)
{
    mpi::Message message;
    if (!mpi::decodeFromPc(payload, message)) return mpi::encodeError(mpi::kAdapterBadMessage);
    switch (message.type) {
        case mpi::MessageType::Init:
            initialised_ = true;
            requestsSinceStart_ = 0;
            for (auto& connection : connections_)
                connection.reset();
            return mpi::encodeInitReply(mpi::kReplyOk);
        case mpi::MessageType::Ack:
            return {};
        default:
            break;
    }
    if (!initialised_) return mpi::encodeError(mpi::kAdapterNotInitialised);
    auto& connection = connections_[message.connection];
    switch (message.type) {
        case mpi::MessageType::Connect: {
            connection.reset();
            uint8_t status = mpi::kReplyStationAbsent;
            for (size_t i = 0; i < stations_.size(); ++i) {
                if (stations_[i].address != message.address) continue;
                status = mpi::kReplyStationRefused;
                if (stations_[i].slot != message.slot) continue;
                connection = Connection{i, 240};
                status = mpi::kReplyOk;
                break;
            }
            return mpi::encodeReply(mpi::MessageType::ConnectReply, message.connection, status);
        }
        case mpi::MessageType::Disconnect:
            connection.reset();
            return mpi::encodeReply(mpi::MessageType::DisconnectReply, message.connection, mpi::kReplyOk);
        case mpi::MessageType::Data: {
            if (!connection) return mpi::encodeError(mpi::kAdapterNoConnection);
            ++dataRequests_;
            SerialFaults faults;
            {
                const std::lock_guard lock(mutex_);
                faults = faults_;
            }
            if (faults.dropAfter > 0 && ++requestsSinceStart_ > static_cast<uint64_t>(faults.dropAfter)) {
                say("adapter dropped: connections and initialisation lost");
                initialised_ = false;
                requestsSinceStart_ = 0;
                for (auto& c : connections_)
                    c.reset();
                silent = true;
                return {};
            }
            const auto pdu = stations_[connection->station].plc->answerPdu(message.pdu, connection->pduSize);
            if (!pdu) return mpi::encodeError(mpi::kAdapterBadMessage);
            return mpi::encodeData(mpi::MessageType::DataReply, message.connection, message.sequence, *pdu);
        }
        default:
            return mpi::encodeError(mpi::kAdapterUnknownMessage);
    }
}

}  // namespace orva::plcsim
