// Attribute services: Read (from the cache or the device by MaxAge) and Write (device writes).

#include "EngineInternal.h"

namespace orva::opcua {

namespace {
struct ReadValueId {
    NodeId nodeId;
    uint32_t attributeId = 0;
    std::string indexRange;
    QualifiedName dataEncoding;
};

ReadValueId readReadValueId(Reader& x)
{
    ReadValueId v;
    v.nodeId = x.nodeId();
    v.attributeId = x.u32();
    v.indexRange = x.string();
    v.dataEncoding = x.qualifiedName();
    return v;
}

// What a write to a tag must carry: a value of the tag's type, an array for an array tag; with an
// index range exactly the elements (characters of a string) the range names. Whether lengths and
// ranges fit the tag is the device side's answer.
StatusCode checkWriteValue(const Node& node, const DataValue& dv, const NumericRange& range)
{
    const Variant& v = dv.value;
    if (!dv.hasValue || v.type != builtinOfDataType(node.dataType)) return status::BadTypeMismatch;
    const bool arrayTag = node.valueRank == 1;
    if (range.isSet()) {
        if (!arrayTag && v.type != BuiltinType::String) return status::BadIndexRangeNoData;
        if (v.isArray != arrayTag) return status::BadTypeMismatch;
        return checkRangedWrite(range, v);
    }
    if (v.isArray != arrayTag || !v.dimensions.empty()) return status::BadTypeMismatch;
    return status::Good;
}

DataValue valueOfItem(const ItemValue& v, DateTime serverTime)
{
    DataValue d = DataValue::ofValue(v.value, v.timestamp, serverTime);
    d.status = v.status;
    return d;
}
}  // namespace

void Engine::read(RequestContext& ctx, Reader& r)
{
    const double maxAge = r.f64();
    const int32_t timestamps = r.i32();
    const auto nodes = r.array<ReadValueId>(readReadValueId, 13);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = ctx.session;
    if (!admitOperations(ctx, nodes.size())) return;
    if (!(maxAge >= 0)) return sendFault(ctx, status::BadMaxAgeInvalid);
    if (timestamps < 0 || timestamps > 3) return sendFault(ctx, status::BadTimestampsToReturnInvalid);

    auto pending = std::make_shared<PendingRead>();
    pending->ctx = ctx;
    pending->ctx.session = nullptr;  // the request completes later; the session may be gone by then
    pending->ctx.endpointUrl = {};
    pending->ctx.security = nullptr;  // belongs to the channel, which may close first
    pending->sessionKey = s->key;
    pending->client = s->client;
    pending->maxAge = maxAge;
    pending->timestamps = static_cast<TimestampsToReturn>(timestamps);
    pending->results.resize(nodes.size());
    pending->ranges.resize(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        const auto& rv = nodes[i];
        const auto node = space_.find(rv.nodeId);
        DataValue& out = pending->results[i];
        if (!node) {
            out = DataValue::ofStatus(status::BadNodeIdUnknown);
        } else if (isBad(parseNumericRange(rv.indexRange, pending->ranges[i]))) {
            out = DataValue::ofStatus(status::BadIndexRangeInvalid);
        } else if (rv.attributeId != attr::Value) {
            out = space_.readAttribute(*node, rv.attributeId);
            // What this user may do: a reader sees no write right.
            if (rv.attributeId == attr::UserAccessLevel && s->access != Access::Write && out.hasValue)
                out.value = Variant::of(BuiltinType::Byte, uint64_t{node->accessLevel & ~0x02u});
        } else if (!rv.dataEncoding.name.empty()) {
            out = DataValue::ofStatus(status::BadDataEncodingInvalid);
        } else if (!node->isTag) {
            out = readNonTagValue(*node);
        } else if ((node->accessLevel & 0x01) == 0) {
            out = DataValue::ofStatus(status::BadNotReadable);
        } else {
            pending->slots.push_back(i);
            pending->itemIds.push_back(node->itemId);
        }
    }
    if (pending->slots.empty()) return finishRead(pending);

    const bool fromDevice = maxAge == 0;
    backend_.read(s->client, pending->itemIds, fromDevice,
                  [this, inbox = inbox_, pending, fromDevice](std::vector<ItemValue> values) {
                      inbox->post([this, pending, fromDevice, values = std::move(values)]() mutable {
                          const DateTime t = now();
                          std::vector<size_t> staleSlots;
                          std::vector<std::string> staleIds;
                          for (size_t k = 0; k < pending->slots.size(); ++k) {
                              const size_t slot = pending->slots[k];
                              if (k >= values.size()) {
                                  pending->results[slot] = DataValue::ofStatus(status::BadInternalError);
                                  continue;
                              }
                              const bool stale =
                                  !fromDevice &&
                                  (values[k].timestamp == 0 ||
                                   static_cast<double>(t - values[k].timestamp) / 10000.0 > pending->maxAge);
                              if (stale) {
                                  staleSlots.push_back(slot);
                                  staleIds.push_back(pending->itemIds[k]);
                                  continue;
                              }
                              pending->results[slot] = valueOfItem(values[k], t);
                          }
                          // A cached value older than MaxAge is read again from the device.
                          if (staleSlots.empty() || !sessions_->contains(pending->sessionKey))
                              return finishRead(pending);
                          pending->slots = std::move(staleSlots);
                          pending->itemIds = std::move(staleIds);
                          backend_.read(pending->client, pending->itemIds, true,
                                        [this, inbox = inbox_, pending](std::vector<ItemValue> again) {
                                            inbox->post([this, pending, again = std::move(again)] {
                                                const DateTime t2 = now();
                                                for (size_t k = 0; k < pending->slots.size(); ++k)
                                                    pending->results[pending->slots[k]] =
                                                        k < again.size()
                                                            ? valueOfItem(again[k], t2)
                                                            : DataValue::ofStatus(status::BadInternalError);
                                                finishRead(pending);
                                            });
                                        });
                      });
                  });
}

void Engine::finishRead(const std::shared_ptr<PendingRead>& pending)
{
    sendResponse(pending->ctx, svc::Read, [&](Writer& w) {
        w.arrayLength(pending->results.size());
        for (size_t i = 0; i < pending->results.size(); ++i) {
            DataValue& v = pending->results[i];
            if (v.hasValue && pending->ranges[i].isSet() && isBad(applyRange(pending->ranges[i], v.value)))
                v = DataValue::ofStatus(status::BadIndexRangeNoData);
            applyTimestamps(v, pending->timestamps);
            w.dataValue(v);
        }
        w.emptyArray();
    });
}

// ---- Write -----------------------------------------------------------------------------------

void Engine::write(RequestContext& ctx, Reader& r)
{
    struct WriteValue {
        NodeId nodeId;
        uint32_t attributeId = 0;
        std::string indexRange;
        DataValue value;
    };
    auto nodes = r.array<WriteValue>(
        [](Reader& x) {
            WriteValue v;
            v.nodeId = x.nodeId();
            v.attributeId = x.u32();
            v.indexRange = x.string();
            v.value = x.dataValue();
            return v;
        },
        12);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    Session* s = ctx.session;
    if (!admitOperations(ctx, nodes.size())) return;

    struct PendingWrite {
        RequestContext ctx;
        std::vector<StatusCode> results;
        size_t outstanding = 0;
    };
    auto pending = std::make_shared<PendingWrite>();
    pending->ctx = ctx;
    pending->ctx.session = nullptr;  // the request completes later; the session may be gone by then
    pending->ctx.endpointUrl = {};
    pending->ctx.security = nullptr;  // belongs to the channel, which may close first
    pending->results.resize(nodes.size(), status::Good);
    auto finish = [this](const std::shared_ptr<PendingWrite>& p) {
        sendResponse(p->ctx, svc::Write, [&](Writer& w) {
            w.arrayLength(p->results.size());
            for (const StatusCode c : p->results)
                w.statusCode(c);
            w.emptyArray();
        });
    };
    struct Accepted {
        size_t index = 0;
        std::string itemId;
        NumericRange range;
    };
    std::vector<Accepted> toWrite;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const auto& wv = nodes[i];
        StatusCode& result = pending->results[i];
        const auto node = space_.find(wv.nodeId);
        NumericRange range;
        if (!node) {
            result = status::BadNodeIdUnknown;
        } else if (wv.attributeId < attr::NodeId || wv.attributeId > 27) {
            result = status::BadAttributeIdInvalid;
        } else if (wv.attributeId != attr::Value || !node->isTag || (node->accessLevel & 0x02) == 0) {
            result = status::BadNotWritable;
        } else if (s->access != Access::Write) {
            result = status::BadUserAccessDenied;  // the user's role allows no writes
        } else if (isBad(parseNumericRange(wv.indexRange, range))) {
            result = status::BadIndexRangeInvalid;
        } else if (wv.value.status != status::Good || wv.value.sourceTimestamp != 0 ||
                   wv.value.serverTimestamp != 0) {
            // The PLC keeps values only: a status or time stamp could not be stored.
            result = status::BadWriteNotSupported;
        } else {
            result = checkWriteValue(*node, wv.value, range);
        }
        if (!isBad(result)) toWrite.push_back({i, node->itemId, std::move(range)});
    }
    if (toWrite.empty()) return finish(pending);
    pending->outstanding = toWrite.size();
    std::vector<Backend::WriteOrder> orders;
    orders.reserve(toWrite.size());
    for (const auto& entry : toWrite) {
        const size_t index = entry.index;
        orders.push_back({entry.itemId, nodes[index].value.value, entry.range,
                          [inbox = inbox_, pending, index, finish](bool ok, StatusCode ended) {
                              inbox->post([pending, index, ok, ended, finish] {
                                  StatusCode result = status::Good;
                                  if (!ok) {
                                      result = ended;
                                      if (!isBad(result)) result = status::Bad;
                                  }
                                  pending->results[index] = result;
                                  if (--pending->outstanding == 0) finish(pending);
                              });
                          }});
    }
    backend_.writeTogether(s->client, std::move(orders));
}

}  // namespace orva::opcua
