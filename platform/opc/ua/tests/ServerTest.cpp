// The opc.tcp endpoint over loopback sockets: negotiation, chunking, secure channel rules, bad
// input, isolation of clients, limits and shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FakeBackend.h"
#include "UaTestClient.h"
#include "opcua/AddressSpace.h"
#include "opcua/Server.h"

using namespace orva::opcua;
using namespace orva::opcua::test;

namespace {

class ServerFixture {
public:
    explicit ServerFixture(ServerLimits limits = {})
    {
        ServerOptions options;
        options.port = 0;  // ephemeral
        options.limits = limits;
        server = std::make_unique<Server>(backend, options);
        server->setLastSessionClosedHook([this] { ++lastSessionClosed; });
        EXPECT_TRUE(server->start()) << server->error();
    }

    std::unique_ptr<TcpClient> connected(uint32_t lifetimeMs = 600000)
    {
        auto c = std::make_unique<TcpClient>();
        EXPECT_TRUE(c->connect(server->port()));
        EXPECT_TRUE(c->hello().has_value());
        EXPECT_NE(c->open(lifetimeMs), 0u);
        return c;
    }

    FakeBackend backend;
    std::unique_ptr<Server> server;
    std::atomic<int> lastSessionClosed{0};
};

std::vector<uint8_t> readRequest(const NodeId& token, const std::vector<std::pair<NodeId, uint32_t>>& nodes)
{
    return makeRequest(631, token, 7, [&](Writer& w) { writeReadRequest(w, 1e9, nodes); });
}

bool readWorks(TcpClient& c, const NodeId& token)
{
    const auto r = c.call(readRequest(token, {{NodeId::str("Line1.Drives.Speed"), attr::Value}}));
    return r && r->typeId == 634 && r->serviceResult == status::Good;
}

StatusCode errorAfter(TcpClient& c, const std::vector<uint8_t>& bytes)
{
    c.sendRaw(bytes);
    c.receive();
    return c.lastError;
}

}  // namespace

TEST(Server, NegotiatesBuffersAndChunksLargeResponses)
{
    ServerFixture f;
    TcpClient c;
    ASSERT_TRUE(c.connect(f.server->port()));
    const auto ack = c.hello(8192, 16384);
    ASSERT_TRUE(ack.has_value());
    EXPECT_EQ(ack->receiveBufferSize, 16384u);  // what the client sends at most
    EXPECT_EQ(ack->sendBufferSize, 8192u);      // what the client receives at most
    EXPECT_EQ(ack->maxMessageSize, ServerLimits{}.maxMessageSize);
    ASSERT_NE(c.open(), 0u);
    const auto token = c.session();
    ASSERT_TRUE(token.has_value());

    // 1000 reads of a 16-character string: a response of several 8 KiB chunks; the request goes
    // in chunks of 4000 bytes.
    const std::vector<std::pair<NodeId, uint32_t>> nodes(1000,
                                                         {NodeId::str("Line1.Values.String"), attr::Value});
    c.receivedSequences.clear();
    c.send(readRequest(*token, nodes), 4000);
    const auto r = c.receive();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->serviceResult, status::Good);
    Reader rd = r->body();
    EXPECT_EQ(rd.arrayLength(), 1000u);
    ASSERT_GT(c.receivedSequences.size(), 2u);
    for (size_t i = 1; i < c.receivedSequences.size(); ++i)
        EXPECT_EQ(c.receivedSequences[i], c.receivedSequences[i - 1] + 1);
}

