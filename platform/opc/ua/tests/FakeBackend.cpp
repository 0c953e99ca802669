#include "FakeBackend.h"

#include <algorithm>
#include <cmath>

#include "opcua/AddressSpace.h"

namespace orva::opcua::test {

namespace {
using B = BuiltinType;
constexpr bool kArray = true;
}  // namespace

FakeBackend::FakeBackend(size_t benchTags)
{
    addFolder("", "Line1");
    addFolder("Line1", "Drives");
    addTag("Line1.Drives", "Speed", B::Float, false, 1, 3, "Drive speed in rpm");
    addTag("Line1.Drives", "Running", B::Boolean, false, 1, 3, "Drive running");
    addTag("Line1.Drives", "Counter", B::Int32, false, 1, 1, "Counts on every animation step", true);
    addFolder("Line1", "Values");
    addTag("Line1.Values", "Bool", B::Boolean, false, 1, 3, "");
    addTag("Line1.Values", "SByte", B::SByte, false, 1, 3, "");
    addTag("Line1.Values", "Byte", B::Byte, false, 1, 3, "");
    addTag("Line1.Values", "Int16", B::Int16, false, 1, 3, "");
    addTag("Line1.Values", "UInt16", B::UInt16, false, 1, 3, "");
    addTag("Line1.Values", "Int32", B::Int32, false, 1, 3, "");
    addTag("Line1.Values", "UInt32", B::UInt32, false, 1, 3, "");
    addTag("Line1.Values", "Float", B::Float, false, 1, 3, "");
    addTag("Line1.Values", "String", B::String, false, 16, 3, "Sixteen characters");
    addTag("Line1.Values", "BoolArray", B::Boolean, kArray, 8, 3, "");
    addTag("Line1.Values", "Int16Array", B::Int16, kArray, 10, 3, "");
    addTag("Line1.Values", "FloatArray", B::Float, kArray, 4, 3, "");
    addTag("Line1.Values", "ByteArray", B::Byte, kArray, 6, 3, "");
    addTag("Line1.Values", "ReadOnly", B::Int16, false, 1, 1, "Not writable");
    addTag("Line1.Values", "WriteOnly", B::Int16, false, 1, 2, "Not readable");
    addFolder("", "Line2");
    addFolder("Line2", "Tanks");
    addTag("Line2.Tanks", "Level", B::Float, false, 1, 1, "Tank level in percent", true);
    addTag("Line2.Tanks", "Temp", B::Int16, false, 1, 1, "Temperature", true);
    if (benchTags > 0) {
        addFolder("", "Bench");
        for (size_t i = 0; i < benchTags; ++i)
            addTag("Bench", "T" + std::to_string(i), B::Int32, false, 1, 3, "", true);
    }
    thread_ = std::thread([this] { run(); });
}

FakeBackend::~FakeBackend()
{
    {
        std::lock_guard lock(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void FakeBackend::addFolder(const std::string& parent, const std::string& name)
{
    BrowseEntry e;
    e.isFolder = true;
    e.itemId = parent.empty() ? name : parent + "." + name;
    e.name = name;
    folders_.push_back(e);
}

void FakeBackend::addTag(const std::string& parent, const std::string& name, BuiltinType type, bool isArray,
                         uint32_t elements, uint8_t accessLevel, const std::string& comment, bool animated)
{
    Tag t;
    t.entry.itemId = parent + "." + name;
    t.entry.name = name;
    t.entry.description = comment;
    t.entry.dataType = NodeId::num(static_cast<uint32_t>(type));
    t.entry.valueRank = isArray ? 1 : -1;
    t.entry.arrayLength = isArray || type == BuiltinType::String ? elements : 0;
    t.entry.accessLevel = accessLevel;
    t.entry.minimumSamplingInterval = 10;  // the fastest group rate below
    t.value.value = initialValue(type, isArray, elements);
    t.value.status = status::Good;
    t.value.timestamp = now();
    t.animated = animated;
    tagIndex_[t.entry.itemId] = tags_.size();
    tags_.push_back(std::move(t));
}

Variant FakeBackend::initialValue(BuiltinType b, bool isArray, uint32_t elements) const
{
    const auto zero = [&]() -> Scalar {
        switch (b) {
            case BuiltinType::Float:
            case BuiltinType::Double:
                return 0.0;
            case BuiltinType::Byte:
            case BuiltinType::UInt16:
            case BuiltinType::UInt32:
                return uint64_t{0};
            case BuiltinType::String:
                return std::string{};
            default:
                return int64_t{0};
        }
    };
    if (isArray) return Variant::arrayOf(b, std::vector<Scalar>(elements, zero()));
    return Variant::of(b, zero());
}

bool FakeBackend::browse(const std::string& folderId, std::vector<BrowseEntry>& children)
{
    std::lock_guard lock(lock_);
    const auto isChild = [&](const std::string& id) {
        if (folderId.empty()) return id.find('.') == std::string::npos;
        return id.size() > folderId.size() + 1 && id.compare(0, folderId.size(), folderId) == 0 &&
               id[folderId.size()] == '.' && id.find('.', folderId.size() + 1) == std::string::npos;
    };
    bool exists = folderId.empty();
    for (const auto& f : folders_) {
        if (f.itemId == folderId) exists = true;
        if (isChild(f.itemId)) children.push_back(f);
    }
    if (!exists) return false;
    for (const auto& t : tags_)
        if (isChild(t.entry.itemId)) children.push_back(t.entry);
    return true;
}

std::optional<BrowseEntry> FakeBackend::lookup(const std::string& id)
{
    std::lock_guard lock(lock_);
    if (const auto it = tagIndex_.find(id); it != tagIndex_.end()) return tags_[it->second].entry;
    for (const auto& f : folders_)
        if (f.itemId == id) return f;
    return std::nullopt;
}

ClientHandle FakeBackend::openClient()
{
    std::lock_guard lock(lock_);
    const ClientHandle h = nextHandle_++;
    clients_[h] = true;
    return h;
}

void FakeBackend::closeClient(ClientHandle client)
{
    std::lock_guard delivery(deliveryLock_);
    std::lock_guard lock(lock_);
    clients_.erase(client);
    std::erase_if(groups_, [&](const auto& g) { return g.second.client == client; });
}

GroupHandle FakeBackend::createGroup(ClientHandle client, uint32_t updateRateMs, uint32_t& revisedRateMs,
                                     std::function<void(std::vector<ItemChange>)> onChange)
{
    std::lock_guard lock(lock_);
    if (!clients_.contains(client)) return kNoHandle;
    const GroupHandle h = nextHandle_++;
    Group& g = groups_[h];
    g.client = client;
    g.rate = std::max<uint32_t>(updateRateMs, 10);
    g.onChange = std::move(onChange);
    g.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(g.rate);
    revisedRateMs = g.rate;
    return h;
}

uint32_t FakeBackend::setGroupRate(GroupHandle group, uint32_t updateRateMs)
{
    std::lock_guard lock(lock_);
    const auto it = groups_.find(group);
    if (it == groups_.end()) return updateRateMs;
    it->second.rate = std::max<uint32_t>(updateRateMs, 10);
    it->second.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(it->second.rate);
    return it->second.rate;
}

void FakeBackend::removeGroup(GroupHandle group)
{
    std::lock_guard delivery(deliveryLock_);
    std::lock_guard lock(lock_);
    const auto it = groups_.find(group);
    if (it == groups_.end()) return;
    for (auto& [h, item] : it->second.items)
        if (item.active) activations_.push_back("-" + tags_[item.tag].entry.itemId);
    groups_.erase(it);
}

ItemHandle FakeBackend::addItem(GroupHandle group, const std::string& itemId)
{
    std::lock_guard lock(lock_);
    const auto g = groups_.find(group);
    const auto t = tagIndex_.find(itemId);
    if (g == groups_.end() || t == tagIndex_.end()) return kNoHandle;
    const ItemHandle h = nextHandle_++;
    g->second.items[h] = Item{t->second, false, 0};
    return h;
}

void FakeBackend::setItemActive(GroupHandle group, ItemHandle item, bool active)
{
    std::lock_guard lock(lock_);
    const auto g = groups_.find(group);
    if (g == groups_.end()) return;
    const auto it = g->second.items.find(item);
    if (it == g->second.items.end() || it->second.active == active) return;
    it->second.active = active;
    it->second.delivered = 0;
    const std::string& id = tags_[it->second.tag].entry.itemId;
    activations_.push_back(active ? "+" + id + "@" + std::to_string(g->second.rate) : "-" + id);
    if (activations_.size() > 100000) activations_.erase(activations_.begin(), activations_.begin() + 50000);
}

void FakeBackend::removeItem(GroupHandle group, ItemHandle item)
{
    std::lock_guard lock(lock_);
    const auto g = groups_.find(group);
    if (g == groups_.end()) return;
    const auto it = g->second.items.find(item);
    if (it == g->second.items.end()) return;
    if (it->second.active) activations_.push_back("-" + tags_[it->second.tag].entry.itemId);
    g->second.items.erase(it);
}

void FakeBackend::read(ClientHandle, const std::vector<std::string>& itemIds, bool fromDevice,
                       std::function<void(std::vector<ItemValue>)> done)
{
    std::vector<ItemValue> values;
    {
        std::lock_guard lock(lock_);
        (fromDevice ? deviceReads_ : cacheReads_)++;
        for (const auto& id : itemIds) {
            const auto it = tagIndex_.find(id);
            if (it == tagIndex_.end()) {
                values.push_back(ItemValue{{}, status::Bad, now()});
                continue;
            }
            Tag& t = tags_[it->second];
            if (fromDevice) t.value.timestamp = now();  // a device read refreshes the cache
            values.push_back(t.value);
        }
    }
    done(std::move(values));
}

namespace {
// A ranged write into the stored value: the elements (characters) the range names, which must exist.
StatusCode writeRange(Variant& stored, const Variant& part, const NumericRange& range)
{
    const NumericRange::Bounds b = range.dimensions[0];
    if (stored.isArray) {
        if (b.last >= stored.array.size()) return status::BadIndexRangeNoData;
        std::copy(part.array.begin(), part.array.end(), stored.array.begin() + b.first);
        return status::Good;
    }
    auto* text = std::get_if<std::string>(&stored.scalar);
    const auto* replacement = std::get_if<std::string>(&part.scalar);
    if (text == nullptr || replacement == nullptr || b.last >= text->size())
        return status::BadIndexRangeNoData;
    text->replace(b.first, range.count(), *replacement);
    return status::Good;
}
}  // namespace

void FakeBackend::write(ClientHandle, const std::string& itemId, const Variant& value,
                        const NumericRange& range, std::function<void(bool ok, StatusCode status)> done)
{
    bool ok = false;
    StatusCode result = status::Bad;
    {
        std::lock_guard lock(lock_);
        const auto it = tagIndex_.find(itemId);
        if (it != tagIndex_.end() && !failWrites_ && range.isSet()) {
            Tag& t = tags_[it->second];
            result = writeRange(t.value.value, value, range);
            ok = !isBad(result);
            if (ok) {
                t.value.timestamp = now();
                ++t.version;
            }
        } else if (it != tagIndex_.end() && !failWrites_) {
            Tag& t = tags_[it->second];
            t.value.value = value;
            t.value.status = status::Good;
            t.value.timestamp = now();
            ++t.version;
            ok = true;
            result = status::Good;
        } else if (failWrites_) {
            result = failStatus_;
        }
    }
    done(ok, result);
}

void FakeBackend::setValue(const std::string& itemId, Variant v, StatusCode quality)
{
    std::lock_guard lock(lock_);
    const auto it = tagIndex_.find(itemId);
    if (it == tagIndex_.end()) return;
    Tag& t = tags_[it->second];
    t.value = ItemValue{std::move(v), quality, now()};
    ++t.version;
}

void FakeBackend::setStatus(const std::string& itemId, StatusCode quality)
{
    std::lock_guard lock(lock_);
    const auto it = tagIndex_.find(itemId);
    if (it == tagIndex_.end()) return;
    tags_[it->second].value.status = quality;
    tags_[it->second].value.timestamp = now();
    ++tags_[it->second].version;
}

ItemValue FakeBackend::value(const std::string& itemId)
{
    std::lock_guard lock(lock_);
    const auto it = tagIndex_.find(itemId);
    return it == tagIndex_.end() ? ItemValue{} : tags_[it->second].value;
}

void FakeBackend::animate()
{
    std::lock_guard lock(lock_);
    ++animation_;
    const DateTime t = now();
    for (auto& tag : tags_) {
        if (!tag.animated) continue;
        Variant& v = tag.value.value;
        switch (v.type) {
            case BuiltinType::Float:
                v.scalar = 50.0 + 40.0 * std::sin(static_cast<double>(animation_) / 10.0);
                break;
            case BuiltinType::Int16:
                v.scalar = static_cast<int64_t>(20 + animation_ % 10);
                break;
            default:
                v.scalar = static_cast<int64_t>(animation_ & 0x7FFFFFFF);
                break;
        }
        tag.value.timestamp = t;
        tag.value.status = status::Good;
        ++tag.version;
    }
}

void FakeBackend::failWrites(bool fail, StatusCode result)
{
    std::lock_guard lock(lock_);
    failWrites_ = fail;
    failStatus_ = result;
}

size_t FakeBackend::openClients()
{
    std::lock_guard lock(lock_);
    return clients_.size();
}

size_t FakeBackend::activeItems()
{
    std::lock_guard lock(lock_);
    size_t n = 0;
    for (const auto& [h, g] : groups_)
        for (const auto& [ih, item] : g.items)
            n += item.active ? 1 : 0;
    return n;
}

std::vector<uint32_t> FakeBackend::groupRates()
{
    std::lock_guard lock(lock_);
    std::vector<uint32_t> rates;
    for (const auto& [h, g] : groups_)
        rates.push_back(g.rate);
    return rates;
}

std::vector<std::string> FakeBackend::activations()
{
    std::lock_guard lock(lock_);
    return activations_;
}

void FakeBackend::run()
{
    // Delivers each group's changed active items when the group is due, like a toolkit's update
    // cycle; the delivery lock keeps removeGroup from returning during a delivery.
    while (true) {
        {
            std::unique_lock lock(lock_);
            wake_.wait_for(lock, std::chrono::milliseconds(5), [&] { return stop_; });
            if (stop_) return;
        }
        std::lock_guard delivery(deliveryLock_);
        std::vector<std::pair<std::function<void(std::vector<ItemChange>)>*, std::vector<ItemChange>>> out;
        {
            std::lock_guard lock(lock_);
            const auto t = std::chrono::steady_clock::now();
            for (auto& [h, g] : groups_) {
                if (t < g.due) continue;
                g.due += std::chrono::milliseconds(g.rate);
                if (g.due < t) g.due = t + std::chrono::milliseconds(g.rate);
                std::vector<ItemChange> changes;
                for (auto& [ih, item] : g.items) {
                    if (!item.active) continue;
                    const Tag& tag = tags_[item.tag];
                    if (item.delivered == tag.version) continue;
                    item.delivered = tag.version;
                    changes.push_back(ItemChange{ih, tag.value});
                }
                if (!changes.empty()) out.emplace_back(&g.onChange, std::move(changes));
            }
        }
        for (auto& [fn, changes] : out)
            (*fn)(std::move(changes));
    }
}

}  // namespace orva::opcua::test
