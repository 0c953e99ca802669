// The service layer against the in-memory backend: sessions, reads, writes, browsing and
// subscriptions, without sockets.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "FakeBackend.h"
#include "UaTestClient.h"
#include "opcua/AddressSpace.h"
#include "opcua/Engine.h"

using namespace orva::opcua;
using namespace orva::opcua::test;

namespace {

struct Sent {
    uint32_t channel;
    uint32_t requestId;
    std::vector<uint8_t> bytes;
};

class Harness {
public:
    explicit Harness(ServerLimits limits = {})
        : engine(backend, ServerInfo{}, limits, [this](uint32_t ch, uint32_t rid, std::vector<uint8_t> b) {
              sent.push_back({ch, rid, std::move(b)});
          })
    {
        engine.setLastSessionClosedHook([this] { ++lastSessionClosed; });
    }

    uint32_t post(uint32_t typeId, const NodeId& token, const std::function<void(Writer&)>& fields,
                  uint32_t channel = 1, uint32_t timeoutHint = 0)
    {
        const uint32_t rid = ++requestId;
        engine.handleMessage(channel, rid, makeRequest(typeId, token, rid, fields, timeoutHint));
        return rid;
    }

    // Waits (bounded) for the response to a request, running the engine's inbox and timers.
    std::optional<Response> await(uint32_t rid, std::chrono::milliseconds deadline = std::chrono::seconds(5))
    {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (true) {
            for (size_t i = 0; i < sent.size(); ++i) {
                if (sent[i].requestId != rid) continue;
                Response r = parseResponse(std::move(sent[i].bytes));
                sent.erase(sent.begin() + static_cast<ptrdiff_t>(i));
                return r;
            }
            if (std::chrono::steady_clock::now() > end) return std::nullopt;
            engine.processInbox();
            engine.tick(std::chrono::steady_clock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    Response call(uint32_t typeId, const NodeId& token, const std::function<void(Writer&)>& fields,
                  uint32_t channel = 1)
    {
        const auto r = await(post(typeId, token, fields, channel));
        EXPECT_TRUE(r.has_value());
        return r.value_or(Response{});
    }

    NodeId session(uint32_t channel = 1)
    {
        Response created = call(
            461, NodeId{}, [](Writer& w) { writeCreateSession(w); }, channel);
        EXPECT_EQ(created.typeId, 464u);
        Reader r = created.body();
        r.nodeId();
        const NodeId token = r.nodeId();
        const Response activated = call(
            467, token, [](Writer& w) { writeAnonymousActivate(w); }, channel);
        EXPECT_EQ(activated.serviceResult, status::Good);
        return token;
    }

    std::vector<DataValue> read(const NodeId& token, double maxAge,
                                const std::vector<std::pair<NodeId, uint32_t>>& nodes, int32_t timestamps = 2)
    {
        const Response resp =
            call(631, token, [&](Writer& w) { writeReadRequest(w, maxAge, nodes, timestamps); });
        EXPECT_EQ(resp.serviceResult, status::Good);
        Reader r = resp.body();
        return r.array<DataValue>([](Reader& x) { return x.dataValue(); });
    }

    std::vector<StatusCode> write(const NodeId& token, const NodeId& node, const Variant& value,
                                  uint32_t attribute = attr::Value)
    {
        const Response resp = call(673, token, [&](Writer& w) {
            w.arrayLength(1);
            w.nodeId(node);
            w.u32(attribute);
            w.nullString();
            w.dataValue(DataValue::ofValue(value));
        });
        Reader r = resp.body();
        return r.array<StatusCode>([](Reader& x) { return x.statusCode(); });
    }

    FakeBackend backend;
    std::vector<Sent> sent;
    Engine engine;
    uint32_t requestId = 0;
    int lastSessionClosed = 0;
};

NodeId tag(const std::string& id)
{
    return NodeId::str(id);
}

std::vector<StatusCode> statuses(const Response& r)
{
    Reader rd = r.body();
    return rd.array<StatusCode>([](Reader& x) { return x.statusCode(); });
}

uint32_t createSubscription(Harness& h, const NodeId& token, double interval, uint32_t lifetime = 100,
                            uint32_t keepAlive = 10)
{
    const Response r =
        h.call(787, token, [&](Writer& w) { writeCreateSubscription(w, interval, lifetime, keepAlive); });
    EXPECT_EQ(r.serviceResult, status::Good);
    Reader rd = r.body();
    return rd.u32();
}

struct ItemResult {
    StatusCode status;
    uint32_t id;
};

std::vector<ItemResult> createItems(Harness& h, const NodeId& token, uint32_t sub,
                                    const std::vector<std::pair<NodeId, int32_t>>& items,
                                    uint32_t attribute = attr::Value)
{
    const Response r = h.call(751, token, [&](Writer& w) {
        w.u32(sub);
        w.i32(2);
        w.arrayLength(items.size());
        uint32_t handle = 1;
        for (const auto& [node, mode] : items) {
            w.nodeId(node);
            w.u32(attribute);
            w.nullString();
            w.qualifiedName({});
            w.i32(mode);
            w.u32(handle++);
            w.f64(-1);
            w.extensionObject({});
            w.u32(1);
            w.boolean(true);
        }
    });
    Reader rd = r.body();
    return rd.array<ItemResult>([](Reader& x) {
        ItemResult res{x.statusCode(), x.u32()};
        x.f64();
        x.u32();
        x.extensionObject();
        return res;
    });
}

struct Publish {
    uint32_t subscription = 0;
    std::vector<uint32_t> available;
    uint32_t sequence = 0;
    std::vector<std::pair<uint32_t, DataValue>> changes;            // client handle, value
    std::vector<std::pair<uint32_t, std::vector<Variant>>> events;  // client handle, fields
    std::vector<StatusCode> ackResults;
    bool keepAlive = true;
};

Publish parsePublish(const Response& resp)
{
    Publish p;
    Reader r = resp.body();
    p.subscription = r.u32();
    p.available = r.array<uint32_t>([](Reader& x) { return x.u32(); });
    r.boolean();
    p.sequence = r.u32();
    r.dateTime();
    const size_t n = r.arrayLength();
    for (size_t i = 0; i < n; ++i) {
        const ExtensionObject e = r.extensionObject();
        EXPECT_TRUE(e.typeId.isNumeric(811) || e.typeId.isNumeric(916));
        p.keepAlive = false;
        Reader body(std::span(reinterpret_cast<const uint8_t*>(e.body.data()), e.body.size()));
        const size_t items = body.arrayLength();
        for (size_t k = 0; k < items; ++k) {
            const uint32_t handle = body.u32();
            if (e.typeId.isNumeric(916))
                p.events.emplace_back(handle, body.array<Variant>([](Reader& x) { return x.variant(); }));
            else
                p.changes.emplace_back(handle, body.dataValue());
        }
    }
    p.ackResults = r.array<StatusCode>([](Reader& x) { return x.statusCode(); });
    EXPECT_TRUE(r.ok());
    return p;
}

uint32_t postPublish(Harness& h, const NodeId& token,
                     const std::vector<std::pair<uint32_t, uint32_t>>& acks = {})
{
    return h.post(826, token, [&](Writer& w) {
        w.arrayLength(acks.size());
        for (const auto& [sub, seq] : acks) {
            w.u32(sub);
            w.u32(seq);
        }
    });
}

}  // namespace

TEST(Engine, SessionsMustBeCreatedActivatedAndUsedOnTheirChannel)
{
    Harness h;
    const auto readSpeed = [](Writer& w) {
        writeReadRequest(w, 0, {{tag("Line1.Drives.Speed"), attr::Value}});
    };
    EXPECT_EQ(h.call(631, NodeId{}, readSpeed).serviceResult, status::BadSessionIdInvalid);

    const Response created = h.call(461, NodeId{}, [](Writer& w) { writeCreateSession(w); });
    Reader cr = created.body();
    cr.nodeId();
    const NodeId token = cr.nodeId();
    EXPECT_EQ(h.call(631, token, readSpeed).serviceResult, status::BadSessionNotActivated);

    // Only anonymous identities are accepted.
    const Response userName = h.call(467, token, [](Writer& w) {
        w.nullString();
        w.nullString();
        w.emptyArray();
        w.emptyArray();
        ExtensionObject e;
        e.typeId = NodeId::num(324);
        e.encoding = 1;
        e.body = std::string(12, '\0');
        w.extensionObject(e);
        w.nullString();
        w.nullString();
    });
    EXPECT_EQ(userName.serviceResult, status::BadIdentityTokenRejected);
    EXPECT_EQ(h.call(467, token, [](Writer& w) { writeAnonymousActivate(w); }).serviceResult, status::Good);
    EXPECT_EQ(h.call(631, token, readSpeed).serviceResult, status::Good);
    // Another secure channel cannot use the session until it activates it there.
    EXPECT_EQ(h.call(631, token, readSpeed, 2).serviceResult, status::BadSecureChannelIdInvalid);
    EXPECT_EQ(h.backend.openClients(), 1u);

    EXPECT_EQ(h.call(473, token, [](Writer& w) { w.boolean(true); }).serviceResult, status::Good);
    EXPECT_EQ(h.backend.openClients(), 0u);
    EXPECT_EQ(h.lastSessionClosed, 1);
    EXPECT_EQ(h.call(631, token, readSpeed).serviceResult, status::BadSessionIdInvalid);
}

TEST(Engine, SessionLimitAndShutdownRefuseNewSessions)
{
    ServerLimits limits;
    limits.maxSessions = 2;
    Harness h(limits);
    const NodeId first = h.session();
    h.session();
    EXPECT_EQ(h.call(461, NodeId{}, [](Writer& w) { writeCreateSession(w); }).serviceResult,
              status::BadTooManySessions);

    h.engine.beginShutdown("Server shutdown");
    const auto values = h.read(
        first, 0, {{NodeId::num(id::State), attr::Value}, {NodeId::num(id::ShutdownReason), attr::Value}});
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(std::get<int64_t>(values[0].value.scalar), 4);  // Shutdown
    EXPECT_EQ(std::get<LocalizedText>(values[1].value.scalar).text, "Server shutdown");
    h.engine.closeAllSessions();
    EXPECT_EQ(h.backend.openClients(), 0u);
    EXPECT_EQ(h.lastSessionClosed, 1);
    EXPECT_EQ(h.call(461, NodeId{}, [](Writer& w) { writeCreateSession(w); }).serviceResult,
              status::BadShutdown);
}

TEST(Engine, UnknownServicesAndMalformedRequestsGetFaults)
{
    Harness h;
    const NodeId token = h.session();
    const Response call = h.call(664, token, [](Writer& w) { w.emptyArray(); });  // HistoryRead
    EXPECT_EQ(call.typeId, 397u);
    EXPECT_EQ(call.serviceResult, status::BadServiceUnsupported);

    // A truncated Read and a request header cut short.
    const uint32_t rid = ++h.requestId;
    auto bytes = makeRequest(631, token, rid, [](Writer& w) { w.f64(0); });
    h.engine.handleMessage(1, rid, bytes);
    EXPECT_EQ(h.await(rid)->serviceResult, status::BadDecodingError);
    const uint32_t rid2 = ++h.requestId;
    bytes.resize(6);
    h.engine.handleMessage(1, rid2, bytes);
    EXPECT_EQ(h.await(rid2)->serviceResult, status::BadDecodingError);
    // Operation limits.
    EXPECT_EQ(h.call(631, token, [](Writer& w) { writeReadRequest(w, 0, {}); }).serviceResult,
              status::BadNothingToDo);
    EXPECT_EQ(h.call(631, token,
                     [](Writer& w) {
                         writeReadRequest(w, -1, {{tag("Line1.Drives.Speed"), 13}});
                     })
                  .serviceResult,
              status::BadMaxAgeInvalid);
}

TEST(Engine, ReadUsesDeviceOrCacheByMaxAge)
{
    Harness h;
    const NodeId token = h.session();
    h.backend.setValue("Line1.Values.Int16", Variant::of(BuiltinType::Int16, int64_t{-7}));

    auto v = h.read(token, 0, {{tag("Line1.Values.Int16"), attr::Value}});
    EXPECT_EQ(h.backend.deviceReads(), 1);
    EXPECT_EQ(h.backend.cacheReads(), 0);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].value.type, BuiltinType::Int16);
    EXPECT_EQ(std::get<int64_t>(v[0].value.scalar), -7);
    EXPECT_NE(v[0].sourceTimestamp, 0);
    EXPECT_NE(v[0].serverTimestamp, 0);

