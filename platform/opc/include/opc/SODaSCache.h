#pragma once
// The value cache of a tag: value, quality and time stamp, set and read atomically from any
// thread. Every change of value or quality tells the groups that watch the cache, so that their
// next data-change turn looks at it.

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "opc/SOCmnObject.h"
#include "opc/SOCmnVariant.h"

namespace orva::opc {

class SODaSRequest;

// Implemented by groups; called with the cache's lock held, so it must only note the change.
class SODaSCacheObserver {
public:
    virtual void onCacheChanged() noexcept = 0;

protected:
    ~SODaSCacheObserver() = default;
};

class SODaSCache : public SOCmnObject {
public:
    SODaSCache() : SOCmnObject(SOCMNOBJECT_TYPE_CACHE) {}

    struct Snapshot {
        SOCmnVariant value;
        uint16_t quality = OPC_QUALITY_WAITING_FOR_INITIAL_DATA;
        TimeStamp timeStamp{};
        uint64_t sequence = 0;  // grows with every set
    };

    // Value and quality; the time stamp is now unless one is given. request and locale are
    // accepted for the callers' convenience and do not change what is stored.
    void set(const SOCmnVariant& value, uint16_t quality, const TimeStamp* timeStamp = nullptr,
             SODaSRequest* request = nullptr, uint32_t locale = LOCALE_SYSTEM_DEFAULT);
    void setValue(const SOCmnVariant& value);  // keeps the quality
    // Changes the quality only; the time stamp moves to now when the quality changes.
    void setQuality(uint16_t quality);

    // False (value untouched) while the cache holds no value.
    bool getValue(SOCmnVariant& value) const;
    uint16_t getQuality() const;
    TimeStamp getTimeStamp() const;
    Snapshot get() const;
    uint64_t getSequence() const;

    // The type that values of this cache have (the tag's native type).
    VarType getDatatype() const;
    void setDatatype(VarType type);

    // Counted: an observer added twice must be removed twice.
    void addObserver(SODaSCacheObserver* observer);
    void removeObserver(SODaSCacheObserver* observer);

private:
    void notifyLocked() noexcept;

    mutable std::mutex mutex_;
    Snapshot data_;
    VarType datatype_ = 0;
    std::vector<std::pair<SODaSCacheObserver*, uint32_t>> observers_;
};

}  // namespace orva::opc
