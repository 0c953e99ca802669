#include "core/S7Tag.h"

#include "core/CoreQueues.h"
#include "core/S7Plc.h"
#include "core/ValueConversion.h"

namespace orva::core {

S7Tag::S7Tag(std::shared_ptr<CoreQueues> queues, const std::string& name, uint32_t accessRights,
             VarType nativeType, const std::string& description, uint16_t block_, uint16_t byte_,
             uint16_t bit_, uint16_t count, S7Plc* owner)
    : plc(opc::shareRef(owner)),
      dataBlock(block_),
      dataByte(byte_),
      dataBit(bit_),
      elements(count),
      queues_(std::move(queues))
{
    setName(name);
    setAccessRights(accessRights);
    setNativeDatatype(nativeType);
    setDeviceIOMode(opc::SODASTAG_DEVICEIO_QUEUE);

    opc::SOCmnPointer<opc::SODaSProperty> property(new opc::SODaSProperty(opc::SODAS_PROPERTY_ITEM_DESCRIPTION));
    opc::SOCmnVariant text;
    text.setStringUtf8(description);
    property->setConstantValue(text);
    addProperty(property.get());

    auto cache = getCache();
    opc::SOCmnVariant initial;
    if (isArrayType(nativeType) && initial.initArray(baseType(nativeType), elements)) {
        cache->set(initial, opc::OPC_QUALITY_UNCERTAIN);
    } else if (nativeType == VT_BSTR) {
        initial.setString(std::u16string(elements, u'\0'));
        cache->set(initial, opc::OPC_QUALITY_UNCERTAIN);
    } else {
        cache->setQuality(opc::OPC_QUALITY_UNCERTAIN);
    }
}

S7Tag::~S7Tag() = default;

void S7Tag::handleRequest(opc::SODaSRequest& request)
{
    const opc::SODaSTagRequest one{this, &request};
    queueRequests(queues_, std::span(&one, 1));
}

bool S7Tag::admit(opc::SODaSRequest& request, const CoreQueues& queues)
{
    const uint16_t type = request.getType();
    const bool device = type == opc::SODASREQUEST_TYPE_DEVICE || type == opc::SODASREQUEST_TYPE_DEVICE_REFRESH;
    const bool cacheType = type == opc::SODASREQUEST_TYPE_CACHE || type == opc::SODASREQUEST_TYPE_CACHE_REFRESH;

    if (request.getOperation() == opc::SODaSRequest::read) {
        if (!device) {
            request.complete(opc::S_OK, false, opc::OPC_QUALITY_UNCERTAIN, false, true);
            return false;
        }
        request.start();
        return true;
    }

    // A write that would reach past the tag's bytes or change its shape is refused here, before
    // it can touch the PLC or wait behind other requests.
    if (const opc::HRESULT admitted =
            admitWrite(layoutOf(*this), request.getWriteValue(), request.getWriteRange());
        opc::FAILED(admitted)) {
        request.complete(admitted, true, opc::OPC_QUALITY_BAD, false, true);
        return false;
    }

    // Writes are always queued and written. In ctt mode a cache-type write is confirmed at once;
    // every other write is started and completed by the communication thread (a write of an
    // unknown type is treated like a device write, so that it is completed too).
    if (queues.cttMode.load() && cacheType)
        request.complete(opc::S_OK, false, opc::OPC_QUALITY_UNCERTAIN, false, true);
    else
        request.start();
    return true;
}

void queueRequests(const std::weak_ptr<CoreQueues>& weakQueues, std::span<const opc::SODaSTagRequest> requests)
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
            entry.request->complete(opc::E_FAIL, true, opc::OPC_QUALITY_BAD, false, true);
            continue;
        }
        if (!tag->admit(*entry.request, *queues)) continue;
        auto& queue = entry.request->getOperation() == opc::SODaSRequest::read ? reads : writes;
        queue.push_back({opc::shareRef(entry.request), opc::shareRef(tag)});
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