    // A fresh cached value is answered from the cache.
    h.read(token, 1e9, {{tag("Line1.Values.Int16"), attr::Value}});
    EXPECT_EQ(h.backend.deviceReads(), 1);
    EXPECT_EQ(h.backend.cacheReads(), 1);

    // A cached value older than MaxAge goes to the device.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    h.read(token, 5, {{tag("Line1.Values.Int16"), attr::Value}});
    EXPECT_EQ(h.backend.cacheReads(), 2);
    EXPECT_EQ(h.backend.deviceReads(), 2);
}

TEST(Engine, ReadReportsQualitiesAttributesAndErrorsPerNode)
{
    ServerLimits limits;
    limits.maxNodesPerRead = 8;
    Harness h(limits);
    const NodeId token = h.session();
    h.backend.setStatus("Line1.Drives.Speed", status::BadCommunicationError);
    const auto v = h.read(token, 0,
                          {{tag("Line1.Drives.Speed"), attr::Value},
                           {tag("Line1.Values.Int16Array"), attr::DataType},
                           {tag("Line1.Values.Int16Array"), attr::ValueRank},
                           {tag("Line1.Values.Int16Array"), attr::ArrayDimensions},
                           {tag("Line1.Values.ReadOnly"), attr::AccessLevel},
                           {tag("Line1.Values.WriteOnly"), attr::Value},
                           {tag("No.Such"), attr::Value},
                           {tag("Line1.Drives"), attr::Value}});
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(v[0].status, status::BadCommunicationError);
    EXPECT_EQ(std::get<NodeId>(v[1].value.scalar), NodeId::num(4));
    EXPECT_EQ(std::get<int64_t>(v[2].value.scalar), 1);
    ASSERT_EQ(v[3].value.array.size(), 1u);
    EXPECT_EQ(std::get<uint64_t>(v[3].value.array[0]), 10u);
    EXPECT_EQ(std::get<uint64_t>(v[4].value.scalar), 1u);
    EXPECT_EQ(v[5].status, status::BadNotReadable);
    EXPECT_EQ(v[6].status, status::BadNodeIdUnknown);
    EXPECT_EQ(v[7].status, status::BadAttributeIdInvalid);

    const std::vector<std::pair<NodeId, uint32_t>> nine(9, {tag("Line1.Drives.Speed"), attr::Value});
    EXPECT_EQ(h.call(631, token, [&](Writer& w) { writeReadRequest(w, 0, nine); }).serviceResult,
              status::BadTooManyOperations);
    // TimestampsToReturn Neither leaves both time stamps out.
    const auto plain = h.read(token, 0, {{tag("Line1.Values.Int16"), attr::Value}}, 3);
    EXPECT_EQ(plain[0].sourceTimestamp, 0);
    EXPECT_EQ(plain[0].serverTimestamp, 0);
}

TEST(Engine, WritesCheckTypeAccessAndReportFailedQuality)
{
    Harness h;
    const NodeId token = h.session();
    EXPECT_EQ(h.write(token, tag("Line1.Values.Int16"), Variant::of(BuiltinType::Int16, int64_t{321}))[0],
              status::Good);
    EXPECT_EQ(std::get<int64_t>(h.backend.value("Line1.Values.Int16").value.scalar), 321);
    EXPECT_EQ(h.write(token, tag("Line1.Values.Int16"), Variant::int32(1))[0], status::BadTypeMismatch);
    EXPECT_EQ(h.write(token, tag("Line1.Values.Int16Array"), Variant::of(BuiltinType::Int16, int64_t{1}))[0],
              status::BadTypeMismatch);
    EXPECT_EQ(h.write(token, tag("Line1.Values.ReadOnly"), Variant::of(BuiltinType::Int16, int64_t{1}))[0],
              status::BadNotWritable);
    EXPECT_EQ(h.write(token, tag("Line1.Values.Int16"), Variant{}, attr::Description)[0],
              status::BadNotWritable);
    EXPECT_EQ(h.write(token, NodeId::num(id::ServiceLevel), Variant::of(BuiltinType::Byte, uint64_t{1}))[0],
              status::BadNotWritable);
    EXPECT_EQ(h.write(token, tag("Nope"), Variant::int32(1))[0], status::BadNodeIdUnknown);
    EXPECT_EQ(h.write(token, tag("Line1.Values.WriteOnly"), Variant::of(BuiltinType::Int16, int64_t{5}))[0],
              status::Good);

    // A failed write returns the status of the quality it ended with.
    h.backend.failWrites(true, status::BadDeviceFailure);
    EXPECT_EQ(h.write(token, tag("Line1.Values.Int16"), Variant::of(BuiltinType::Int16, int64_t{9}))[0],
              status::BadDeviceFailure);
    h.backend.failWrites(true, status::Good);  // a failure never reports Good
    EXPECT_EQ(h.write(token, tag("Line1.Values.Int16"), Variant::of(BuiltinType::Int16, int64_t{9}))[0],
              status::Bad);
}

TEST(Engine, BrowseFollowsContinuationPoints)
{
    ServerLimits limits;
    limits.maxBrowseContinuationPoints = 2;
    Harness h(limits);
    const NodeId token = h.session();
    const auto browse = [&](const NodeId& node, uint32_t maxRefs, int32_t direction = 0) {
        return h.call(527, token, [&](Writer& w) {
            w.nodeId({});
            w.dateTime(0);
            w.u32(0);
            w.u32(maxRefs);
            w.arrayLength(1);
            w.nodeId(node);
            w.i32(direction);
            w.nodeId(NodeId::num(id::HierarchicalReferences));
            w.boolean(true);
            w.u32(0);
            w.u32(0x3F);
        });
    };
    struct Result {
        StatusCode status;
        std::string cp;
        std::vector<std::string> names;
    };
    const auto parse = [](const Response& r) {
        Reader rd = r.body();
        rd.arrayLength();
        Result res{rd.statusCode(), rd.byteString(), {}};
        const size_t n = rd.arrayLength();
        for (size_t i = 0; i < n; ++i) {
            rd.nodeId();
            rd.boolean();
            const ExpandedNodeId target = rd.expandedNodeId();
            rd.qualifiedName();
            rd.localizedText();
            rd.i32();
            rd.expandedNodeId();
            res.names.push_back(target.id.text.empty() ? target.id.toString() : target.id.text);
        }
        return res;
    };
    Result page = parse(browse(tag("Line1.Values"), 5));
    ASSERT_EQ(page.status, status::Good);
    std::vector<std::string> all = page.names;
    for (int i = 0; i < 10 && !page.cp.empty(); ++i) {
        const std::string cp = page.cp;
        page = parse(h.call(533, token, [&](Writer& w) {
            w.boolean(false);
            w.arrayLength(1);
            w.byteString(cp);
        }));
        all.insert(all.end(), page.names.begin(), page.names.end());
    }
    EXPECT_EQ(all.size(), 15u);
    EXPECT_EQ(all.front(), "Line1.Values.Bool");
    EXPECT_EQ(all.back(), "Line1.Values.WriteOnly");

    // Inverse: a tag is organized by its folder, a PLC branch by Objects.
    EXPECT_EQ(parse(browse(tag("Line1.Drives.Speed"), 0, 1)).names, std::vector<std::string>{"Line1.Drives"});
    EXPECT_EQ(parse(browse(tag("Line1"), 0, 1)).names, std::vector<std::string>{"i=85"});
    EXPECT_EQ(parse(browse(tag("Nope"), 0)).status, status::BadNodeIdUnknown);
    EXPECT_EQ(parse(browse(tag("Line1"), 0, 7)).status, status::BadBrowseDirectionInvalid);

    // Continuation points are limited per session and invalid ones are reported.
    EXPECT_FALSE(parse(browse(tag("Line1.Values"), 1)).cp.empty());
    EXPECT_FALSE(parse(browse(tag("Line1.Values"), 1)).cp.empty());
    EXPECT_EQ(parse(browse(tag("Line1.Values"), 1)).status, status::BadNoContinuationPoints);
    const Result invalid = parse(h.call(533, token, [](Writer& w) {
        w.boolean(false);
        w.arrayLength(1);
        w.byteString("bogus");
    }));
    EXPECT_EQ(invalid.status, status::BadContinuationPointInvalid);
}

TEST(Engine, TranslateBrowsePathFindsTagsByName)
{
    Harness h;
    const NodeId token = h.session();
    const auto translate = [&](std::vector<std::string> names) {
        const Response r = h.call(554, token, [&](Writer& w) {
            w.arrayLength(1);
            w.nodeId(NodeId::num(id::Objects));
            w.arrayLength(names.size());
            for (const auto& n : names) {
                w.nodeId(NodeId::num(id::HierarchicalReferences));
                w.boolean(false);
                w.boolean(true);
                w.qualifiedName({1, n});
            }
        });
        Reader rd = r.body();
        rd.arrayLength();
        const StatusCode s = rd.statusCode();
        const auto targets = rd.array<NodeId>([](Reader& x) {
            const auto e = x.expandedNodeId();
            x.u32();
            return e.id;
        });
        return std::make_pair(s, targets);
    };
    const auto found = translate({"Line1", "Drives", "Speed"});
    EXPECT_EQ(found.first, status::Good);
    ASSERT_EQ(found.second.size(), 1u);
    EXPECT_EQ(found.second[0], tag("Line1.Drives.Speed"));
    EXPECT_EQ(translate({"Line1", "Pumps"}).first, status::BadNoMatch);
    EXPECT_EQ(translate({"Line1", ""}).first, status::BadBrowseNameInvalid);
}

TEST(Engine, SubscriptionsAndMonitoredItemsDriveGroupsAndItems)
{
    Harness h;
    const NodeId token = h.session();
    const uint32_t sub = createSubscription(h, token, 100);
    EXPECT_EQ(h.backend.groupRates(), std::vector<uint32_t>{100});

    const auto items = createItems(h, token, sub,
                                   {{tag("Line1.Drives.Speed"), 2},
                                    {tag("Line1.Drives.Running"), 1},
                                    {tag("Line1.Values.Int16"), 0},
                                    {tag("Nope"), 2},
                                    {tag("Line1.Values.WriteOnly"), 2}});
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].status, status::Good);
    EXPECT_EQ(items[2].status, status::Good);
    EXPECT_EQ(items[3].status, status::BadNodeIdUnknown);
    EXPECT_EQ(items[4].status, status::BadNotReadable);
    // Reporting and Sampling activate with the group's rate; Disabled does not.
    EXPECT_EQ(h.backend.activations(),
              (std::vector<std::string>{"+Line1.Drives.Speed@100", "+Line1.Drives.Running@100"}));

    // SetMonitoringMode Disabled deactivates; Reporting activates again.
    const auto setMode = [&](int32_t mode, uint32_t item) {
        return statuses(h.call(769, token, [&](Writer& w) {
            w.u32(sub);
            w.i32(mode);
            w.arrayLength(1);
            w.u32(item);
        }));
    };
    EXPECT_EQ(setMode(0, items[1].id)[0], status::Good);
    EXPECT_EQ(setMode(2, items[2].id)[0], status::Good);
    EXPECT_EQ(setMode(2, 999999)[0], status::BadMonitoredItemIdInvalid);
    EXPECT_EQ(h.backend.activations().back(), "+Line1.Values.Int16@100");
    EXPECT_EQ(h.backend.activations()[2], "-Line1.Drives.Running");

    // ModifySubscription with a new interval changes the group's rate.
    const Response modified = h.call(793, token, [&](Writer& w) {
        w.u32(sub);
        w.f64(250);
        w.u32(100);
        w.u32(10);
        w.u32(0);
        w.u8(0);
    });
    Reader mr = modified.body();
    EXPECT_EQ(mr.f64(), 250.0);
    EXPECT_EQ(h.backend.groupRates(), std::vector<uint32_t>{250});

    // Deleting an active item deactivates it; deleting the subscription removes the group.
    const auto deleted = statuses(h.call(781, token, [&](Writer& w) {
        w.u32(sub);
        w.arrayLength(2);
        w.u32(items[0].id);
        w.u32(items[0].id);
    }));
    EXPECT_EQ(deleted, (std::vector<StatusCode>{status::Good, status::BadMonitoredItemIdInvalid}));
    EXPECT_EQ(h.backend.activations().back(), "-Line1.Drives.Speed");
    EXPECT_EQ(statuses(h.call(847, token,
                              [&](Writer& w) {
                                  w.arrayLength(2);
                                  w.u32(sub);
                                  w.u32(sub + 100);
                              })),
              (std::vector<StatusCode>{status::Good, status::BadSubscriptionIdInvalid}));
    EXPECT_TRUE(h.backend.groupRates().empty());
    EXPECT_EQ(h.backend.activeItems(), 0u);
}