TEST(Server, RefusesBadHandshakes)
{
    ServerFixture f;
    {
        TcpClient c;
        ASSERT_TRUE(c.connect(f.server->port()));
        EXPECT_FALSE(c.hello(1024, 1024).has_value());  // buffers below 8192
        EXPECT_TRUE(c.waitClosed());
    }
    {
        // A secure channel message before Hello.
        TcpClient c;
        ASSERT_TRUE(c.connect(f.server->port()));
        std::vector<uint8_t> msg{'M', 'S', 'G', 'F', 24, 0, 0, 0};
        msg.resize(24);
        EXPECT_EQ(errorAfter(c, msg), status::BadTcpMessageTypeInvalid);
        EXPECT_TRUE(c.waitClosed());
    }
    {
        // Garbage.
        TcpClient c;
        ASSERT_TRUE(c.connect(f.server->port()));
        EXPECT_EQ(errorAfter(c, std::vector<uint8_t>(64, 0xAB)), status::BadTcpMessageTypeInvalid);
        EXPECT_TRUE(c.waitClosed());
    }
    {
        // A chunk larger than the acknowledged receive buffer.
        TcpClient c;
        ASSERT_TRUE(c.connect(f.server->port()));
        ASSERT_TRUE(c.hello().has_value());
        std::vector<uint8_t> big{'M', 'S', 'G', 'F', 0, 0, 0x10, 0};  // 1 MiB announced
        EXPECT_EQ(errorAfter(c, big), status::BadTcpMessageTooLarge);
        EXPECT_TRUE(c.waitClosed());
    }
    {
        // Nothing at all: the connection is closed once the hello timeout has passed.
        ServerLimits limits;
        limits.helloTimeoutMs = 1000;
        ServerFixture quick(limits);
        TcpClient c;
        ASSERT_TRUE(c.connect(quick.server->port()));
        EXPECT_TRUE(c.waitClosed());
        // The next client is served.
        auto next = quick.connected();
        EXPECT_TRUE(next->session().has_value());
    }
}

TEST(Server, EnforcesSecureChannelRules)
{
    ServerFixture f;
    {
        auto c = f.connected();
        const auto token = c->session();
        ASSERT_TRUE(token.has_value());
        c->sequence += 5;  // a gap in the sequence numbers
        c->send(readRequest(*token, {{NodeId::str("Line1.Drives.Speed"), attr::Value}}));
        EXPECT_FALSE(c->receive().has_value());
        EXPECT_EQ(c->lastError, status::BadSequenceNumberInvalid);
        EXPECT_TRUE(c->waitClosed());
    }
    {
        auto c = f.connected();
        c->tokenId += 100;
        c->send(makeRequest(428, NodeId{}, 1, [](Writer& w) {
            w.nullString();
            w.emptyArray();
            w.emptyArray();
        }));
        EXPECT_FALSE(c->receive().has_value());
        EXPECT_EQ(c->lastError, status::BadSecureChannelTokenUnknown);
    }
    {
        auto c = f.connected();
        c->channelId += 100;
        c->send(makeRequest(428, NodeId{}, 1, {}));
        EXPECT_FALSE(c->receive().has_value());
        EXPECT_EQ(c->lastError, status::BadTcpSecureChannelUnknown);
    }
    {
        // Renewal: the old token stays usable until the client uses the new one.
        auto c = f.connected();
        const auto token = c->session();
        ASSERT_TRUE(token.has_value());
        const uint32_t oldToken = c->tokenId;
        const uint32_t newToken = c->open(600000, true);
        ASSERT_NE(newToken, 0u);
        EXPECT_NE(newToken, oldToken);
        c->tokenId = oldToken;
        EXPECT_TRUE(readWorks(*c, *token));
        c->tokenId = newToken;
        EXPECT_TRUE(readWorks(*c, *token));
        c->tokenId = oldToken;
        c->send(readRequest(*token, {{NodeId::str("Line1.Drives.Speed"), attr::Value}}));
        EXPECT_FALSE(c->receive().has_value());
        EXPECT_EQ(c->lastError, status::BadSecureChannelTokenUnknown);
    }
    {
        // A token that is not renewed ends the channel.
        auto c = f.connected(1000);
        EXPECT_TRUE(c->waitClosed(std::chrono::seconds(6)));
    }
    {
        // CloseSecureChannel closes the connection.
        auto c = f.connected();
        std::vector<uint8_t> out;
        encodeChunks({MessageType::Close, c->channelId, c->tokenId, 99}, makeRequest(452, NodeId{}, 1, {}),
                     ChunkLimits{65536, 0, 0}, c->sequence, out);
        c->sendRaw(out);
        EXPECT_TRUE(c->waitClosed());
    }
}

