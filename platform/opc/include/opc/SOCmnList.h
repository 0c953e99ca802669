#pragma once
// Ordered list of counted toolkit objects. The list holds one reference per entry (add takes
// one, removal drops it). Every operation locks the list; lock()/unlock() hold it across a whole
// iteration (the lock is recursive, so the operations may be called while holding it).
//
//   list.lock();
//   SOCmnListPosition pos = list.getStartPosition();
//   while (pos) { T* obj = list.getNext(pos); ... }
//   list.unlock();

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <vector>

#include "opc/SOCmnObject.h"

namespace orva::opc {

using SOCmnListPosition = std::size_t;  // 0: no (further) element

template <class T>
class SOCmnList {
public:
    SOCmnList() = default;
    SOCmnList(const SOCmnList&) = delete;
    SOCmnList& operator=(const SOCmnList&) = delete;
    ~SOCmnList() { removeAll(); }

    void lock() const { mutex_.lock(); }
    void unlock() const { mutex_.unlock(); }

    SOCmnListPosition getStartPosition() const
    {
        std::lock_guard g(mutex_);
        return items_.empty() ? 0 : 1;
    }
    // The element at pos (no reference added); advances pos, to 0 after the last element.
    T* getNext(SOCmnListPosition& pos) const
    {
        std::lock_guard g(mutex_);
        if (pos == 0 || pos > items_.size()) {
            pos = 0;
            return nullptr;
        }
        T* obj = items_[pos - 1];
        pos = pos < items_.size() ? pos + 1 : 0;
        return obj;
    }

    std::size_t getCount() const
    {
        std::lock_guard g(mutex_);
        return items_.size();
    }
    bool isEmpty() const { return getCount() == 0; }
    // The element at index (no reference added), null when out of range.
    T* getIndex(std::size_t index) const
    {
        std::lock_guard g(mutex_);
        return index < items_.size() ? items_[index] : nullptr;
    }
    bool contains(const T* obj) const
    {
        std::lock_guard g(mutex_);
        return std::find(items_.begin(), items_.end(), obj) != items_.end();
    }

    // Appends obj and takes a reference on it; false for null.
    bool add(T* obj)
    {
        if (!obj) return false;
        std::lock_guard g(mutex_);
        items_.push_back(obj);
        obj->addRef();
        return true;
    }
    // Takes the first element off the list and hands its reference to the caller.
    SOCmnPointer<T> removeHead()
    {
        std::lock_guard g(mutex_);
        if (items_.empty()) return {};
        T* obj = items_.front();
        items_.erase(items_.begin());
        return SOCmnPointer<T>(obj);
    }
    // Removes the first occurrence of obj.
    bool removeObject(const T* obj)
    {
        T* found = nullptr;
        {
            std::lock_guard g(mutex_);
            auto it = std::find(items_.begin(), items_.end(), obj);
            if (it == items_.end()) return false;
            found = *it;
            items_.erase(it);
        }
        found->release();
        return true;
    }
    // Removes every occurrence of obj; returns how many.
    std::size_t removeEvery(const T* obj)
    {
        std::vector<T*> gone;
        {
            std::lock_guard g(mutex_);
            auto it = std::stable_partition(items_.begin(), items_.end(), [obj](T* x) { return x != obj; });
            gone.assign(it, items_.end());
            items_.erase(it, items_.end());
        }
        for (T* x : gone)
            x->release();
        return gone.size();
    }
    void removeAll()
    {
        std::vector<T*> gone;
        {
            std::lock_guard g(mutex_);
            gone.swap(items_);
        }
        for (T* x : gone)
            x->release();
    }
    // A counted copy of the elements, taken under the lock.
    std::vector<SOCmnPointer<T>> snapshot() const
    {
        std::lock_guard g(mutex_);
        std::vector<SOCmnPointer<T>> copy;
        copy.reserve(items_.size());
        for (T* x : items_)
            copy.push_back(shareRef(x));
        return copy;
    }

private:
    mutable std::recursive_mutex mutex_;
    std::vector<T*> items_;
};

}  // namespace orva::opc