TEST(Engine, PublishDeliversChangesWithAcknowledgementAndRepublish)
{
    Harness h;
    const NodeId token = h.session();
    const uint32_t sub = createSubscription(h, token, 50);
    createItems(h, token, sub, {{tag("Line1.Values.Int32"), 2}});
    h.backend.setValue("Line1.Values.Int32", Variant::int32(77));

    // Keep-alives carry no data; wait (bounded) for the message with the value.
    Publish got;
    for (int i = 0; i < 20; ++i) {
        const auto resp = h.await(postPublish(h, token));
        ASSERT_TRUE(resp.has_value());
        got = parsePublish(*resp);
        if (!got.changes.empty()) break;
    }
    ASSERT_EQ(got.changes.size(), 1u);
    EXPECT_EQ(got.subscription, sub);
    EXPECT_EQ(got.changes[0].first, 1u);  // client handle
    EXPECT_EQ(std::get<int64_t>(got.changes[0].second.value.scalar), 77);
    EXPECT_EQ(got.available, std::vector<uint32_t>{got.sequence});

    // Republish returns the unacknowledged message; after the acknowledgement it is gone.
    const Response again = h.call(832, token, [&](Writer& w) {
        w.u32(sub);
        w.u32(got.sequence);
    });
    EXPECT_EQ(again.serviceResult, status::Good);
    EXPECT_EQ(again.body().u32(), got.sequence);

    h.backend.setValue("Line1.Values.Int32", Variant::int32(78));
    Publish next;
    bool acked = false;
    for (int i = 0; i < 20; ++i) {
        const auto resp = h.await(postPublish(
            h, token,
            acked ? std::vector<std::pair<uint32_t, uint32_t>>{}
                  : std::vector<std::pair<uint32_t, uint32_t>>{{sub, got.sequence}, {sub, 9999}}));
        ASSERT_TRUE(resp.has_value());
        next = parsePublish(*resp);
        if (!acked) {
            EXPECT_EQ(next.ackResults,
                      (std::vector<StatusCode>{status::Good, status::BadSequenceNumberUnknown}));
            acked = true;
        }
        if (!next.changes.empty()) break;
    }
    ASSERT_EQ(next.changes.size(), 1u);
    EXPECT_EQ(next.sequence, got.sequence + 1);
    EXPECT_EQ(h.call(832, token,
                     [&](Writer& w) {
                         w.u32(sub);
                         w.u32(got.sequence);
                     })
                  .serviceResult,
              status::BadMessageNotAvailable);
}