TEST(Server, OversizedRequestsAndResponsesGetFaults)
{
    ServerLimits limits;
    limits.maxMessageSize = 10000;
    ServerFixture f(limits);
    auto c = f.connected();
    const auto token = c->session();
    ASSERT_TRUE(token.has_value());
    const std::vector<std::pair<NodeId, uint32_t>> many(1000,
                                                        {NodeId::str("Line1.Drives.Speed"), attr::Value});
    c->send(readRequest(*token, many), 4000);
    auto r = c->receive();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->serviceResult, status::BadRequestTooLarge);
    EXPECT_TRUE(readWorks(*c, *token));

    // The response would exceed what the client accepts in one message.
    TcpClient small;
    ASSERT_TRUE(small.connect(f.server->port()));
    ASSERT_TRUE(small.hello(65536, 65536, 9000).has_value());
    ASSERT_NE(small.open(), 0u);
    const auto smallToken = small.session();
    ASSERT_TRUE(smallToken.has_value());
    const std::vector<std::pair<NodeId, uint32_t>> arrays(300,
                                                          {NodeId::num(id::NamespaceArray), attr::Value});
    small.send(readRequest(*smallToken, arrays));
    r = small.receive();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->typeId, 397u);
    EXPECT_EQ(r->requestHandle, 7u);
    EXPECT_EQ(r->serviceResult, status::BadResponseTooLarge);
    EXPECT_TRUE(readWorks(small, *smallToken));
}

TEST(Server, OneClientNeverBlocksAnother)
{
    ServerLimits limits;
    limits.maxConnections = 3;
    ServerFixture f(limits);
    // A client that sends half a chunk and stops, and one that sends garbage.
    TcpClient stalled;
    ASSERT_TRUE(stalled.connect(f.server->port()));
    ASSERT_TRUE(stalled.hello().has_value());
    stalled.sendRaw({'M', 'S', 'G', 'F', 0, 1, 0, 0, 1, 2, 3});
    TcpClient garbage;
    ASSERT_TRUE(garbage.connect(f.server->port()));
    garbage.sendRaw(std::vector<uint8_t>(100, 0));
    EXPECT_TRUE(garbage.waitClosed());

    auto c = f.connected();
    const auto token = c->session();
    ASSERT_TRUE(token.has_value());
    EXPECT_TRUE(readWorks(*c, *token));

    // Beyond the connection limit a client is told the server is busy.
    TcpClient extra;
    ASSERT_TRUE(extra.connect(f.server->port()));
    TcpClient fourth;
    ASSERT_TRUE(fourth.connect(f.server->port()));
    EXPECT_FALSE(fourth.hello().has_value());
    EXPECT_TRUE(fourth.waitClosed());
    EXPECT_TRUE(readWorks(*c, *token));
}

TEST(Server, LimitsPerClientAddressRefuseTheSurplusAndAdmitOthers)
{
    ServerLimits limits;
    limits.maxConnectionsPerAddress = 2;
    limits.maxSessionsPerAddress = 1;
    ServerFixture f(limits);
    auto a = f.connected();
    auto b = f.connected();
    // A third connection from the same host is told the server is busy; another host is served.
    TcpClient third;
    ASSERT_TRUE(third.connect(f.server->port()));
    third.receive();
    EXPECT_EQ(third.lastError, status::BadTcpServerTooBusy);
    EXPECT_TRUE(third.waitClosed());
    TcpClient other;
    other.sourceAddress = "127.0.0.2";
    ASSERT_TRUE(other.connect(f.server->port()));
    ASSERT_TRUE(other.hello().has_value());
    ASSERT_NE(other.open(), 0u);

    // One session per host: the second from the same host is refused, the other host gets one.
    const auto token = a->session();
    ASSERT_TRUE(token.has_value());
    const auto refused = b->call(makeRequest(461, NodeId{}, 1, [](Writer& w) { writeCreateSession(w); }));
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->serviceResult, status::BadTooManySessions);
    const auto otherToken = other.session();
    ASSERT_TRUE(otherToken.has_value());
    EXPECT_TRUE(readWorks(other, *otherToken));
    EXPECT_TRUE(readWorks(*a, *token));

    // A connection that went away frees its place for the next one from that host.
    b.reset();
    bool admitted = false;
    for (int i = 0; i < 100 && !admitted; ++i) {
        TcpClient again;
        admitted = again.connect(f.server->port()) && again.hello().has_value();
        if (!admitted) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(admitted);
}

