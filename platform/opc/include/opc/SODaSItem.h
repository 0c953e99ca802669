#pragma once
// A client's item: one tag in one group, active or not. The toolkit calls onSetActive on every
// change of the active flag (before the flag is stored), also when the item is removed or its
// group or connection goes away while it is active, so a server always sees the deactivation.

#include <cstdint>
#include <mutex>

#include "opc/SOCmnObject.h"
#include "opc/SOCmnVariant.h"
#include "opc/SODaSTag.h"

namespace orva::opc {

class SODaSGroup;

class SODaSItem : public SOCmnObject {
public:
    SODaSItem() : SOCmnObject(SOCMNOBJECT_TYPE_ITEM) {}

    SOCmnPointer<SODaSItemTag> getItemTag() const;
    // The group that holds the item; null once the item has been removed from it.
    SOCmnPointer<SODaSGroup> getParentGroup() const;

    bool getActive() const;
    // Calls onSetActive(active) when the flag changes, then stores it.
    void setActive(bool active);

    uint32_t getServerHandle() const noexcept { return serverHandle_; }
    uint32_t getClientHandle() const noexcept { return clientHandle_; }
    void setClientHandle(uint32_t handle) noexcept { clientHandle_ = handle; }

    // Hooks; the defaults do nothing.
    virtual void onWrite(const SOCmnVariant&) {}
    virtual void onSetActive(bool active);
    virtual void onSetClientHandle(uint32_t) {}

    // Toolkit use: binds a new item to its group and tag, and unbinds it on removal.
    void attach(SODaSGroup* group, SODaSItemTag* tag, uint32_t serverHandle);
    void detachFromGroup();

    // Data-change bookkeeping of the group's delivery (group's item lock held).
    struct Delivery {
        bool sentOnce = false;
        uint64_t sequence = 0;
        SOCmnVariant value;
        uint16_t quality = 0;
    };
    Delivery& delivery() noexcept { return delivery_; }

protected:
    ~SODaSItem() override;

private:
    mutable std::mutex mutex_;          // group pointer and tag
    std::recursive_mutex activeMutex_;  // serialises activation changes with their hook
    SODaSGroup* group_ = nullptr;       // not counted: the group holds the item
    SOCmnPointer<SODaSItemTag> tag_;
    bool active_ = false;
    uint32_t serverHandle_ = 0;
    uint32_t clientHandle_ = 0;
    Delivery delivery_;
};

class SODaSItemDefault : public SODaSItem {
public:
    SODaSItemDefault() = default;

protected:
    ~SODaSItemDefault() override = default;
};

}  // namespace orva::opc
