#include "opc/SODaSRequest.h"

#include "opc/SODaSTag.h"

namespace orva::opc {

SODaSRequest::SODaSRequest(Operation operation, uint16_t type, SODaSItemTag* tag)
    : SOCmnObject(SOCMNOBJECT_TYPE_REQUEST), operation_(operation), type_(type), tag_(shareRef(tag))
{
}

SODaSRequest::~SODaSRequest()
{
    if (!isCompleted()) complete(E_ABORT, true, OPC_QUALITY_BAD, false, true);
}

SOCmnPointer<SODaSItemTag> SODaSRequest::getItemTag() const
{
    return tag_;
}

void SODaSRequest::setSink(std::shared_ptr<SODaSRequestSink> sink)
{
    std::lock_guard g(mutex_);
    sink_ = std::move(sink);
}

bool SODaSRequest::start()
{
    std::lock_guard g(mutex_);
    const uint8_t state = getObjectState();
    if (state & SODASREQUEST_STATE_COMPLETED) return false;
    setObjectState(static_cast<uint8_t>(state | SODASREQUEST_STATE_STARTED));
    return true;
}

bool SODaSRequest::complete(HRESULT result, bool validQuality, uint16_t quality, bool storeWriteValue,
                            bool notify)
{
    std::shared_ptr<SODaSRequestSink> sink;
    {
        std::lock_guard g(mutex_);
        const uint8_t state = getObjectState();
        if (state & SODASREQUEST_STATE_COMPLETED) return false;
        setObjectState(
            static_cast<uint8_t>((state & ~SODASREQUEST_STATE_STARTED) | SODASREQUEST_STATE_COMPLETED));
        sink = std::move(sink_);
    }
    SODaSRequestResult r;
    r.result = result;
    SOCmnPointer<SODaSCache> cache = tag_ ? tag_->getCache() : SOCmnPointer<SODaSCache>();
    if (operation_ == read) {
        if (cache) {
            SODaSCache::Snapshot s = cache->get();
            r.value = std::move(s.value);
            r.quality = s.quality;
            r.timeStamp = s.timeStamp;
        }
        if (FAILED(result) && validQuality) r.quality = quality;
    } else {
        if (SUCCEEDED(result) && storeWriteValue && cache) cache->set(writeValue_, OPC_QUALITY_GOOD);
        r.quality = validQuality ? quality : (SUCCEEDED(result) ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD);
        r.timeStamp = std::chrono::system_clock::now();
    }
    if (sink) sink->onRequestCompleted(r, notify);
    return true;
}

}  // namespace orva::opc