TEST(Server, SessionOfAVanishedClientEndsWithItsSubscriptions)
{
    ServerLimits limits;
    limits.minSessionTimeout = 100;
    limits.maxSessionTimeout = 300;  // the requested minute is revised to this
    ServerFixture f(limits);
    {
        auto c = f.connected();
        const auto token = c->session();
        ASSERT_TRUE(token.has_value());
        const auto sub =
            c->call(makeRequest(787, *token, 2, [](Writer& w) { writeCreateSubscription(w, 100, 100, 10); }));
        ASSERT_TRUE(sub && sub->serviceResult == status::Good);
        const uint32_t subscriptionId = sub->body().u32();
        const auto items = c->call(makeRequest(751, *token, 3, [&](Writer& w) {
            writeCreateMonitoredItems(w, subscriptionId, {NodeId::str("Line1.Drives.Speed")});
        }));
        ASSERT_TRUE(items && items->serviceResult == status::Good);
        EXPECT_EQ(f.backend.groupRates().size(), 1u);  // the subscription's group
        EXPECT_EQ(f.server->sessionCount(), 1u);
    }  // the client vanishes without closing anything
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((f.server->sessionCount() != 0 || !f.backend.groupRates().empty()) &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(f.server->sessionCount(), 0u);
    EXPECT_TRUE(f.backend.groupRates().empty());
    EXPECT_EQ(f.backend.openClients(), 0u);
    EXPECT_EQ(f.lastSessionClosed.load(), 1);
    // The next client is served as usual.
    auto next = f.connected();
    const auto token = next->session();
    ASSERT_TRUE(token.has_value());
    EXPECT_TRUE(readWorks(*next, *token));
}

TEST(Server, ShutdownShowsStateThenEndsSessions)
{
    ServerFixture f;
    auto c = f.connected();
    const auto token = c->session();
    ASSERT_TRUE(token.has_value());
    f.server->requestShutdown("Server shutdown", std::chrono::milliseconds(500));

    // Within the grace time the state reads Shutdown with its reason.
    int64_t state = 0;
    std::string reason;
    for (int i = 0; i < 100 && state != 4; ++i) {
        const auto r = c->call(makeRequest(631, *token, 7, [](Writer& w) {
            writeReadRequest(
                w, 0,
                {{NodeId::num(id::State), attr::Value}, {NodeId::num(id::ShutdownReason), attr::Value}});
        }));
        ASSERT_TRUE(r.has_value());
        Reader rd = r->body();
        rd.arrayLength();
        state = std::get<int64_t>(rd.dataValue().value.scalar);
        const DataValue rv = rd.dataValue();
        if (std::holds_alternative<LocalizedText>(rv.value.scalar))
            reason = std::get<LocalizedText>(rv.value.scalar).text;
        if (state != 4) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(state, 4);
    EXPECT_EQ(reason, "Server shutdown");
    // New sessions are refused, then every connection is closed.
    auto late = f.connected();
    const auto refused = late->call(makeRequest(461, NodeId{}, 1, [](Writer& w) { writeCreateSession(w); }));
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->serviceResult, status::BadShutdown);
    EXPECT_TRUE(c->waitClosed());
    EXPECT_TRUE(late->waitClosed());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!f.server->shutdownComplete() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(f.server->shutdownComplete());
    EXPECT_EQ(f.lastSessionClosed.load(), 1);
    EXPECT_EQ(f.backend.openClients(), 0u);
}

TEST(Server, LastSessionHookFiresWhenClientsLeave)
{
    ServerFixture f;
    auto a = f.connected();
    auto b = f.connected();
    const auto ta = a->session();
    const auto tb = b->session();
    ASSERT_TRUE(ta && tb);
    const auto closeSession = [](TcpClient& c, const NodeId& t) {
        const auto r = c.call(makeRequest(473, t, 3, [](Writer& w) { w.boolean(true); }));
        return r && r->serviceResult == status::Good;
    };
    EXPECT_TRUE(closeSession(*a, *ta));
    EXPECT_EQ(f.lastSessionClosed.load(), 0);
    EXPECT_TRUE(closeSession(*b, *tb));
    EXPECT_EQ(f.lastSessionClosed.load(), 1);
}

TEST(Server, ListensOnlyWhereTold)
{
    FakeBackend backend;
    ServerOptions options;
    options.address = "not-an-address";
    Server bad(backend, options);
    EXPECT_FALSE(bad.start());
    EXPECT_NE(bad.error().find("not-an-address"), std::string::npos);

    ServerOptions loopback;
    loopback.port = 0;
    Server s(backend, loopback);
    ASSERT_TRUE(s.start());
    EXPECT_EQ(s.endpointUrl(), "opc.tcp://127.0.0.1:" + std::to_string(s.port()));
    // The same port cannot be taken twice.
    ServerOptions same = loopback;
    same.port = s.port();
    Server second(backend, same);
    EXPECT_FALSE(second.start());
}