TEST(Engine, KeepAliveAndSubscriptionLifetime)
{
    Harness h;
    const NodeId token = h.session();
    const uint32_t sub = createSubscription(h, token, 50, 3, 1);
    // An idle subscription answers a Publish with a keep-alive.
    const auto resp = h.await(postPublish(h, token));
    ASSERT_TRUE(resp.has_value());
    const Publish ka = parsePublish(*resp);
    EXPECT_TRUE(ka.keepAlive);
    EXPECT_EQ(ka.subscription, sub);
    EXPECT_EQ(ka.sequence, 1u);  // the next sequence number, not consumed

    // Without Publish requests the subscription expires after its lifetime count (revised to at
    // least three keep-alive periods) and its group goes away.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!h.backend.groupRates().empty() && std::chrono::steady_clock::now() < end) {
        h.engine.processInbox();
        h.engine.tick(std::chrono::steady_clock::now());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(h.backend.groupRates().empty());
    EXPECT_EQ(h.call(826, token, [](Writer& w) { w.emptyArray(); }).serviceResult, status::BadNoSubscription);
}

TEST(Engine, SubscriptionAndItemLimits)
{
    ServerLimits limits;
    limits.maxSubscriptionsPerSession = 1;
    limits.maxMonitoredItemsPerSession = 2;
    limits.maxPublishRequestsPerSession = 2;
    Harness h(limits);
    const NodeId token = h.session();
    const uint32_t sub = createSubscription(h, token, 1000, 10000, 1000);
    EXPECT_EQ(h.call(787, token, [](Writer& w) { writeCreateSubscription(w, 100, 100, 10); }).serviceResult,
              status::BadTooManySubscriptions);
    const auto items = createItems(
        h, token, sub,
        {{tag("Line1.Values.Int16"), 2}, {tag("Line1.Values.Int32"), 2}, {tag("Line1.Values.Byte"), 2}});
    EXPECT_EQ(items[1].status, status::Good);
    EXPECT_EQ(items[2].status, status::BadTooManyMonitoredItems);
    // Only two Publish requests wait at a time: the oldest is answered when a third arrives.
    const uint32_t p1 = postPublish(h, token);
    const uint32_t p2 = postPublish(h, token);
    const uint32_t p3 = postPublish(h, token);
    (void)p2;
    (void)p3;
    const auto oldest = h.await(p1);
    ASSERT_TRUE(oldest.has_value());
    // p1 may have been used for the first keep-alive; either way it is answered.
    EXPECT_TRUE(oldest->serviceResult == status::BadTooManyPublishRequests ||
                oldest->serviceResult == status::Good);
}

