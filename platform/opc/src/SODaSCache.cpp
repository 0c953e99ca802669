#include "opc/SODaSCache.h"

#include <algorithm>

namespace orva::opc {

void SODaSCache::notifyLocked() noexcept
{
    for (auto& [observer, count] : observers_)
        observer->onCacheChanged();
}

void SODaSCache::set(const SOCmnVariant& value, uint16_t quality, const TimeStamp* timeStamp, SODaSRequest*,
                     uint32_t)
{
    std::lock_guard g(mutex_);
    const bool changed = data_.quality != quality || data_.value != value;
    data_.value = value;
    data_.quality = quality;
    data_.timeStamp = timeStamp ? *timeStamp : std::chrono::system_clock::now();
    ++data_.sequence;
    if (changed) notifyLocked();
}

void SODaSCache::setValue(const SOCmnVariant& value)
{
    std::lock_guard g(mutex_);
    const bool changed = data_.value != value;
    data_.value = value;
    data_.timeStamp = std::chrono::system_clock::now();
    ++data_.sequence;
    if (changed) notifyLocked();
}

void SODaSCache::setQuality(uint16_t quality)
{
    std::lock_guard g(mutex_);
    if (data_.quality == quality) return;
    data_.quality = quality;
    data_.timeStamp = std::chrono::system_clock::now();
    ++data_.sequence;
    notifyLocked();
}

bool SODaSCache::getValue(SOCmnVariant& value) const
{
    std::lock_guard g(mutex_);
    if (data_.value.isEmpty()) return false;
    value = data_.value;
    return true;
}

uint16_t SODaSCache::getQuality() const
{
    std::lock_guard g(mutex_);
    return data_.quality;
}

TimeStamp SODaSCache::getTimeStamp() const
{
    std::lock_guard g(mutex_);
    return data_.timeStamp;
}

SODaSCache::Snapshot SODaSCache::get() const
{
    std::lock_guard g(mutex_);
    return data_;
}

uint64_t SODaSCache::getSequence() const
{
    std::lock_guard g(mutex_);
    return data_.sequence;
}

VarType SODaSCache::getDatatype() const
{
    std::lock_guard g(mutex_);
    return datatype_;
}

void SODaSCache::setDatatype(VarType type)
{
    std::lock_guard g(mutex_);
    datatype_ = type;
}

void SODaSCache::addObserver(SODaSCacheObserver* observer)
{
    std::lock_guard g(mutex_);
    for (auto& [o, count] : observers_) {
        if (o == observer) {
            ++count;
            return;
        }
    }
    observers_.emplace_back(observer, 1);
}

void SODaSCache::removeObserver(SODaSCacheObserver* observer)
{
    std::lock_guard g(mutex_);
    auto it = std::find_if(observers_.begin(), observers_.end(),
                           [&](const auto& e) { return e.first == observer; });
    if (it == observers_.end()) return;
    if (--it->second == 0) observers_.erase(it);
}

}  // namespace orva::opc
