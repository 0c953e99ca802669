#include "opc/SODaSItem.h"

#include "opc/SODaSGroup.h"
#include "opc/SODaSTag.h"

namespace orva::opc {

SODaSItem::~SODaSItem() = default;

SOCmnPointer<SODaSItemTag> SODaSItem::getItemTag() const
{
    std::lock_guard g(mutex_);
    return tag_;
}

SOCmnPointer<SODaSGroup> SODaSItem::getParentGroup() const
{
    std::lock_guard g(mutex_);
    return shareRef(group_);
}

bool SODaSItem::getActive() const
{
    std::lock_guard g(mutex_);
    return active_;
}

void SODaSItem::onSetActive(bool) {}

void SODaSItem::setActive(bool active)
{
    std::lock_guard serial(activeMutex_);
    SOCmnPointer<SODaSGroup> group;
    {
        std::lock_guard g(mutex_);
        if (active_ == active) return;
        // A removed item can only be deactivated.
        if (active && !group_) return;
        group = shareRef(group_);
    }
    onSetActive(active);
    {
        std::lock_guard g(mutex_);
        active_ = active;
    }
    if (group) group->itemActivationChanged(*this, active);
}

void SODaSItem::attach(SODaSGroup* group, SODaSItemTag* tag, uint32_t serverHandle)
{
    std::lock_guard g(mutex_);
    group_ = group;
    tag_ = shareRef(tag);
    serverHandle_ = serverHandle;
}

void SODaSItem::detachFromGroup()
{
    std::lock_guard g(mutex_);
    group_ = nullptr;
}

}  // namespace orva::opc
