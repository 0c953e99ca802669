#include "opcua/Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "EngineInternal.h"
#include "crypto/ServerSecurity.h"
#include "net/Acceptor.h"
#include "net/Connection.h"
#include "net/HostAddresses.h"
#include "opcua/Binary.h"
#include "opcua/Transport.h"

namespace orva::opcua {

namespace {
using Clock = std::chrono::steady_clock;

constexpr size_t kMaxPendingOutput = 64u * 1024 * 1024;  // a client that stops reading is dropped
constexpr auto kCloseFlushTime = std::chrono::seconds(2);
constexpr auto kRefusalLogInterval = std::chrono::minutes(1);  // per client address
constexpr size_t kRefusalLogMemory = 1024;                     // addresses remembered for that
}  // namespace

// The network thread: the acceptor, every connection (each with its secure channel) and the
// engine, which owns the sessions.
struct Server::Impl {
    Backend& backend;
    ServerOptions options;
    std::string errorText;
    Acceptor acceptor;
    int wakeFd = -1;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<size_t> sessions{0};
    std::atomic<bool> shutdownDone{false};
    std::mutex shutdownLock;
    bool shutdownRequested = false;
    std::string shutdownReason;
    std::chrono::milliseconds shutdownGrace{0};
    std::optional<Clock::time_point> shutdownDeadline;
    std::function<void()> lastSessionHook;

    std::unique_ptr<Engine> engine;
    std::mutex eventLock;                                    // guards eventTarget against start and stop
    Engine* eventTarget = nullptr;                           // the engine while it runs
    std::map<int, std::unique_ptr<Connection>> connections;  // by fd
    std::map<uint32_t, int> channels;                        // channel id -> fd
    ChannelNumbers numbers;
    std::shared_ptr<ServerSecurity> security;
    std::map<std::string, Clock::time_point> lastRefusalLogged;  // by client address

    // Logs a refused client, once a minute per address at most, so a client that hammers the
    // port cannot flood the log.
    void logRefusal(const std::string& address, const std::string& why);

    Impl(Backend& b, ServerOptions o) : backend(b), options(std::move(o)) {}

    void wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd, &one, sizeof one);
    }

    bool bindAndListen();
    bool buildSecurity();
    void run();
    void accept();
    void readFrom(Connection& c);
    void flush(Connection& c);
    void processInput(Connection& c);
    bool processChunk(Connection& c, std::span<const uint8_t> chunk);
    bool openChannel(Connection& c, std::span<const uint8_t> chunk);
    void send(uint32_t channelId, uint32_t requestId, std::vector<uint8_t> body);
    void sendOn(Connection& c, MessageType type, uint32_t requestId, std::span<const uint8_t> body);
    void fail(Connection& c, StatusCode error, const std::string& reason);
    void closeChannel(Connection& c);
    void beginClose(Connection& c);
    void drop(int fd);
    void checkShutdown(Clock::time_point t);
};

bool Server::Impl::bindAndListen()
{
    if (!acceptor.listen(options.address, options.port, errorText)) return false;
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return wakeFd >= 0;
}

bool Server::Impl::buildSecurity()
{
    auto built = std::make_shared<ServerSecurity>();
    CertificateSubject subject;
    subject.commonName = options.info.applicationName;
    subject.applicationUri = options.info.applicationUri;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0] != 0) subject.dnsNames.emplace_back(host);
    subject.dnsNames.emplace_back("localhost");
    subject.ipAddresses = certificateAddresses(options.address);
    std::string warning;
    if (!ServerSecurity::build(options.security, options.address, subject, *built, errorText, warning))
        return false;
    built->log = options.log;
    if (!warning.empty() && options.log) options.log(warning);
    security = std::move(built);
    return true;
}

