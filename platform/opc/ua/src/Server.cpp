#include "opcua/Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "EngineInternal.h"
#include "opcua/Binary.h"
#include "opcua/Transport.h"

namespace opcua {

namespace {
using Clock = std::chrono::steady_clock;

constexpr size_t kMaxPendingOutput = 64u * 1024 * 1024;  // a client that stops reading is dropped
constexpr auto kCloseFlushTime = std::chrono::seconds(2);

struct Token {
    uint32_t id = 0;
    Clock::time_point created;
    uint32_t lifetimeMs = 0;
    bool valid = false;
    // A token may be used until its lifetime plus a quarter has passed.
    bool expired(Clock::time_point t) const
    {
        return t > created + std::chrono::milliseconds(static_cast<uint64_t>(lifetimeMs) * 5 / 4);
    }
};

struct Connection {
    int fd = -1;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    size_t outPos = 0;
    bool helloDone = false;
    ChunkLimits peer;                // what the client accepts
    uint32_t receiveBufferSize = 0;  // largest chunk the client may send, as acknowledged
    std::unique_ptr<ChunkAssembler> assembler;
    uint32_t channelId = 0;
    uint32_t sendSequence = 1;
    uint32_t receiveSequence = 0;
    bool sequenceStarted = false;
    Token current;
    Token previous;
    Clock::time_point openDeadline;  // Hello and OpenSecureChannel must come before it
    bool closing = false;
    Clock::time_point closeDeadline;
};

void setNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
}
}  // namespace

struct Server::Impl {
    Backend& backend;
    ServerOptions options;
    std::string errorText;
    int listenFd = -1;
    int wakeFd = -1;
    uint16_t boundPort = 0;
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
    std::map<int, Connection> connections;  // by fd
    std::map<uint32_t, int> channels;       // channel id -> fd
    uint32_t nextChannelId = 1;
    uint32_t nextTokenId = 1;

    Impl(Backend& b, ServerOptions o) : backend(b), options(std::move(o)) {}

    void wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd, &one, sizeof one);
    }

    bool bindAndListen();
    void run();
    void accept();
    void readFrom(Connection& c);
    void flush(Connection& c);
    void processInput(Connection& c);
    bool processChunk(Connection& c, std::span<const uint8_t> chunk);
    bool openChannel(Connection& c, const SecureChunk& chunk);
    bool checkSequence(Connection& c, uint32_t sequence);
    void send(uint32_t channelId, uint32_t requestId, std::vector<uint8_t> body);
    void sendOn(Connection& c, MessageType type, uint32_t requestId, std::span<const uint8_t> body);
    void fail(Connection& c, StatusCode error, const std::string& reason);
    void beginClose(Connection& c);
    void drop(int fd);
    void checkShutdown(Clock::time_point t);
};

bool Server::Impl::bindAndListen()
{
    sockaddr_storage addr{};
    socklen_t len = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    if (inet_pton(AF_INET, options.address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(options.port);
        len = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, options.address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(options.port);
        len = sizeof(sockaddr_in6);
    } else {
        errorText = "invalid listening address " + options.address;
        return false;
    }
    listenFd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0) {
        errorText = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(listenFd, 64) != 0) {
        errorText = "cannot listen on " + options.address + ":" + std::to_string(options.port) + ": " +
                    std::strerror(errno);
        ::close(listenFd);
        listenFd = -1;
        return false;
    }
    setNonBlocking(listenFd);
    sockaddr_storage bound{};
    socklen_t boundLen = sizeof bound;
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&bound), &boundLen);
    boundPort = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                                 : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return wakeFd >= 0;
}

