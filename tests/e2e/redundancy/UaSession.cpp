#include "UaSession.h"

#include "opcua/AddressSpace.h"

namespace orva::e2e {

using namespace orva::opcua;

namespace {

constexpr uint32_t kRead = 631, kWrite = 673, kCloseSession = 473, kCreateSubscription = 787,
                   kCreateMonitoredItems = 751, kPublish = 826, kServiceFault = 397;

}  // namespace

UaSession::~UaSession()
{
    if (!token_.isNull())
        client_.call(makeRequest(kCloseSession, token_, nextHandle(), [](Writer& w) { w.boolean(true); }));
}

bool UaSession::open(uint16_t port)
{
    if (!client_.connect(port) || !client_.hello() || client_.open() == 0) return false;
    const auto token = client_.session();
    if (!token) return false;
    token_ = *token;
    return true;
}

std::optional<Response> UaSession::call(uint32_t typeId, const std::function<void(Writer&)>& fields)
{
    auto r = client_.call(makeRequest(typeId, token_, nextHandle(), fields));
    if (!r || !r->ok || r->typeId == kServiceFault || isBad(r->serviceResult)) return std::nullopt;
    return r;
}

std::vector<DataValue> UaSession::read(const std::vector<std::pair<NodeId, uint32_t>>& nodes, double maxAgeMs)
{
    const auto r = call(kRead, [&](Writer& w) { writeReadRequest(w, maxAgeMs, nodes); });
    if (!r) return {};
    Reader rd = r->body();
    auto values = rd.array<DataValue>([](Reader& x) { return x.dataValue(); });
    return rd.ok() && values.size() == nodes.size() ? values : std::vector<DataValue>{};
}

std::optional<DataValue> UaSession::readValue(const NodeId& node, double maxAgeMs)
{
    auto values = read({{node, attr::Value}}, maxAgeMs);
    if (values.empty()) return std::nullopt;
    return values.front();
}

std::vector<StatusCode> UaSession::write(const std::vector<std::pair<NodeId, Variant>>& values)
{
    const auto r = call(kWrite, [&](Writer& w) {
        w.arrayLength(values.size());
        for (const auto& [node, value] : values) {
            w.nodeId(node);
            w.u32(attr::Value);
            w.nullString();
            w.dataValue(DataValue::ofValue(value));
        }
    });
    if (!r) return {};
    Reader rd = r->body();
    auto results = rd.array<StatusCode>([](Reader& x) { return x.statusCode(); });
    return rd.ok() && results.size() == values.size() ? results : std::vector<StatusCode>{};
}

std::optional<StatusCode> UaSession::write(const NodeId& node, const Variant& value)
{
    const auto results = write({{node, value}});
    if (results.empty()) return std::nullopt;
    return results.front();
}

UaWatcher::~UaWatcher()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

bool UaWatcher::start(uint16_t port, const std::vector<NodeId>& nodes, double intervalMs)
{
    if (!session_.open(port)) return false;
    const auto sub = session_.call(kCreateSubscription,
                                   [&](Writer& w) { writeCreateSubscription(w, intervalMs, 3000, 20); });
    if (!sub) return false;
    Reader sr = sub->body();
    subscriptionId_ = sr.u32();
    if (!sr.ok()) return false;
    const auto items = session_.call(kCreateMonitoredItems, [&](Writer& w) {
        writeCreateMonitoredItems(w, subscriptionId_, nodes, {.queueSize = 10});
    });
    if (!items) return false;
    Reader ir = items->body();
    if (ir.arrayLength() != nodes.size()) return false;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const StatusCode s = ir.statusCode();
        ir.u32();
        ir.f64();
        ir.u32();
        ir.extensionObject();
        if (!ir.ok() || isBad(s)) return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void UaWatcher::run()
{
    TcpClient& client = session_.client();
    std::vector<uint32_t> acks;
    const auto publish = [&] {
        client.send(makeRequest(kPublish, session_.token(), session_.nextHandle(),
                                [&](Writer& w) { writePublishRequest(w, subscriptionId_, acks); }));
        acks.clear();
    };
    publish();
    publish();
    while (!stop_) {
        const auto r = client.receive(std::chrono::milliseconds(200));
        if (!r) {
            if (isBad(client.lastError)) return;
            continue;
        }
        if (r->typeId != kServiceFault && !isBad(r->serviceResult)) {
            PublishedChanges published = parsePublishResponse(*r);
            {
                std::lock_guard lock(mutex_);
                for (DataChange& change : published.changes) {
                    latest_[change.clientHandle] = std::move(change.value);
                    ++counts_[change.clientHandle];
                }
            }
            if (published.sequenceToAcknowledge) acks.push_back(*published.sequenceToAcknowledge);
        }
        publish();
    }
}

std::optional<DataValue> UaWatcher::latest(size_t index) const
{
    std::lock_guard lock(mutex_);
    const auto it = latest_.find(index);
    if (it == latest_.end()) return std::nullopt;
    return it->second;
}

size_t UaWatcher::notifications(size_t index) const
{
    std::lock_guard lock(mutex_);
    const auto it = counts_.find(index);
    return it == counts_.end() ? 0 : it->second;
}

}  // namespace orva::e2e
