#include "opcua/Client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "opcua/AddressSpace.h"

namespace orva::opcua {

std::vector<uint8_t> makeRequest(uint32_t typeId, const NodeId& authToken, uint32_t requestHandle,
                                 const std::function<void(Writer&)>& fields, uint32_t timeoutHint)
{
    std::vector<uint8_t> out;
    Writer w(out);
    w.nodeId(NodeId::num(typeId));
    w.nodeId(authToken);
    w.dateTime(now());
    w.u32(requestHandle);
    w.u32(0);
    w.nullString();
    w.u32(timeoutHint);
    w.extensionObject(ExtensionObject{});
    if (fields) fields(w);
    return out;
}

Response parseResponse(std::vector<uint8_t> bytes)
{
    Response r;
    r.bytes = std::move(bytes);
    Reader rd(r.bytes);
    const NodeId type = rd.nodeId();
    r.typeId = type.numeric;
    rd.dateTime();
    r.requestHandle = rd.u32();
    r.serviceResult = rd.statusCode();
    rd.diagnosticInfo();
    rd.array<std::string>([](Reader& x) { return x.string(); }, 4);
    rd.extensionObject();
    r.bodyOffset = rd.position();
    r.ok = rd.ok();
    return r;
}

void writeReadRequest(Writer& w, double maxAge, const std::vector<std::pair<NodeId, uint32_t>>& nodes,
                      int32_t timestamps)
{
    w.f64(maxAge);
    w.i32(timestamps);
    w.arrayLength(nodes.size());
    for (const auto& [id, attribute] : nodes) {
        w.nodeId(id);
        w.u32(attribute);
        w.nullString();
        w.qualifiedName({});
    }
}

void writeCreateSession(Writer& w, double timeoutMs)
{
    w.string("urn:test:client");
    w.string("urn:test");
    w.localizedText({"", "test client"});
    w.i32(1);
    w.nullString();
    w.nullString();
    w.nullArray();
    w.nullString();
    w.string("opc.tcp://127.0.0.1");
    w.string("test session");
    w.byteString(std::string(32, 'n'));
    w.nullString();
    w.f64(timeoutMs);
    w.u32(0);
}

void writeCreateSubscription(Writer& w, double publishingIntervalMs, uint32_t lifetimeCount,
                             uint32_t keepAliveCount)
{
    w.f64(publishingIntervalMs);
    w.u32(lifetimeCount);
    w.u32(keepAliveCount);
    w.u32(0);  // max notifications per publish: no limit
    w.boolean(true);
    w.u8(0);
}

void writeCreateMonitoredItems(Writer& w, uint32_t subscriptionId, const std::vector<NodeId>& nodes,
                               const MonitoringOptions& options)
{
    constexpr int32_t kReporting = 2;
    w.u32(subscriptionId);
    w.i32(options.timestamps);
    w.arrayLength(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        w.nodeId(nodes[i]);
        w.u32(attr::Value);
        w.nullString();
        w.qualifiedName({});
        w.i32(kReporting);
        w.u32(static_cast<uint32_t>(i));
        w.f64(options.samplingIntervalMs);
        w.extensionObject({});
        w.u32(options.queueSize);
        w.boolean(true);
    }
}

void writePublishRequest(Writer& w, uint32_t subscriptionId, const std::vector<uint32_t>& acks)
{
    w.arrayLength(acks.size());
    for (const uint32_t sequence : acks) {
        w.u32(subscriptionId);
        w.u32(sequence);
    }
}

PublishedChanges parsePublishResponse(const Response& response)
{
    constexpr uint32_t kDataChangeNotification = 811;
    PublishedChanges out;
    Reader rd = response.body();
    rd.u32();                                               // subscription id
    rd.array<uint32_t>([](Reader& x) { return x.u32(); });  // available sequence numbers
    rd.boolean();                                           // more notifications
    const uint32_t sequence = rd.u32();
    rd.dateTime();
    const size_t notifications = rd.arrayLength();
    for (size_t k = 0; k < notifications && rd.ok(); ++k) {
        const ExtensionObject e = rd.extensionObject();
        if (!rd.ok() || !e.typeId.isNumeric(kDataChangeNotification)) continue;
        out.sequenceToAcknowledge = sequence;
        Reader body(std::span(reinterpret_cast<const uint8_t*>(e.body.data()), e.body.size()));
        const size_t changes = body.arrayLength(5);
        for (size_t j = 0; j < changes && body.ok(); ++j) {
            DataChange change;
            change.clientHandle = body.u32();
            change.value = body.dataValue();
            if (!body.ok()) break;
            out.changes.push_back(std::move(change));
        }
    }
    return out;
}

std::string anonymousPolicyId(Reader& r, const std::string& fallback)
{
    constexpr int32_t kModeNone = 1;
    std::string found;
    const size_t endpoints = r.arrayLength(64);
    for (size_t i = 0; i < endpoints && r.ok(); ++i) {
        r.string();  // endpoint URL
        r.string();  // server: application URI, product URI, name, type, gateway, profile, URLs
        r.string();
        r.localizedText();
        r.i32();
        r.string();
        r.string();
        r.array<std::string>([](Reader& x) { return x.string(); }, 16);
        r.byteString();  // server certificate
        const int32_t mode = r.i32();
        const std::string policy = r.string();
        const size_t tokens = r.arrayLength(16);
        for (size_t t = 0; t < tokens && r.ok(); ++t) {
            const std::string policyId = r.string();
            const int32_t type = r.i32();
            r.string();
            r.string();
            r.string();
            // The unsecured endpoint's anonymous token first: that is where this client logs on.
            if (type == 0 && mode == kModeNone && policy == kSecurityPolicyNone && found.empty())
                found = policyId;
        }
        r.string();  // transport profile
        r.u8();      // security level
    }
    return r.ok() && !found.empty() ? found : fallback;
}

void writeAnonymousActivate(Writer& w, const std::string& policyId)
{
    w.nullString();
    w.nullString();
    w.emptyArray();
    w.emptyArray();
    ExtensionObject token;
    token.typeId = NodeId::num(321);
    token.encoding = 1;
    std::vector<uint8_t> body;
    Writer tw(body);
    tw.string(policyId);
    token.body.assign(body.begin(), body.end());
    w.extensionObject(token);
    w.nullString();
    w.nullString();
}

TcpClient::~TcpClient()
{
    close();
}

bool TcpClient::connect(const std::string& address, uint16_t port)
{
    close();
    sockaddr_storage addr{};
    socklen_t len = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    const std::string host = address == "localhost" ? "127.0.0.1" : address;
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        len = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        len = sizeof(sockaddr_in6);
    } else {
        return false;
    }
    fd_ = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    if (!sourceAddress.empty()) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        if (addr.ss_family != AF_INET || inet_pton(AF_INET, sourceAddress.c_str(), &source.sin_addr) != 1 ||
            ::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0)
            return false;
    }
    return ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0;
}