void Server::Impl::run()
{
    std::vector<pollfd> fds;
    auto nextTick = Clock::now();
    while (!stopping.load()) {
        fds.clear();
        fds.push_back({wakeFd, POLLIN, 0});
        fds.push_back({listenFd, POLLIN, 0});
        for (auto& [fd, c] : connections) {
            short events = c.closing ? 0 : POLLIN;
            if (c.outPos < c.out.size()) events |= POLLOUT;
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
            Connection& c = it->second;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) readFrom(c);
            if (connections.contains(fds[i].fd) && (fds[i].revents & POLLOUT)) flush(c);
        }
        const auto t = Clock::now();
        // Connections that are done or overdue.
        std::vector<int> toDrop;
        for (auto& [fd, c] : connections) {
            if (c.closing && (c.outPos >= c.out.size() || t > c.closeDeadline)) {
                toDrop.push_back(fd);
            } else if (!c.closing && c.channelId == 0 && t > c.openDeadline) {
                fail(c, status::BadTimeout, "no secure channel opened in time");
            } else if (!c.closing && c.channelId != 0 && c.current.expired(t) &&
                       !(c.previous.valid && !c.previous.expired(t))) {
                fail(c, status::BadSecureChannelTokenUnknown, "security token expired");
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
            engine->beginShutdown(shutdownReason);
            shutdownDeadline = t + shutdownGrace;
        }
    }
    if (!shutdownDeadline || t < *shutdownDeadline || shutdownDone.load()) return;
    engine->closeAllSessions();
    for (auto& [fd, c] : connections) {
        if (!c.closing) fail(c, status::BadShutdown, "Server shutdown");
    }
    if (connections.empty()) shutdownDone.store(true);
}

void Server::Impl::accept()
{
    for (int i = 0; i < 64; ++i) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        Connection& c = connections[fd];
        c.fd = fd;
        c.openDeadline = Clock::now() + std::chrono::milliseconds(options.limits.helloTimeoutMs);
        if (shutdownDone.load() || (shutdownDeadline && Clock::now() >= *shutdownDeadline))
            fail(c, status::BadShutdown, "Server shutdown");
        else if (connections.size() > options.limits.maxConnections)
            fail(c, status::BadTcpServerTooBusy, "too many connections");
    }
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

bool Server::Impl::checkSequence(Connection& c, uint32_t sequence)
{
    if (!c.sequenceStarted) {
        c.sequenceStarted = true;
        c.receiveSequence = sequence;
        return true;
    }
    const bool wrapped = c.receiveSequence > 4294966271u && sequence < 1024;
    if (sequence != c.receiveSequence + 1 && !wrapped) return false;
    c.receiveSequence = sequence;
    return true;
}

