#include "opc/SODaSGroup.h"

#include "opc/SODaSEntry.h"
#include "opc/SODaSServer.h"
#include "opc/SODaSTag.h"

namespace orva::opc {

SODaSGroup::~SODaSGroup() = default;

void SODaSGroup::init(SODaSServer* server, std::string name, uint32_t rate, bool active)
{
    server_ = server;
    name_ = std::move(name);
    updateRate_ = rate;
    active_ = active;
}

void SODaSGroup::setUpdateRate(uint32_t rate)
{
    std::lock_guard serial(rateMutex_);
    onSetUpdateRate(rate);
    updateRate_ = rate;
    if (server_) {
        if (auto entry = server_->getEntry()) entry->groupScheduleChanged();
    }
}

void SODaSGroup::setActive(bool active)
{
    if (active_.load() == active) return;
    onSetActive(active);
    active_ = active;
    dirty_ = true;
    if (server_) {
        if (auto entry = server_->getEntry()) entry->groupScheduleChanged();
    }
}

SOCmnPointer<SODaSItem> SODaSGroup::findItem(uint32_t serverHandle) const
{
    items_.lock();
    auto it = byHandle_.find(serverHandle);
    SOCmnPointer<SODaSItem> item = it == byHandle_.end() ? SOCmnPointer<SODaSItem>() : shareRef(it->second);
    items_.unlock();
    return item;
}

bool SODaSGroup::addItem(SODaSItem* item)
{
    if (!item) return false;
    items_.lock();
    items_.add(item);
    byHandle_[item->getServerHandle()] = item;
    items_.unlock();
    return true;
}

bool SODaSGroup::removeItem(uint32_t serverHandle)
{
    SOCmnPointer<SODaSItem> item = findItem(serverHandle);
    if (!item) return false;
    // Deactivate while the item is still in the group, so its hook sees its group.
    item->setActive(false);
    items_.lock();
    byHandle_.erase(serverHandle);
    const bool removed = items_.removeObject(item.get());
    items_.unlock();
    item->detachFromGroup();
    return removed;
}

void SODaSGroup::removeAllItems()
{
    for (const auto& item : items_.snapshot())
        removeItem(item->getServerHandle());
}

void SODaSGroup::setDataChangeSink(std::shared_ptr<SODaSDataChangeSink> sink)
{
    std::lock_guard g(sinkMutex_);
    sink_ = std::move(sink);
}

void SODaSGroup::itemActivationChanged(SODaSItem& item, bool active)
{
    auto tag = item.getItemTag();
    auto cache = tag ? tag->getCache() : SOCmnPointer<SODaSCache>();
    items_.lock();
    if (active) {
        item.delivery() = SODaSItem::Delivery{};  // the next turn sends the current value
        if (cache) cache->addObserver(this);
    } else if (cache) {
        cache->removeObserver(this);
    }
    items_.unlock();
    dirty_ = true;
}

std::vector<SODaSItemValue> SODaSGroup::collectChanges()
{
    std::vector<SODaSItemValue> out;
    if (!active_.load() || !dirty_.exchange(false)) return out;
    items_.lock();
    SOCmnListPosition pos = items_.getStartPosition();
    while (pos) {
        SODaSItem* item = items_.getNext(pos);
        if (!item->getActive()) continue;
        auto tag = item->getItemTag();
        auto cache = tag ? tag->getCache() : SOCmnPointer<SODaSCache>();
        if (!cache) continue;
        SODaSItem::Delivery& d = item->delivery();
        if (d.sentOnce && cache->getSequence() == d.sequence) continue;
        SODaSCache::Snapshot s = cache->get();
        const bool changed = !d.sentOnce || s.quality != d.quality || s.value != d.value;
        d.sequence = s.sequence;
        if (!changed) continue;
        d.sentOnce = true;
        d.quality = s.quality;
        d.value = s.value;
        out.push_back(
            {item->getServerHandle(), item->getClientHandle(), std::move(s.value), s.quality, s.timeStamp});
    }
    items_.unlock();
    return out;
}

void SODaSGroup::deliver(const std::vector<SODaSItemValue>& values)
{
    std::shared_ptr<SODaSDataChangeSink> sink;
    {
        std::lock_guard g(sinkMutex_);
        sink = sink_;
    }
    if (sink && !values.empty()) sink->onDataChange(values);
}

}  // namespace orva::opc