TEST(Engine, ServerObjectAndNonValueMonitoring)
{
    Harness h;
    const NodeId token = h.session();
    const auto v = h.read(token, 0,
                          {{NodeId::num(id::NamespaceArray), attr::Value},
                           {NodeId::num(id::ServerStatus), attr::Value},
                           {NodeId::num(id::MaxNodesPerRead), attr::Value},
                           {NodeId::num(id::Server), attr::BrowseName}});
    ASSERT_EQ(v.size(), 4u);
    ASSERT_EQ(v[0].value.array.size(), 2u);
    EXPECT_EQ(std::get<std::string>(v[0].value.array[0]), "http://opcfoundation.org/UA/");
    EXPECT_EQ(std::get<ExtensionObject>(v[1].value.scalar).typeId, NodeId::num(864));
    EXPECT_EQ(std::get<uint64_t>(v[2].value.scalar), ServerLimits{}.maxNodesPerRead);
    EXPECT_EQ(std::get<QualifiedName>(v[3].value.scalar).name, "Server");

    // Server state is sampled on the subscription's cycle and reported when it changes.
    const uint32_t sub = createSubscription(h, token, 50);
    const auto items = createItems(h, token, sub, {{NodeId::num(id::State), 2}});
    ASSERT_EQ(items[0].status, status::Good);
    EXPECT_TRUE(h.backend.activations().empty());
    std::vector<int64_t> states;
    for (int i = 0; i < 40 && states.size() < 2; ++i) {
        if (states.size() == 1) h.engine.beginShutdown("Server shutdown");
        const auto resp = h.await(postPublish(h, token));
        ASSERT_TRUE(resp.has_value());
        for (const auto& [handle, value] : parsePublish(*resp).changes)
            states.push_back(std::get<int64_t>(value.value.scalar));
    }
    EXPECT_EQ(states, (std::vector<int64_t>{0, 4}));
}