bool Server::Impl::processChunk(Connection& c, std::span<const uint8_t> chunk)
{
    MessageHeader h;
    parseHeader(chunk, h);
    if (h.type == MessageType::Hello) {
        if (c.helloDone) {
            fail(c, status::BadTcpMessageTypeInvalid, "second Hello");
            return false;
        }
        Hello hello;
        if (const StatusCode s = decodeHello(chunk, hello); isBad(s)) {
            fail(c, s, "malformed Hello");
            return false;
        }
        if (hello.receiveBufferSize < kMinBufferSize || hello.sendBufferSize < kMinBufferSize) {
            fail(c, status::BadTcpNotEnoughResources, "buffers below 8192 bytes");
            return false;
        }
        const auto& lim = options.limits;
        Acknowledge ack;
        ack.protocolVersion = 0;
        ack.receiveBufferSize = std::min(lim.receiveBufferSize, hello.sendBufferSize);
        ack.sendBufferSize = std::min(lim.sendBufferSize, hello.receiveBufferSize);
        ack.maxMessageSize = lim.maxMessageSize;
        // Without an explicit chunk limit, as many chunks as the largest message needs.
        ack.maxChunkCount = lim.maxChunkCount != 0 ? lim.maxChunkCount
                                                   : lim.maxMessageSize / (ack.receiveBufferSize - 24) + 1;
        c.peer.bufferSize = ack.sendBufferSize;
        c.peer.maxMessageSize = hello.maxMessageSize == 0
                                    ? lim.maxMessageSize
                                    : std::min(hello.maxMessageSize, lim.maxMessageSize);
        c.peer.maxChunkCount = hello.maxChunkCount;
        c.assembler = std::make_unique<ChunkAssembler>(
            ChunkLimits{ack.receiveBufferSize, lim.maxMessageSize, ack.maxChunkCount});
        c.helloDone = true;
        c.receiveBufferSize = ack.receiveBufferSize;
        const auto bytes = encodeAcknowledge(ack);
        c.out.insert(c.out.end(), bytes.begin(), bytes.end());
        flush(c);
        return connections.contains(c.fd);
    }
    if (!c.helloDone ||
        (h.type != MessageType::Open && h.type != MessageType::Message && h.type != MessageType::Close)) {
        fail(c, status::BadTcpMessageTypeInvalid, "unexpected message type");
        return false;
    }
    SecureChunk sc;
    if (const StatusCode s = decodeSecureChunk(chunk, sc); isBad(s)) {
        fail(c, s, "malformed secure channel chunk");
        return false;
    }
    if (sc.type == MessageType::Open) return openChannel(c, sc);
    if (c.channelId == 0 || sc.channelId != c.channelId) {
        fail(c, status::BadTcpSecureChannelUnknown, "unknown secure channel");
        return false;
    }
    const auto t = Clock::now();
    if (sc.tokenId == c.current.id && !c.current.expired(t)) {
        c.previous.valid = false;  // the client moved to the renewed token
    } else if (!(c.previous.valid && sc.tokenId == c.previous.id && !c.previous.expired(t))) {
        fail(c, status::BadSecureChannelTokenUnknown, "unknown or expired security token");
        return false;
    }
    if (!checkSequence(c, sc.sequenceNumber)) {
        fail(c, status::BadSequenceNumberInvalid, "sequence number out of order");
        return false;
    }
    if (sc.type == MessageType::Close) {
        engine->channelClosed(c.channelId);
        channels.erase(c.channelId);
        c.channelId = 0;
        beginClose(c);
        return false;
    }
    std::vector<uint8_t> message;
    switch (c.assembler->add(sc, message)) {
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
    engine->handleMessage(c.channelId, sc.requestId, message);
    return connections.contains(fd) && !connections.at(fd).closing;
}

bool Server::Impl::openChannel(Connection& c, const SecureChunk& sc)
{
    if (sc.chunkType != 'F') {
        fail(c, status::BadTcpMessageTooLarge, "OpenSecureChannel must fit one chunk");
        return false;
    }
    if (sc.securityPolicyUri != kSecurityPolicyNone) {
        fail(c, status::BadSecurityPolicyRejected, "only SecurityPolicy None is offered");
        return false;
    }
    Reader r(sc.body);
    const NodeId type = r.nodeId();
    r.nodeId();
    r.dateTime();
    const uint32_t requestHandle = r.u32();
    r.u32();
    r.string();
    r.u32();
    r.extensionObject();
    r.u32();  // client protocol version
    const uint32_t requestType = r.u32();
    const uint32_t securityMode = r.u32();
    r.byteString();
    const uint32_t requestedLifetime = r.u32();
    if (!r.ok() || !type.isNumeric(svc::OpenSecureChannel)) {
        fail(c, status::BadDecodingError, "malformed OpenSecureChannel request");
        return false;
    }
    if (securityMode != 1) {
        fail(c, status::BadSecurityModeRejected, "only security mode None is offered");
        return false;
    }
    const bool renew = requestType == 1;
    if (requestType > 1 || renew != (c.channelId != 0) || (renew && sc.channelId != c.channelId)) {
        fail(c, status::BadTcpSecureChannelUnknown,
             renew ? "renewal of an unknown channel" : "channel already open");
        return false;
    }
    if (!checkSequence(c, sc.sequenceNumber)) {
        fail(c, status::BadSequenceNumberInvalid, "sequence number out of order");
        return false;
    }
    const auto t = Clock::now();
    if (!renew) {
        c.channelId = nextChannelId++;
        channels[c.channelId] = c.fd;
    } else {
        c.previous = c.current;
    }
    c.current.id = nextTokenId++;
    c.current.created = t;
    c.current.lifetimeMs =
        std::clamp(requestedLifetime, options.limits.minTokenLifetime, options.limits.maxTokenLifetime);
    c.current.valid = true;

    std::vector<uint8_t> body;
    Writer w(body);
    w.nodeId(NodeId::num(svc::OpenSecureChannel + 3));
    writeResponseHeader(w, requestHandle, status::Good);
    w.u32(0);  // server protocol version
    w.u32(c.channelId);
    w.u32(c.current.id);
    w.dateTime(now());
    w.u32(c.current.lifetimeMs);
    w.byteString("");  // server nonce: empty under None
    sendOn(c, MessageType::Open, sc.requestId, body);
    return connections.contains(c.fd);
}

void Server::Impl::sendOn(Connection& c, MessageType type, uint32_t requestId, std::span<const uint8_t> body)
{
    ChunkHeaderFields fields{type, c.channelId, c.current.id, requestId};
    const size_t before = c.out.size();
    StatusCode s = encodeChunks(fields, body, c.peer, c.sendSequence, c.out);
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
        encodeChunks(fields, fault, c.peer, c.sendSequence, c.out);
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
    if (conn == connections.end() || conn->second.closing) return;
    sendOn(conn->second, MessageType::Message, requestId, body);
}

void Server::Impl::flush(Connection& c)
{
    while (c.outPos < c.out.size()) {
        const ssize_t n = ::send(c.fd, c.out.data() + c.outPos, c.out.size() - c.outPos, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                // Drop what was sent, so that a client that reads slowly but steadily never fills
                // the buffer with bytes it already has.
                if (c.outPos > 65536 && c.outPos * 2 > c.out.size()) {
                    c.out.erase(c.out.begin(), c.out.begin() + static_cast<ptrdiff_t>(c.outPos));
                    c.outPos = 0;
                }
                return;
            }
            c.out.clear();
            c.outPos = 0;
            if (!c.closing) beginClose(c);
            c.closeDeadline = Clock::now();
            return;
        }
        c.outPos += static_cast<size_t>(n);
    }
    c.out.clear();
    c.outPos = 0;
}

