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
        queues_->cyclicChangeQueue.push_back({active ? 1u : 0u, 0, rate, opc::shareRef(tag)});
    }
    queues_->notifyWork();
}

}  // namespace orva::core
