#include "core/S7Creator.h"

#include "opc/SOCmnException.h"

namespace orva::core {

opc::SODaSGroup* S7Creator::createGroup(opc::SODaSServer*)
{
    return opc::newOrThrow<S7Group>(queues_);
}

opc::SODaSItem* S7Creator::createItem(opc::SODaSGroup*, opc::SODaSItemTag*)
{
    return opc::newOrThrow<S7Item>(queues_);
}

void S7Creator::handleRequests(std::span<const opc::SODaSTagRequest> requests)
{
    queueRequests(queues_, requests);
}

void S7Group::onSetUpdateRate(uint32_t newRate)
{
    if (newRate == getUpdateRate()) return;
    std::vector<opc::SOCmnPointer<S7Tag>> tags;
    auto& items = getLeafList();
    items.lock();
    opc::SOCmnListPosition pos = items.getStartPosition();
    while (pos) {
        auto tag = items.getNext(pos)->getItemTag();
        if (auto* s7 = dynamic_cast<S7Tag*>(tag.get())) tags.push_back(opc::shareRef(s7));
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
        queues->cyclicChangeQueue.push_back({active ? 1u : 0u, 0, rate, opc::shareRef(tag)});
    }
    queues->notifyWork();
}

}  // namespace orva::core
