#pragma once
// A collection of shared objects under unique text keys, kept in insertion order. Keys are
// compared without regard to letter case, as names are everywhere in the editor. Lookup,
// addition and removal take constant time, so that re-keying a large subtree stays linear.

#include <cstddef>
#include <iterator>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "editor/Text.h"

namespace orva::editor {

template <class T>
class KeyedCollection {
public:
    using Ptr = std::shared_ptr<T>;
    struct Entry {
        std::string key;
        Ptr value;
    };
    using const_iterator = typename std::list<Entry>::const_iterator;

    // Adds at the end; false (and nothing changes) when the key is already taken.
    bool add(std::string key, Ptr value)
    {
        // The entry first, so that the index takes its key with one lookup.
        entries_.push_back(Entry{std::move(key), std::move(value)});
        const auto last = std::prev(entries_.end());
        if (!index_.try_emplace(std::string_view(last->key), last).second) {
            entries_.pop_back();
            return false;
        }
        return true;
    }

    Ptr get(std::string_view key) const
    {
        const auto found = index_.find(key);
        return found == index_.end() ? nullptr : found->second->value;
    }

    bool contains(std::string_view key) const { return index_.contains(key); }

    // Removes and returns the object; null when the key is not there.
    Ptr remove(std::string_view key)
    {
        const auto found = index_.find(key);
        if (found == index_.end()) return nullptr;
        Ptr value = std::move(found->second->value);
        const auto entry = found->second;
        index_.erase(found);
        entries_.erase(entry);
        return value;
    }

    // Puts another object under another key in the place of the old one; false (nothing
    // changes) when the old key is missing or the new key belongs to another entry.
    bool replace(std::string_view oldKey, std::string newKey, Ptr value)
    {
        const auto found = index_.find(oldKey);
        if (found == index_.end()) return false;
        const auto clash = index_.find(newKey);
        if (clash != index_.end() && clash != found) return false;
        const auto entry = found->second;
        index_.erase(found);
        entry->key = std::move(newKey);
        entry->value = std::move(value);
        index_.emplace(std::string_view(entry->key), entry);
        return true;
    }

    // Adds at a position (0 is the first; past the end appends); false when the key is taken.
    bool insertAt(std::size_t index, std::string key, Ptr value)
    {
        if (index_.contains(key)) return false;
        auto position = entries_.begin();
        for (std::size_t i = 0; i < index && position != entries_.end(); ++i)
            ++position;
        const auto entry = entries_.insert(position, Entry{std::move(key), std::move(value)});
        index_.emplace(std::string_view(entry->key), entry);
        return true;
    }

    // Position of a key in insertion order; size() when it is not there.
    std::size_t indexOf(std::string_view key) const
    {
        const auto found = index_.find(key);
        if (found == index_.end()) return entries_.size();
        return static_cast<std::size_t>(std::distance(entries_.begin(), const_iterator(found->second)));
    }

    Ptr last() const { return entries_.empty() ? nullptr : entries_.back().value; }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void clear()
    {
        index_.clear();
        entries_.clear();
    }

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

private:
    std::list<Entry> entries_;
    // Keys of the index look into the entries' own key strings, which a list never moves.
    std::unordered_map<std::string_view, typename std::list<Entry>::iterator, NoCaseHash, NoCaseEqual> index_;
};

}  // namespace orva::editor
