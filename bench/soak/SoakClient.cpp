#include "SoakClient.h"

#include "opcua/AddressSpace.h"

namespace orva::soak {

using namespace orva::opcua;

namespace {
constexpr uint32_t kRead = 631, kWrite = 673, kCreateSession = 461, kActivateSession = 467,
                   kCloseSession = 473, kCreateSubscription = 787, kCreateMonitoredItems = 751;
// Longer than any request may take, even one that waits for a silent PLC to time out
// (docs/polling.md): an answer later than this counts as never given.
constexpr auto kAnswerTime = std::chrono::seconds(30);
}  // namespace

std::optional<SoakClient::Sent> SoakClient::send(uint32_t typeId, const std::function<void(Writer&)>& fields)
{
    const Sent sent{++nextHandle_, std::chrono::steady_clock::now()};
    if (client_.send(makeRequest(typeId, token_, sent.handle, fields)) == 0) return std::nullopt;
    return sent;
}

std::optional<Response> SoakClient::await(const Sent& sent, std::chrono::milliseconds* took)
{
    const auto deadline = sent.at + kAnswerTime;
    while (std::chrono::steady_clock::now() < deadline) {
        auto r = client_.receive(std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()));
        if (took != nullptr)
            *took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                          sent.at);
        if (!r) return std::nullopt;
        if (r->requestHandle == sent.handle) return r;
        ++strays_;  // an answer to something already answered
    }
    return std::nullopt;
}

std::optional<Response> SoakClient::call(uint32_t typeId, const std::function<void(Writer&)>& fields,
                                         std::chrono::milliseconds* took)
{
    const auto sent = send(typeId, fields);
    if (!sent) return std::nullopt;
    return await(*sent, took);
}

StatusCode SoakClient::start(uint16_t port, const std::string& sourceAddress, double sessionTimeoutMs)
{
    client_.sourceAddress = sourceAddress;
    if (!client_.connect(port)) return status::BadCommunicationError;
    if (!client_.hello() || client_.open() == 0)
        return isBad(client_.lastError) ? client_.lastError : status::BadCommunicationError;
    const auto created = call(kCreateSession, [&](Writer& w) { writeCreateSession(w, sessionTimeoutMs); });
    if (!created) return status::BadTimeout;
    if (isBad(created->serviceResult)) return created->serviceResult;
    Reader r = created->body();
    r.nodeId();
    token_ = r.nodeId();
    const auto activated = call(kActivateSession, [](Writer& w) { writeAnonymousActivate(w); });
    if (!activated) return status::BadTimeout;
    return activated->serviceResult;
}

namespace {
void writeInt16(Writer& w, const std::string& nodeName, int16_t value)
{
    w.arrayLength(1);
    w.nodeId(NodeId::str(nodeName, 1));
    w.u32(attr::Value);
    w.nullString();
    w.dataValue(DataValue::ofValue(Variant::of(BuiltinType::Int16, int64_t{value})));
}
}  // namespace

Outcome SoakClient::writeOutcome(const std::optional<Response>& answer, std::chrono::milliseconds took) const
{
    Outcome out;
    out.took = took;
    if (!answer) return out;
    out.answered = true;
    out.status = answer->serviceResult;
    if (isBad(answer->serviceResult)) return out;
    Reader rd = answer->body();
    if (rd.arrayLength() == 1) out.status = rd.statusCode();
    return out;
}

Outcome SoakClient::write(const std::string& nodeName, int16_t value)
{
    std::chrono::milliseconds took{0};
    const auto r = call(
        kWrite, [&](Writer& w) { writeInt16(w, nodeName, value); }, &took);
    return writeOutcome(r, took);
}

bool SoakClient::beginWrite(const std::string& nodeName, int16_t value)
{
    pendingWrite_ = send(kWrite, [&](Writer& w) { writeInt16(w, nodeName, value); });
    return pendingWrite_.has_value();
}

Outcome SoakClient::finishWrite()
{
    if (!pendingWrite_) return {};
    std::chrono::milliseconds took{0};
    const auto r = await(*pendingWrite_, &took);
    pendingWrite_.reset();
    return writeOutcome(r, took);
}

Outcome SoakClient::readFromDevice(const std::string& nodeName)
{
    Outcome out;
    const auto r = call(
        kRead,
        [&](Writer& w) {
            writeReadRequest(w, 0, {{NodeId::str(nodeName, 1), attr::Value}});
        },
        &out.took);
    if (!r) return out;
    out.answered = true;
    out.status = r->serviceResult;
    if (isBad(r->serviceResult)) return out;
    Reader rd = r->body();
    if (rd.arrayLength() != 1) return out;
    const DataValue v = rd.dataValue();
    out.status = v.status;
    if (const auto* i = std::get_if<int64_t>(&v.value.scalar)) out.value = *i;
    return out;
}

bool SoakClient::subscribe(const std::string& nodeName)
{
    const auto sub = call(kCreateSubscription, [](Writer& w) { writeCreateSubscription(w, 200, 100, 10); });
    if (!sub || isBad(sub->serviceResult)) return false;
    const uint32_t id = sub->body().u32();
    const auto items = call(kCreateMonitoredItems,
                            [&](Writer& w) { writeCreateMonitoredItems(w, id, {NodeId::str(nodeName, 1)}); });
    return items && !isBad(items->serviceResult);
}

void SoakClient::closeSession()
{
    call(kCloseSession, [](Writer& w) { w.boolean(true); });
    client_.close();
}

}  // namespace orva::soak