void Server::Impl::run()
{
    std::vector<pollfd> fds;
    auto nextTick = Clock::now();
    while (!stopping.load()) {
        fds.clear();
        fds.push_back({wakeFd, POLLIN, 0});
        fds.push_back({acceptor.fd(), POLLIN, 0});
        for (auto& [fd, c] : connections) {
            short events = c->closing ? 0 : POLLIN;
            if (c->outPos < c->out.size()) events |= POLLOUT;
            fds.push_back({fd, events, 0});
        }
        const auto t0 = Clock::now();
        int timeoutMs = static_cast<int>(std::clamp<int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - t0).count() + 1, 0, 200));
        ::poll(fds.data(), fds.size(), timeoutMs);

        if (fds[0].revents & POLLIN) {
            uint64_t v;
            [[maybe_unused]] const auto n = ::read(wakeFd, &v, sizeof v);
        }
        engine->processInbox();
        if (fds[1].revents & POLLIN) accept();
        for (size_t i = 2; i < fds.size(); ++i) {
            const auto it = connections.find(fds[i].fd);
            if (it == connections.end()) continue;
            Connection& c = *it->second;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) readFrom(c);
            if (connections.contains(fds[i].fd) && (fds[i].revents & POLLOUT)) flush(c);
        }
        const auto t = Clock::now();
        // Connections that are done or overdue.
        std::vector<int> toDrop;
        for (auto& [fd, c] : connections) {
            if (c->closing && (c->outPos >= c->out.size() || t > c->closeDeadline)) {
                toDrop.push_back(fd);
            } else if (!c->closing && c->channelId() == 0 && t > c->openDeadline) {
                fail(*c, status::BadTimeout, "no secure channel opened in time");
            } else if (!c->closing && c->channel && c->channel->expired(t)) {
                fail(*c, status::BadSecureChannelTokenUnknown, "security token expired");
            }
        }
        for (const int fd : toDrop)
            drop(fd);
        nextTick = engine->tick(t);
        checkShutdown(t);
        sessions.store(engine->sessionCount());
    }
}

void Server::Impl::checkShutdown(Clock::time_point t)
{
    {
        std::lock_guard lock(shutdownLock);
        if (shutdownRequested && !shutdownDeadline) {
            engine->beginShutdown(shutdownReason, shutdownGrace);
            shutdownDeadline = t + shutdownGrace;
        }
    }
    if (!shutdownDeadline || t < *shutdownDeadline || shutdownDone.load()) return;
    engine->closeAllSessions();
    for (auto& [fd, c] : connections) {
        if (!c->closing) fail(*c, status::BadShutdown, "Server shutdown");
    }
    if (connections.empty()) shutdownDone.store(true);
}

void Server::Impl::accept()
{
    for (int i = 0; i < 64; ++i) {
        const int fd = acceptor.acceptOne();
        if (fd < 0) return;
        Connection& c = *connections.emplace(fd, std::make_unique<Connection>(fd)).first->second;
        c.openDeadline = Clock::now() + std::chrono::milliseconds(options.limits.helloTimeoutMs);
        // Connections already closing do not count: they are gone within the flush time.
        const auto fromPeer = std::count_if(connections.begin(), connections.end(), [&](const auto& entry) {
            return !entry.second->closing && entry.second->peerAddress == c.peerAddress;
        });
        if (shutdownDone.load() || (shutdownDeadline && Clock::now() >= *shutdownDeadline)) {
            fail(c, status::BadShutdown, "Server shutdown");
        } else if (connections.size() > options.limits.maxConnections) {
            fail(c, status::BadTcpServerTooBusy, "too many connections");
            logRefusal(c.peerAddress, "the server has too many connections");
        } else if (static_cast<uint32_t>(fromPeer) > options.limits.maxConnectionsPerAddress) {
            fail(c, status::BadTcpServerTooBusy, "too many connections from this address");
            logRefusal(c.peerAddress, "too many connections from this address");
        }
    }
}

void Server::Impl::logRefusal(const std::string& address, const std::string& why)
{
    const auto now = Clock::now();
    const auto it = lastRefusalLogged.find(address);
    if (it != lastRefusalLogged.end() && now - it->second < kRefusalLogInterval) return;
    if (lastRefusalLogged.size() >= kRefusalLogMemory)
        std::erase_if(lastRefusalLogged,
                      [&](const auto& entry) { return now - entry.second >= kRefusalLogInterval; });
    if (lastRefusalLogged.size() >= kRefusalLogMemory) return;  // a flood of addresses: stay quiet
    lastRefusalLogged[address] = now;
    const std::string line = "OPC UA connection from " + address + " refused: " + why;
    if (options.log)
        options.log(line);
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

void Server::Impl::readFrom(Connection& c)
{
    const int fd = c.fd;
    uint8_t buffer[65536];
    // Bounded: one buffer-full per pass, so a fast client cannot starve the others.
    for (int pass = 0; pass < 4; ++pass) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            drop(fd);
            return;
        }
        if (n < 0) break;
        if (c.closing) continue;  // discard whatever comes after an error
        c.in.insert(c.in.end(), buffer, buffer + n);
        processInput(c);
        if (!connections.contains(fd)) return;
        if (static_cast<size_t>(n) < sizeof buffer) break;
    }
}