TEST(Engine, EveryServiceThatNeedsASessionRefusesRequestsWithoutOne)
{
    ServerLimits limits;
    limits.maxNodesPerMethodCall = 1;
    Harness h(limits);
    const Response created = h.call(461, NodeId{}, [](Writer& w) { writeCreateSession(w); });
    Reader cr = created.body();
    cr.nodeId();
    const NodeId notActivated = cr.nodeId();
    // Browse .. Call: checked before the request's body is read, so an empty body will do.
    for (const uint32_t service : {527u, 533u, 554u, 560u, 566u, 631u, 673u, 751u, 763u, 769u, 781u, 787u,
                                   793u, 799u, 826u, 832u, 847u, 712u}) {
        EXPECT_EQ(h.call(service, NodeId{}, [](Writer&) {}).serviceResult, status::BadSessionIdInvalid)
            << service;
        EXPECT_EQ(h.call(service, notActivated, [](Writer&) {}).serviceResult, status::BadSessionNotActivated)
            << service;
    }
    // Operations per call, by the service's limit.
    const NodeId token = h.session();
    const auto callRequests = [](size_t n) {
        return [n](Writer& w) {
            w.arrayLength(n);
            for (size_t i = 0; i < n; ++i) {
                w.nodeId(NodeId::num(id::Server));
                w.nodeId(NodeId::num(id::GetMonitoredItems));
                w.arrayLength(1);
                w.variant(Variant::uint32(1));
            }
        };
    };
    EXPECT_EQ(h.call(712, token, callRequests(0)).serviceResult, status::BadNothingToDo);
    EXPECT_EQ(h.call(712, token, callRequests(2)).serviceResult, status::BadTooManyOperations);
    EXPECT_EQ(h.call(712, token, callRequests(1)).serviceResult, status::Good);
}