void Server::Impl::fail(Connection& c, StatusCode error, const std::string& reason)
{
    if (c.closing) return;
    const auto bytes = encodeError(error, reason);
    c.out.insert(c.out.end(), bytes.begin(), bytes.end());
    beginClose(c);
    flush(c);
}

void Server::Impl::beginClose(Connection& c)
{
    if (c.channelId != 0) {
        engine->channelClosed(c.channelId);
        channels.erase(c.channelId);
        c.channelId = 0;
    }
    c.closing = true;
    c.closeDeadline = Clock::now() + kCloseFlushTime;
}

void Server::Impl::drop(int fd)
{
    const auto it = connections.find(fd);
    if (it == connections.end()) return;
    if (it->second.channelId != 0) {
        engine->channelClosed(it->second.channelId);
        channels.erase(it->second.channelId);
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
    connections.erase(it);
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
                                     ":" + std::to_string(d.boundPort);
    }
    d.engine = std::make_unique<Engine>(d.backend, d.options.info, d.options.limits,
                                        [&d](uint32_t channel, uint32_t request, std::vector<uint8_t> body) {
                                            d.send(channel, request, std::move(body));
                                        });
    d.engine->setWakeup([&d] { d.wake(); });
    d.engine->setLastSessionClosedHook([&d] {
        d.sessions.store(0);
        if (d.lastSessionHook) d.lastSessionHook();
    });
    d.stopping.store(false);
    d.thread = std::thread([&d] { d.run(); });
    return true;
}

void Server::stop()
{
    Impl& d = *impl_;
    if (!d.thread.joinable()) return;
    d.stopping.store(true);
    d.wake();
    d.thread.join();
    d.engine->setLastSessionClosedHook({});
    d.engine->closeAllSessions();
    std::vector<int> fds;
    for (auto& [fd, c] : d.connections)
        fds.push_back(fd);
    for (const int fd : fds) {
        Connection& c = d.connections.at(fd);
        d.flush(c);
        d.drop(fd);
    }
    d.engine->processInbox();
    d.engine.reset();
    ::close(d.listenFd);
    ::close(d.wakeFd);
    d.listenFd = d.wakeFd = -1;
}

uint16_t Server::port() const
{
    return impl_->boundPort;
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

void Server::setLastSessionClosedHook(std::function<void()> hook)
{
    impl_->lastSessionHook = std::move(hook);
}

}  // namespace opcua