void Server::Impl::processInput(Connection& c)
{
    size_t consumed = 0;
    while (!c.closing) {
        const auto rest = std::span<const uint8_t>(c.in).subspan(consumed);
        if (rest.size() < kHeaderSize) break;
        MessageHeader h;
        if (const StatusCode s = parseHeader(rest, h); isBad(s)) {
            fail(c, s, "malformed message header");
            break;
        }
        if (h.size > (c.helloDone ? c.receiveBufferSize : kMinBufferSize)) {
            fail(c, status::BadTcpMessageTooLarge, "chunk larger than the receive buffer");
            break;
        }
        if (rest.size() < h.size) break;
        if (!processChunk(c, rest.first(h.size))) break;
        consumed += h.size;
    }
    if (c.closing) {
        c.in.clear();
        return;
    }
    c.in.erase(c.in.begin(), c.in.begin() + static_cast<ptrdiff_t>(consumed));
}

bool Server::Impl::processChunk(Connection& c, std::span<const uint8_t> chunk)
{
    MessageHeader h;
    parseHeader(chunk, h);
    std::string reason;
    if (h.type == MessageType::Hello) {
        if (const StatusCode s = c.hello(chunk, options.limits, security.get(), reason); isBad(s)) {
            fail(c, s, reason);
            return false;
        }
        flush(c);
        return connections.contains(c.fd);
    }
    if (!c.helloDone ||
        (h.type != MessageType::Open && h.type != MessageType::Message && h.type != MessageType::Close)) {
        fail(c, status::BadTcpMessageTypeInvalid, "unexpected message type");
        return false;
    }
    if (h.type == MessageType::Open) return openChannel(c, chunk);
    SecureChunk sc;
    if (const StatusCode s = c.channel->receive(chunk, Clock::now(), sc, reason); isBad(s)) {
        fail(c, s, reason);
        return false;
    }
    if (sc.type == MessageType::Close) {
        closeChannel(c);
        beginClose(c);
        return false;
    }
    std::vector<uint8_t> message;
    switch (c.channel->assemble(sc, message)) {
        case ChunkAssembler::Result::Incomplete:
        case ChunkAssembler::Result::Aborted:
            return true;
        case ChunkAssembler::Result::Error:
            fail(c, status::BadTcpMessageTooLarge, "too many messages in progress");
            return false;
        case ChunkAssembler::Result::TooLarge: {
            std::vector<uint8_t> fault;
            Writer w(fault);
            w.nodeId(NodeId::num(svc::ServiceFault));
            writeResponseHeader(w, 0, status::BadRequestTooLarge);
            sendOn(c, MessageType::Message, sc.requestId, fault);
            return true;
        }
        case ChunkAssembler::Result::Complete:
            break;
    }
    const int fd = c.fd;
    engine->handleMessage(c.channelId(), sc.requestId, message, c.endpointUrl, &c.channel->security());
    const auto it = connections.find(fd);
    return it != connections.end() && !it->second->closing;
}

bool Server::Impl::openChannel(Connection& c, std::span<const uint8_t> chunk)
{
    const bool wasOpen = c.channel->isOpen();
    std::vector<uint8_t> body;
    std::string reason;
    uint32_t requestId = 0;
    if (const StatusCode s =
            c.channel->open(chunk, options.limits, numbers, Clock::now(), body, requestId, reason);
        isBad(s)) {
        if (security && security->log) security->log("secure channel refused: " + reason);
        // Failed security checks are not explained to the client beyond their status.
        const bool quiet = s == status::BadSecurityChecksFailed || s == status::BadCertificateInvalid;
        fail(c, s, quiet ? std::string() : reason);
        return false;
    }
    if (!wasOpen) channels[c.channel->id()] = c.fd;
    sendOn(c, MessageType::Open, requestId, body);
    return connections.contains(c.fd);
}

void Server::Impl::sendOn(Connection& c, MessageType type, uint32_t requestId, std::span<const uint8_t> body)
{
    const size_t before = c.out.size();
    StatusCode s = c.channel->encode(type, requestId, body, c.peer, c.out);
    if (s == status::BadResponseTooLarge) {
        c.out.resize(before);
        // Tell the client which request failed instead of sending what it cannot take.
        Reader r(body);
        r.nodeId();
        r.dateTime();
        const uint32_t handle = r.u32();
        std::vector<uint8_t> fault;
        Writer w(fault);
        w.nodeId(NodeId::num(svc::ServiceFault));
        writeResponseHeader(w, handle, status::BadResponseTooLarge);
        c.channel->encode(type, requestId, fault, c.peer, c.out);
    }
    if (c.out.size() - c.outPos > kMaxPendingOutput) {
        c.out.clear();
        c.outPos = 0;
        fail(c, status::BadTcpNotEnoughResources, "client does not read its responses");
        return;
    }
    flush(c);
}