void TcpClient::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TcpClient::sendRaw(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::optional<std::vector<uint8_t>> TcpClient::readChunk(std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (true) {
        if (in_.size() >= kHeaderSize) {
            Reader r{std::span(in_).subspan(4, 4)};
            const uint32_t size = r.u32();
            if (size < kHeaderSize) return std::nullopt;
            if (in_.size() >= size) {
                std::vector<uint8_t> chunk(in_.begin(), in_.begin() + size);
                in_.erase(in_.begin(), in_.begin() + size);
                return chunk;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
        uint8_t buf[65536];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return std::nullopt;
        in_.insert(in_.end(), buf, buf + n);
    }
}

bool TcpClient::waitClosed(std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        uint8_t buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return true;
        in_.insert(in_.end(), buf, buf + n);
    }
    return false;
}

std::optional<Acknowledge> TcpClient::hello(uint32_t receiveBuffer, uint32_t sendBufferSize,
                                            uint32_t maxMessage, uint32_t maxChunks)
{
    std::vector<uint8_t> out;
    Writer w(out);
    for (const char c : std::string("HELF"))
        w.u8(static_cast<uint8_t>(c));
    w.u32(0);
    w.u32(0);
    w.u32(receiveBuffer);
    w.u32(sendBufferSize);
    w.u32(maxMessage);
    w.u32(maxChunks);
    w.string("opc.tcp://127.0.0.1");
    w.patchU32(4, static_cast<uint32_t>(out.size()));
    if (!sendRaw(out)) return std::nullopt;
    const auto chunk = readChunk();
    if (!chunk || chunk->size() < 28 || std::memcmp(chunk->data(), "ACKF", 4) != 0) return std::nullopt;
    Reader r{std::span(*chunk).subspan(8)};
    Acknowledge a;
    a.protocolVersion = r.u32();
    a.receiveBufferSize = r.u32();
    a.sendBufferSize = r.u32();
    a.maxMessageSize = r.u32();
    a.maxChunkCount = r.u32();
    sendBuffer = a.receiveBufferSize;
    return a;
}

uint32_t TcpClient::open(uint32_t lifetimeMs, bool renew)
{
    const auto body = makeRequest(446, NodeId{}, 1, [&](Writer& w) {
        w.u32(0);
        w.u32(renew ? 1 : 0);
        w.u32(1);
        w.byteString("");
        w.u32(lifetimeMs);
    });
    ChunkHeaderFields fields{MessageType::Open, channelId, 0, nextRequestId++};
    std::vector<uint8_t> out;
    encodeChunks(fields, body, ChunkLimits{sendBuffer, 0, 0}, sequence, out);
    if (!sendRaw(out)) return 0;
    const auto chunk = readChunk();
    if (!chunk) return 0;
    SecureChunk sc;
    if (isBad(decodeSecureChunk(*chunk, sc)) || sc.type != MessageType::Open) return 0;
    const Response resp = parseResponse({sc.body.begin(), sc.body.end()});
    if (!resp.ok || isBad(resp.serviceResult)) return 0;
    Reader r = resp.body();
    r.u32();
    channelId = r.u32();
    tokenId = r.u32();
    return tokenId;
}

uint32_t TcpClient::send(const std::vector<uint8_t>& body, uint32_t chunkBody)
{
    const uint32_t requestId = nextRequestId++;
    std::vector<uint8_t> out;
    ChunkLimits limits{chunkBody == 0 ? sendBuffer : chunkBody + 24, 0, 0};
    ChunkHeaderFields fields{MessageType::Message, channelId, tokenId, requestId};
    encodeChunks(fields, body, limits, sequence, out);
    sendRaw(out);
    return requestId;
}

std::optional<Response> TcpClient::receive(std::chrono::milliseconds deadline)
{
    std::vector<uint8_t> message;
    for (int chunks = 0; chunks < 10000; ++chunks) {
        const auto chunk = readChunk(deadline);
        if (!chunk) return std::nullopt;
        if (std::memcmp(chunk->data(), "ERR", 3) == 0) {
            Reader r{std::span(*chunk).subspan(8)};
            lastError = r.u32();
            return std::nullopt;
        }
        SecureChunk sc;
        if (isBad(decodeSecureChunk(*chunk, sc))) return std::nullopt;
        receivedSequences.push_back(sc.sequenceNumber);
        message.insert(message.end(), sc.body.begin(), sc.body.end());
        if (sc.chunkType == 'F') return parseResponse(std::move(message));
        if (sc.chunkType == 'A') message.clear();
    }
    return std::nullopt;
}

std::optional<NodeId> TcpClient::session()
{
    const auto created = call(makeRequest(461, NodeId{}, 10, [](Writer& w) { writeCreateSession(w); }));
    if (!created || created->typeId != 464 || isBad(created->serviceResult)) return std::nullopt;
    Reader r = created->body();
    r.nodeId();
    const NodeId token = r.nodeId();
    r.f64();         // revised timeout
    r.byteString();  // server nonce
    r.byteString();  // server certificate
    // The anonymous token carries the policy id the server advertised for it; strict servers
    // refuse any other.
    const std::string policyId = anonymousPolicyId(r, "anonymous");
    const auto activated =
        call(makeRequest(467, token, 11, [&policyId](Writer& w) { writeAnonymousActivate(w, policyId); }));
    if (!activated || activated->typeId != 470 || isBad(activated->serviceResult)) return std::nullopt;
    return token;
}

}  // namespace orva::opcua
