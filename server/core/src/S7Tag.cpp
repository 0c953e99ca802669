#include "core/S7Tag.h"

#include "core/CoreQueues.h"
#include "core/S7Plc.h"
#include "core/ValueConversion.h"

namespace orva::core {

S7Tag::S7Tag(std::shared_ptr<CoreQueues> queues, const std::string& name, uint32_t accessRights,
             VarType nativeType, const std::string& description, uint16_t block_, uint16_t byte_,
             uint16_t bit_, uint16_t count, S7Plc* owner)
    : plc(shareRef(owner)),
      dataBlock(block_),
      dataByte(byte_),
      dataBit(bit_),
      elements(count),
      queues_(std::move(queues))
{
    setName(name);
    setAccessRights(accessRights);
    setNativeDatatype(nativeType);
    setDeviceIOMode(SODASTAG_DEVICEIO_QUEUE);

    SOCmnPointer<SODaSProperty> property(new SODaSProperty(SODAS_PROPERTY_ITEM_DESCRIPTION));
    SOCmnVariant text;
    text.setStringUtf8(description);
    property->setConstantValue(text);
    addProperty(property.get());

    auto cache = getCache();
    SOCmnVariant initial;
    if (isArrayType(nativeType) && initial.initArray(baseType(nativeType), elements)) {
        cache->set(initial, OPC_QUALITY_UNCERTAIN);
    } else if (nativeType == VT_BSTR) {
        initial.setString(std::u16string(elements, u'\0'));
        cache->set(initial, OPC_QUALITY_UNCERTAIN);
    } else {
        cache->setQuality(OPC_QUALITY_UNCERTAIN);
    }
}

S7Tag::~S7Tag() = default;

void S7Tag::handleRequest(SODaSRequest& request)
{
    const SODaSTagRequest one{this, &request};
    queueRequests(queues_, std::span(&one, 1));
}

bool S7Tag::admit(SODaSRequest& request, const CoreQueues& queues)
{
    const uint16_t type = request.getType();
    const bool device = type == SODASREQUEST_TYPE_DEVICE || type == SODASREQUEST_TYPE_DEVICE_REFRESH;
    const bool cacheType = type == SODASREQUEST_TYPE_CACHE || type == SODASREQUEST_TYPE_CACHE_REFRESH;

    if (request.getOperation() == SODaSRequest::read) {
        if (!device) {
            request.complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true);
            return false;
        }
        request.start();
        return true;
    }

    // A write that would reach past the tag's bytes or change its shape is refused here, before
    // it can touch the PLC or wait behind other requests.
    if (const HRESULT admitted =
            admitWrite(layoutOf(*this), request.getWriteValue(), request.getWriteRange());
        FAILED(admitted)) {
        request.complete(admitted, true, OPC_QUALITY_BAD, false, true);
        return false;
    }

    // Writes are always queued and written. In ctt mode a cache-type write is confirmed at once;
    // every other write is started and completed by the communication thread (a write of an
    // unknown type is treated like a device write, so that it is completed too).
    if (queues.cttMode.load() && cacheType)
        request.complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true);
    else
        request.start();
    return true;
}

void queueRequests(const std::weak_ptr<CoreQueues>& weakQueues, std::span<const SODaSTagRequest> requests)
{
    const auto queues = weakQueues.lock();
    std::vector<TagRequest> reads;
    std::vector<TagRequest> writes;
    for (const auto& entry : requests) {
        auto* tag = dynamic_cast<S7Tag*>(entry.tag);
        if (!tag) {
            entry.tag->handleRequest(*entry.request);
            continue;
        }
        if (!queues) {
            // The server is being torn down: nothing will serve the request any more.
            entry.request->complete(E_FAIL, true, OPC_QUALITY_BAD, false, true);
            continue;
        }
        if (!tag->admit(*entry.request, *queues)) continue;
        auto& queue = entry.request->getOperation() == SODaSRequest::read ? reads : writes;
        queue.push_back({shareRef(entry.request), shareRef(tag)});
    }
    if (reads.empty() && writes.empty()) return;
    // One lock for all: the communication thread takes them in the same step.
    {
        std::lock_guard lock(queues->queueLock);
        for (auto& r : reads)
            queues->readRequestQueue.push_back(std::move(r));
        for (auto& w : writes)
            queues->writeRequestQueue.push_back(std::move(w));
    }
    queues->notifyWork();
}

}  // namespace orva::core