void Server::Impl::send(uint32_t channelId, uint32_t requestId, std::vector<uint8_t> body)
{
    const auto it = channels.find(channelId);
    if (it == channels.end()) return;  // the channel has gone; the response has no reader
    const auto conn = connections.find(it->second);
    if (conn == connections.end() || conn->second->closing) return;
    sendOn(*conn->second, MessageType::Message, requestId, body);
}

void Server::Impl::flush(Connection& c)
{
    if (c.flush() != Connection::Flush::Failed) return;
    if (!c.closing) beginClose(c);
    c.closeDeadline = Clock::now();
}

void Server::Impl::fail(Connection& c, StatusCode error, const std::string& reason)
{
    if (c.closing) return;
    c.queueError(error, reason);
    beginClose(c);
    flush(c);
}

void Server::Impl::closeChannel(Connection& c)
{
    if (c.channelId() == 0) return;
    engine->channelClosed(c.channelId());
    channels.erase(c.channelId());
    c.channel->close();
}

void Server::Impl::beginClose(Connection& c)
{
    closeChannel(c);
    c.closing = true;
    c.closeDeadline = Clock::now() + kCloseFlushTime;
}

void Server::Impl::drop(int fd)
{
    const auto it = connections.find(fd);
    if (it == connections.end()) return;
    closeChannel(*it->second);
    connections.erase(it);  // closes the socket
}

// ---------------------------------------------------------------------------------------------

Server::Server(Backend& backend, ServerOptions options)
    : impl_(std::make_unique<Impl>(backend, std::move(options)))
{
}

Server::~Server()
{
    stop();
}

bool Server::start()
{
    Impl& d = *impl_;
    if (d.thread.joinable()) return true;
    if (!d.bindAndListen()) return false;
    if (d.options.info.endpointUrl.empty()) {
        const bool v6 = d.options.address.find(':') != std::string::npos;
        d.options.info.endpointUrl = "opc.tcp://" + (v6 ? "[" + d.options.address + "]" : d.options.address) +
                                     ":" + std::to_string(d.acceptor.port());
    }
    if (!d.buildSecurity()) {
        d.acceptor.close();
        ::close(d.wakeFd);
        d.wakeFd = -1;
        return false;
    }
    d.engine = std::make_unique<Engine>(d.backend, d.options.info, d.options.limits,
                                        [&d](uint32_t channel, uint32_t request, std::vector<uint8_t> body) {
                                            d.send(channel, request, std::move(body));
                                        });
    d.engine->setSecurity(d.security);
    d.engine->setWakeup([&d] { d.wake(); });
    d.engine->setLastSessionClosedHook([&d] {
        d.sessions.store(0);
        if (d.lastSessionHook) d.lastSessionHook();
    });
    d.stopping.store(false);
    d.thread = std::thread([&d] { d.run(); });
    {
        std::lock_guard lock(d.eventLock);
        d.eventTarget = d.engine.get();
    }
    return true;
}

void Server::stop()
{
    Impl& d = *impl_;
    if (!d.thread.joinable()) return;
    {
        std::lock_guard lock(d.eventLock);
        d.eventTarget = nullptr;
    }
    d.stopping.store(true);
    d.wake();
    d.thread.join();
    d.engine->setLastSessionClosedHook({});
    d.engine->closeAllSessions();
    std::vector<int> fds;
    for (auto& [fd, c] : d.connections)
        fds.push_back(fd);
    for (const int fd : fds) {
        d.flush(*d.connections.at(fd));
        d.drop(fd);
    }
    d.engine->processInbox();
    d.engine.reset();
    d.acceptor.close();
    ::close(d.wakeFd);
    d.wakeFd = -1;
}

uint16_t Server::port() const
{
    return impl_->acceptor.port();
}
std::string Server::endpointUrl() const
{
    return impl_->options.info.endpointUrl;
}
const std::string& Server::error() const
{
    return impl_->errorText;
}
size_t Server::sessionCount() const
{
    return impl_->sessions.load();
}
bool Server::shutdownComplete() const
{
    return impl_->shutdownDone.load();
}

void Server::requestShutdown(const std::string& reason, std::chrono::milliseconds grace)
{
    {
        std::lock_guard lock(impl_->shutdownLock);
        impl_->shutdownRequested = true;
        impl_->shutdownReason = reason;
        impl_->shutdownGrace = grace;
    }
    if (impl_->wakeFd >= 0) impl_->wake();
}

void Server::reportEvent(Event event)
{
    std::lock_guard lock(impl_->eventLock);
    if (impl_->eventTarget != nullptr) impl_->eventTarget->reportEvent(std::move(event));
}

void Server::setLastSessionClosedHook(std::function<void()> hook)
{
    impl_->lastSessionHook = std::move(hook);
}

}  // namespace orva::opcua