namespace {
// An EventFilter: select clauses of BaseEventType fields by name, where clause elements of an
// operator and operands (NodeId literal, UInt16 literal, element index or field name).
struct Operand {
    enum Kind { TypeLiteral, NumberLiteral, Element, Field } kind;
    uint32_t number = 0;
    std::string field;
};
ExtensionObject eventFilter(const std::vector<std::string>& select,
                            const std::vector<std::pair<int32_t, std::vector<Operand>>>& where)
{
    const auto fieldOperand = [](Writer& w, const std::string& name) {
        w.nodeId(NodeId::num(id::BaseEventType));
        w.arrayLength(1);
        w.qualifiedName({0, name});
        w.u32(attr::Value);
        w.nullString();
    };
    std::vector<uint8_t> body;
    Writer w(body);
    w.arrayLength(select.size());
    for (const auto& name : select)
        fieldOperand(w, name);
    w.arrayLength(where.size());
    for (const auto& [op, operands] : where) {
        w.i32(op);
        w.arrayLength(operands.size());
        for (const auto& o : operands) {
            std::vector<uint8_t> ob;
            Writer ow(ob);
            ExtensionObject e;
            e.encoding = 1;
            if (o.kind == Operand::Element) {
                e.typeId = NodeId::num(594);
                ow.u32(o.number);
            } else if (o.kind == Operand::Field) {
                e.typeId = NodeId::num(603);
                fieldOperand(ow, o.field);
            } else {
                e.typeId = NodeId::num(597);
                ow.variant(o.kind == Operand::TypeLiteral
                               ? Variant::of(BuiltinType::NodeId, NodeId::num(o.number))
                               : Variant::of(BuiltinType::UInt16, uint64_t{o.number}));
            }
            e.body.assign(ob.begin(), ob.end());
            w.extensionObject(e);
        }
    }
    ExtensionObject e;
    e.typeId = NodeId::num(727);
    e.encoding = 1;
    e.body.assign(body.begin(), body.end());
    return e;
}

std::vector<StatusCode> createEventItems(Harness& h, const NodeId& token, uint32_t sub,
                                         const std::vector<std::pair<ExtensionObject, uint32_t>>& items,
                                         uint32_t firstHandle = 100)
{
    const Response r = h.call(751, token, [&](Writer& w) {
        w.u32(sub);
        w.i32(2);
        w.arrayLength(items.size());
        uint32_t handle = firstHandle;
        for (const auto& [filter, queueSize] : items) {
            w.nodeId(NodeId::num(id::Server));
            w.u32(attr::EventNotifier);
            w.nullString();
            w.qualifiedName({});
            w.i32(2);
            w.u32(handle++);
            w.f64(0);
            w.extensionObject(filter);
            w.u32(queueSize);
            w.boolean(true);
        }
    });
    Reader rd = r.body();
    return rd.array<StatusCode>([](Reader& x) {
        const StatusCode s = x.statusCode();
        x.u32();
        x.f64();
        x.u32();
        x.extensionObject();
        return s;
    });
}

Event systemEvent(uint16_t severity, uint32_t type = id::SystemEventType)
{
    Event e;
    e.eventType = NodeId::num(type);
    e.sourceName = "test";
    e.severity = severity;
    return e;
}
}  // namespace

