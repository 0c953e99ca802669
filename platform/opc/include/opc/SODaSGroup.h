#pragma once
// A client's group: items that share an update rate. The toolkit's data-change worker looks at
// an active group once per update rate and delivers the values of its active items whose value
// or quality changed since the last delivery (the first delivery of an item sends its value).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "opc/SOCmnList.h"
#include "opc/SODaSCache.h"
#include "opc/SODaSItem.h"

namespace orva::opc {

class SODaSServer;

// One value of a data change.
struct SODaSItemValue {
    uint32_t serverHandle = 0;
    uint32_t clientHandle = 0;
    SOCmnVariant value;
    uint16_t quality = 0;
    TimeStamp timeStamp{};
};

// Receives the data changes of one group, on the toolkit's worker thread.
class SODaSDataChangeSink {
public:
    virtual ~SODaSDataChangeSink() = default;
    virtual void onDataChange(const std::vector<SODaSItemValue>& values) noexcept = 0;
};

class SODaSGroup : public SOCmnObject, public SODaSCacheObserver {
public:
    SODaSGroup() : SOCmnObject(SOCMNOBJECT_TYPE_GROUP) {}

    const std::string& getName() const noexcept { return name_; }

    uint32_t getUpdateRate() const noexcept { return updateRate_.load(); }
    // Calls onSetUpdateRate with the new (revised) rate, then stores it.
    void setUpdateRate(uint32_t rate);
    bool getActive() const noexcept { return active_.load(); }
    void setActive(bool active);

    // The group's items (its leaf list), active or not.
    SOCmnList<SODaSItem>& getLeafList() noexcept { return items_; }
    const SOCmnList<SODaSItem>& getLeafList() const noexcept { return items_; }
    SOCmnPointer<SODaSItem> findItem(uint32_t serverHandle) const;

    // Hooks; the defaults do nothing. onSetUpdateRate runs before the new rate is stored, so
    // getUpdateRate() still gives the old one.
    virtual void onSetActive(bool) {}
    virtual void onSetUpdateRate(uint32_t) {}
    virtual void onSetKeepAliveTime(uint32_t) {}

    // Toolkit use.
    void init(SODaSServer* server, std::string name, uint32_t rate, bool active);
    bool addItem(SODaSItem* item);           // takes a reference; assigns the server handle
    bool removeItem(uint32_t serverHandle);  // deactivates first
    void removeAllItems();                   // deactivates each active item first
    void setDataChangeSink(std::shared_ptr<SODaSDataChangeSink> sink);
    uint32_t nextServerHandle() noexcept { return ++lastHandle_; }
    void itemActivationChanged(SODaSItem& item, bool active);  // watches or unwatches the cache
    void onCacheChanged() noexcept override { dirty_.store(true); }
    // Worker: the values to deliver now, or nothing.
    std::vector<SODaSItemValue> collectChanges();
    void deliver(const std::vector<SODaSItemValue>& values);
    std::chrono::steady_clock::time_point nextDue{};  // worker's lock

protected:
    ~SODaSGroup() override;

private:
    std::string name_;
    std::atomic<uint32_t> updateRate_{0};
    std::atomic<bool> active_{true};
    std::atomic<bool> dirty_{false};
    std::mutex rateMutex_;  // serialises rate changes with their hook
    SOCmnList<SODaSItem> items_;
    std::unordered_map<uint32_t, SODaSItem*> byHandle_;  // items_'s lock
    uint32_t lastHandle_ = 0;
    SODaSServer* server_ = nullptr;  // not counted
    std::mutex sinkMutex_;
    std::shared_ptr<SODaSDataChangeSink> sink_;
};

class SODaSGroupDefault : public SODaSGroup {
public:
    SODaSGroupDefault() = default;

protected:
    ~SODaSGroupDefault() override = default;
};

}  // namespace orva::opc
