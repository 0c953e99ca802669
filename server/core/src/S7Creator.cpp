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
    if (tags.empty()) return;
    {
        std::lock_guard lock(queues_->queueLock);
        for (auto& tag : tags)
            queues_->cyclicChangeQueue.push_back({0, 1, newRate, std::move(tag)});
    }
    queues_->notifyWork();
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
    {
        std::lock_guard lock(queues_->queueLock);
        if (active)
            tag->clientItems.add(this);
        else
            tag->clientItems.removeEvery(this);
        queues_->cyclicChangeQueue.push_back({active ? 1u : 0u, 0, rate, shareRef(tag)});
    }
    queues_->notifyWork();
}

}  // namespace orva::core
