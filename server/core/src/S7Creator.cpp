#include "core/S7Creator.h"

#include "opc/SOCmnException.h"

namespace orva::core {

SODaSGroup* S7Creator::createGroup(SODaSServer*)
{
    return newOrThrow<S7Group>(queues_);
}

SODaSItem* S7Creator::createItem(SODaSGroup*, SODaSItemTag*)
{
    return newOrThrow<S7Item>(queues_);
}

void S7Creator::handleRequests(std::span<const SODaSTagRequest> requests)
{
    queueRequests(queues_, requests);
}

void S7Group::onSetUpdateRate(uint32_t newRate)
{
    if (newRate == getUpdateRate()) return;
    std::vector<SOCmnPointer<S7Tag>> tags;
    auto& items = getLeafList();
    items.lock();
    SOCmnListPosition pos = items.getStartPosition();
    while (pos) {
        auto tag = items.getNext(pos)->getItemTag();
        if (auto* s7 = dynamic_cast<S7Tag*>(tag.get())) tags.push_back(shareRef(s7));
    }
    items.unlock();
    const auto queues = queues_.lock();
    if (tags.empty() || !queues) return;
    {
        std::lock_guard lock(queues->queueLock);
        for (auto& tag : tags)
            queues->cyclicChangeQueue.push_back({0, 1, newRate, std::move(tag)});
    }
    queues->notifyWork();
}

void S7Item::onSetActive(bool active)
{
    auto tagBase = getItemTag();
    auto* tag = dynamic_cast<S7Tag*>(tagBase.get());
    if (!tag) return;
    uint32_t rate = 0;
    if (active) {
        auto group = getParentGroup();
        rate = group ? group->getUpdateRate() : 0;
    }
    const auto queues = queues_.lock();
    if (!queues) {
        // The server is being torn down: the tag only has to let go of the item.
        if (!active) tag->clientItems.removeEvery(this);
        return;
    }
    {
        std::lock_guard lock(queues->queueLock);
        if (active)
            tag->clientItems.add(this);
        else
            tag->clientItems.removeEvery(this);
        queues->cyclicChangeQueue.push_back({active ? 1u : 0u, 0, rate, shareRef(tag)});
    }
    queues->notifyWork();
}

}  // namespace orva::core