TEST(Engine, EventsPassTheWhereClauseAndAFullQueueKeepsTheNewestWithAnOverflowEvent)
{
    Harness h;
    const NodeId token = h.session();
    const uint32_t sub = createSubscription(h, token, 50);
    constexpr int32_t Equals = 0, GreaterThan = 2, Like = 6, And = 10, OfType = 14;
    const std::vector<std::string> fields{"EventType", "Severity"};
    const Operand systemType{Operand::TypeLiteral, id::SystemEventType, {}};
    const auto results = createEventItems(
        h, token, sub,
        {// 100: system events, a queue of two.
         {eventFilter(fields, {{OfType, {systemType}}}), 2},
         // 101: system events above severity 2.
         {eventFilter(fields,
                      {{And, {{Operand::Element, 1, {}}, {Operand::Element, 2, {}}}},
                       {OfType, {systemType}},
                       {GreaterThan, {{Operand::Field, 0, "Severity"}, {Operand::NumberLiteral, 2, {}}}}}),
          10},
         // Refused: an element that points back at itself, an operator not offered, no select clause.
         {eventFilter(fields, {{And, {{Operand::Element, 0, {}}, {Operand::Element, 0, {}}}}}), 10},
         {eventFilter(fields, {{Like, {{Operand::Field, 0, "SourceName"}, {Operand::NumberLiteral, 1, {}}}}}),
          10},
         {eventFilter({}, {{Equals, {{Operand::Field, 0, "Severity"}, {Operand::NumberLiteral, 1, {}}}}}),
          10},
         // An EventFilter that is no event filter at all.
         {ExtensionObject{NodeId::num(727), 1, "\x05"}, 10}});
    // 102: a long where clause whose elements share operands is evaluated once per element.
    std::vector<std::pair<int32_t, std::vector<Operand>>> chain;
    for (uint32_t i = 0; i < 38; ++i)
        chain.push_back({And, {{Operand::Element, i + 1, {}}, {Operand::Element, i + 2, {}}}});
    chain.push_back({OfType, {systemType}});
    chain.push_back({OfType, {systemType}});
    EXPECT_EQ(createEventItems(h, token, sub, {{eventFilter(fields, chain), 10}}, 102),
              std::vector<StatusCode>{status::Good});
    EXPECT_EQ(results, (std::vector<StatusCode>{status::Good, status::Good, status::BadEventFilterInvalid,
                                                status::BadEventFilterInvalid, status::BadEventFilterInvalid,
                                                status::BadEventFilterInvalid}));

    for (uint16_t severity = 1; severity <= 4; ++severity)
        h.engine.reportEvent(systemEvent(severity));
    h.engine.reportEvent(systemEvent(900, id::BaseEventType));            // of no system type: filtered out
    std::map<uint32_t, std::vector<std::pair<uint32_t, uint64_t>>> seen;  // handle -> (type, severity)
    for (int i = 0; i < 20 && (seen[101].size() < 2 || seen[102].size() < 4); ++i) {
        const auto resp = h.await(postPublish(h, token));
        ASSERT_TRUE(resp.has_value());
        for (const auto& [handle, values] : parsePublish(*resp).events) {
            ASSERT_EQ(values.size(), 2u);
            seen[handle].emplace_back(std::get<NodeId>(values[0].scalar).numeric,
                                      std::get<uint64_t>(values[1].scalar));
        }
    }
    // The queue of two overflowed: the overflow event first, then the newest event.
    EXPECT_EQ(seen[100], (std::vector<std::pair<uint32_t, uint64_t>>{{id::EventQueueOverflowEventType, 1},
                                                                     {id::SystemEventType, 4}}));
    EXPECT_EQ(seen[102].size(), 4u);
    EXPECT_EQ(seen[101], (std::vector<std::pair<uint32_t, uint64_t>>{{id::SystemEventType, 3},
                                                                     {id::SystemEventType, 4}}));

    // The server's clock during the shutdown grace.
    h.engine.beginShutdown("Server shutdown", std::chrono::seconds(30));
    const auto left = h.read(token, 0, {{NodeId::num(id::SecondsTillShutdown), attr::Value}});
    ASSERT_EQ(left.size(), 1u);
    const uint64_t seconds = std::get<uint64_t>(left[0].value.scalar);
    EXPECT_TRUE(seconds > 20 && seconds <= 30) << seconds;
}
