#include "Sinks.h"
#include "opc/SOCmnException.h"
#include "opc/SODaSCreator.h"
#include "opc/SODaSTag.h"
#include "opc/client/ServerConnection.h"

namespace orva::opc::client {

Group::Group(std::shared_ptr<ConnectionState> state, opc::SOCmnPointer<opc::SODaSServer> server,
             opc::SOCmnPointer<opc::SODaSGroup> group, std::string name)
    : state_(std::move(state)), server_(std::move(server)), group_(std::move(group)), name_(std::move(name))
{
}

Group::~Group()
{
    if (server_ && group_) server_->removeGroup(group_.get());
}

bool Group::attached() const
{
    return server_ && group_ && server_->getGroupList().contains(group_.get());
}

uint32_t Group::updateRate() const
{
    return group_->getUpdateRate();
}

opc::HRESULT Group::setUpdateRate(uint32_t requested, uint32_t* granted)
{
    if (!attached()) return opc::OPC_E_NOTCONNECTED;
    auto entry = server_->getEntry();
    const uint32_t rate = entry ? entry->reviseUpdateRate(requested) : requested;
    group_->setUpdateRate(rate);
    if (granted) *granted = rate;
    return rate == requested ? opc::S_OK : opc::S_FALSE;
}

bool Group::active() const
{
    return group_->getActive();
}

opc::HRESULT Group::setActive(bool active)
{
    if (!attached()) return opc::OPC_E_NOTCONNECTED;
    group_->setActive(active);
    return opc::S_OK;
}

AddItemResult Group::addItem(std::string_view itemId, bool active, uint32_t clientHandle)
{
    AddItemResult r;
    if (!attached()) {
        r.result = opc::OPC_E_NOTCONNECTED;
        return r;
    }
    auto entry = server_->getEntry();
    auto root = entry ? entry->getNameSpaceRoot() : opc::SOCmnPointer<opc::SODaSNameSpaceRoot>();
    if (!root) {
        r.result = opc::OPC_E_NOTCONNECTED;
        return r;
    }
    if (itemId.empty()) {
        r.result = opc::OPC_E_INVALIDITEMID;
        return r;
    }
    opc::SOCmnPointer<opc::SODaSItemTag> tag = root->findTag(itemId);
    if (!tag) {
        r.result = opc::OPC_E_UNKNOWNITEMID;
        return r;
    }
    opc::SOCmnPointer<opc::SODaSItem> item;
    try {
        item.reset(entry->getCreator()->createItem(group_.get(), tag.get()));
    } catch (const opc::SOCmnException&) {
        r.result = opc::E_OUTOFMEMORY;
        return r;
    }
    if (!item) {
        r.result = opc::E_OUTOFMEMORY;
        return r;
    }
    item->attach(group_.get(), tag.get(), group_->nextServerHandle());
    item->setClientHandle(clientHandle);
    group_->addItem(item.get());
    if (active) item->setActive(true);
    r.result = opc::S_OK;
    r.handle = item->getServerHandle();
    r.nativeType = tag->getNativeDatatype();
    r.accessRights = tag->getAccessRights();
    return r;
}

opc::HRESULT Group::setItemActive(ItemHandle handle, bool active)
{
    if (!attached()) return opc::OPC_E_NOTCONNECTED;
    auto item = group_->findItem(handle);
    if (!item) return opc::OPC_E_INVALIDHANDLE;
    item->setActive(active);
    return opc::S_OK;
}

opc::HRESULT Group::removeItem(ItemHandle handle)
{
    if (!attached()) return opc::OPC_E_NOTCONNECTED;
    return group_->removeItem(handle) ? opc::S_OK : opc::OPC_E_INVALIDHANDLE;
}

std::size_t Group::itemCount() const
{
    return group_->getLeafList().getCount();
}

opc::SOCmnPointer<opc::SODaSItemTag> Group::tagOf(ItemHandle handle) const
{
    if (!attached()) return {};
    auto item = group_->findItem(handle);
    return item ? item->getItemTag() : opc::SOCmnPointer<opc::SODaSItemTag>();
}

RequestResult Group::readCache(ItemHandle handle) const
{
    RequestResult r;
    if (!attached()) {
        r.result = opc::OPC_E_NOTCONNECTED;
        return r;
    }
    auto tag = tagOf(handle);
    if (!tag) {
        r.result = opc::OPC_E_INVALIDHANDLE;
        return r;
    }
    if (!(tag->getAccessRights() & opc::OPC_READABLE)) {
        r.result = opc::OPC_E_BADRIGHTS;
        return r;
    }
    auto cache = tag->getCache();
    if (cache) {
        opc::SODaSCache::Snapshot s = cache->get();
        r.value = std::move(s.value);
        r.quality = s.quality;
        r.timeStamp = s.timeStamp;
    }
    r.result = opc::S_OK;
    return r;
}

RequestPtr Group::failed(opc::HRESULT hr, CompletionCallback callback) const
{
    auto request = std::make_shared<Request>(state_, std::move(callback),
                                             server_ ? server_->getEntry() : opc::SOCmnPointer<opc::SODaSEntry>());
    RequestResult r;
    r.result = hr;
    r.timeStamp = std::chrono::system_clock::now();
    request->finish(r, true);
    return request;
}

namespace {

// Hands the request to the tag (device IO mode 1) or answers it in the toolkit.
void dispatch(opc::SODaSItemTag& tag, opc::SODaSRequest& request)
{
    if (tag.getDeviceIOMode() != opc::SODASTAG_DEVICEIO_QUEUE) {
        request.complete(opc::S_OK, false, opc::OPC_QUALITY_GOOD, request.getOperation() == opc::SODaSRequest::write, true);
        return;
    }
    try {
        tag.handleRequest(request);
    } catch (const opc::SOCmnException&) {
        request.complete(opc::E_OUTOFMEMORY, true, opc::OPC_QUALITY_BAD, false, true);
    } catch (...) {
        request.complete(opc::E_FAIL, true, opc::OPC_QUALITY_BAD, false, true);
    }
}

}  // namespace

struct Group::Prepared {
    RequestPtr request;              // what the caller gets back
    opc::SOCmnPointer<opc::SODaSItemTag> tag;  // null when the request has already failed
    opc::SOCmnPointer<opc::SODaSRequest> toolkitRequest;
};

Group::Prepared Group::prepareRead(ItemHandle handle, CompletionCallback callback) const
{
    if (!attached()) return {failed(opc::OPC_E_NOTCONNECTED, std::move(callback)), {}, {}};
    auto tag = tagOf(handle);
    if (!tag) return {failed(opc::OPC_E_INVALIDHANDLE, std::move(callback)), {}, {}};
    if (!(tag->getAccessRights() & opc::OPC_READABLE))
        return {failed(opc::OPC_E_BADRIGHTS, std::move(callback)), {}, {}};
    auto request = std::make_shared<Request>(state_, std::move(callback), server_->getEntry());
    opc::SOCmnPointer<opc::SODaSRequest> r(new opc::SODaSRequest(opc::SODaSRequest::read, opc::SODASREQUEST_TYPE_DEVICE, tag.get()));
    r->setSink(std::make_shared<RequestSink>(request));
    return {std::move(request), std::move(tag), std::move(r)};
}

Group::Prepared Group::prepareWrite(ItemHandle handle, const opc::SOCmnVariant& value, CompletionCallback callback,
                                    uint16_t requestType, opc::SOElementRange range) const
{
    if (!attached()) return {failed(opc::OPC_E_NOTCONNECTED, std::move(callback)), {}, {}};
    auto tag = tagOf(handle);
    if (!tag) return {failed(opc::OPC_E_INVALIDHANDLE, std::move(callback)), {}, {}};
    if (!(tag->getAccessRights() & opc::OPC_WRITEABLE))
        return {failed(opc::OPC_E_BADRIGHTS, std::move(callback)), {}, {}};
    if (!range.isWhole() && tag->getDeviceIOMode() != opc::SODASTAG_DEVICEIO_QUEUE)
        return {failed(opc::E_INVALIDARG, std::move(callback)), {}, {}};
    opc::SOCmnVariant converted = value;
    if (tag->getNativeDatatype() != orva::VT_EMPTY) {
        const opc::HRESULT hr = value.changeType(tag->getNativeDatatype(), converted);
        if (opc::FAILED(hr)) return {failed(hr, std::move(callback)), {}, {}};
    }
    auto request = std::make_shared<Request>(state_, std::move(callback), server_->getEntry());
    opc::SOCmnPointer<opc::SODaSRequest> r(new opc::SODaSRequest(opc::SODaSRequest::write, requestType, tag.get()));
    r->setWriteValue(std::move(converted));
    r->setWriteRange(range);
    r->setSink(std::make_shared<RequestSink>(request));
    return {std::move(request), std::move(tag), std::move(r)};
}

void Group::dispatchTogether(std::vector<Prepared>& prepared) const
{
    std::vector<opc::SODaSTagRequest> queued;
    for (auto& p : prepared) {
        if (!p.tag) continue;
        if (p.tag->getDeviceIOMode() == opc::SODASTAG_DEVICEIO_QUEUE)
            queued.push_back({p.tag.get(), p.toolkitRequest.get()});
        else
            dispatch(*p.tag, *p.toolkitRequest);
    }
    if (queued.empty()) return;
    auto entry = server_->getEntry();
    auto creator = entry ? entry->getCreator() : opc::SOCmnPointer<opc::SODaSCreator>();
    // Whatever a failing hand-over left open is completed here (completing twice changes nothing).
    opc::HRESULT failure = opc::S_OK;
    try {
        if (creator)
            creator->handleRequests(queued);
        else
            for (const auto& q : queued)
                dispatch(*q.tag, *q.request);
    } catch (const opc::SOCmnException&) {
        failure = opc::E_OUTOFMEMORY;
    } catch (...) {
        failure = opc::E_FAIL;
    }
    if (opc::FAILED(failure))
        for (const auto& q : queued)
            q.request->complete(failure, true, opc::OPC_QUALITY_BAD, false, true);
}

RequestPtr Group::readDevice(ItemHandle handle, CompletionCallback callback)
{
    Prepared p = prepareRead(handle, std::move(callback));
    if (p.tag) dispatch(*p.tag, *p.toolkitRequest);
    return p.request;
}

RequestPtr Group::write(ItemHandle handle, const opc::SOCmnVariant& value, CompletionCallback callback,
                        uint16_t requestType, opc::SOElementRange range)
{
    Prepared p = prepareWrite(handle, value, std::move(callback), requestType, range);
    if (p.tag) dispatch(*p.tag, *p.toolkitRequest);
    return p.request;
}

std::vector<RequestPtr> Group::readDeviceTogether(std::vector<ReadOrder> orders)
{
    std::vector<Prepared> prepared;
    prepared.reserve(orders.size());
    for (auto& order : orders)
        prepared.push_back(prepareRead(order.item, std::move(order.callback)));
    dispatchTogether(prepared);
    std::vector<RequestPtr> requests;
    for (auto& p : prepared)
        requests.push_back(std::move(p.request));
    return requests;
}

std::vector<RequestPtr> Group::writeTogether(std::vector<WriteOrder> orders)
{
    std::vector<Prepared> prepared;
    prepared.reserve(orders.size());
    for (auto& order : orders)
        prepared.push_back(prepareWrite(order.item, order.value, std::move(order.callback),
                                        opc::SODASREQUEST_TYPE_DEVICE, order.range));
    dispatchTogether(prepared);
    std::vector<RequestPtr> requests;
    for (auto& p : prepared)
        requests.push_back(std::move(p.request));
    return requests;
}

void Group::setDataChangeCallback(DataChangeCallback callback)
{
    group_->setDataChangeSink(callback ? std::make_shared<DataChangeSink>(state_, std::move(callback))
                                       : nullptr);
}

}  // namespace orva::opc::client
