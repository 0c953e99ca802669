#include "opcua/ToolkitBackend.h"

#include "opc/SODaSTag.h"
#include "opcua/ToolkitValues.h"

namespace orva::opcua {
namespace {

using opc::client::RequestResult;

BrowseEntry folderEntry(const opc::SODaSNode& node)
{
    BrowseEntry e;
    e.isFolder = true;
    e.itemId = node.getItemID();
    e.name = node.getName();
    return e;
}

BrowseEntry tagEntry(const opc::SODaSItemTag& tag, uint32_t minimumRateMs)
{
    BrowseEntry e;
    e.itemId = tag.getItemID();
    e.name = tag.getName();
    e.description = tag.getDescription();
    const uint16_t varType = tag.getNativeDatatype();
    e.dataType = dataTypeOfVarType(varType);
    e.valueRank = orva::isArrayType(varType) ? 1 : -1;
    // The toolkit's access rights (1 readable, 2 writable) are the AccessLevel bits.
    e.accessLevel = static_cast<uint8_t>(tag.getAccessRights() & 0x03);
    e.minimumSamplingInterval = minimumRateMs;
    if (auto cache = tag.getCache()) {
        opc::SOCmnVariant v;
        if (cache->getValue(v)) {
            if (v.isArray())
                e.arrayLength = static_cast<uint32_t>(v.getArrayLength());
            else if (orva::baseType(varType) == orva::VT_BSTR)
                e.arrayLength = static_cast<uint32_t>(v.getString().size());
        }
    }
    return e;
}

// A failed request carries the quality it failed with; one that says nothing is Bad.
uint8_t qualityOf(const RequestResult& r)
{
    if (opc::SUCCEEDED(r.result)) return static_cast<uint8_t>(r.quality);
    const uint16_t q = r.quality & 0xC0;
    return q == opc::OPC_QUALITY_BAD ? static_cast<uint8_t>(r.quality) : uint8_t{opc::OPC_QUALITY_BAD};
}

// The answer to a write: what the toolkit refused before the device saw it, else the quality the
// write ended with.
StatusCode writeStatusOf(const RequestResult& r)
{
    switch (r.result) {
        case opc::OPC_E_RANGE:  // a string longer than the tag
        case opc::DISP_E_OVERFLOW:
            return status::BadOutOfRange;
        case opc::OPC_E_BADTYPE:  // an array of another length than the tag's (or than its range)
        case opc::DISP_E_TYPEMISMATCH:
            return status::BadTypeMismatch;
        case opc::E_INVALIDARG:  // a range outside the tag
            return status::BadIndexRangeNoData;
        case opc::OPC_E_BADRIGHTS:
            return status::BadNotWritable;
        default:
            break;
    }
    const StatusCode s =
        statusFromQuality(opc::SUCCEEDED(r.result) ? static_cast<uint8_t>(r.quality) : qualityOf(r));
    return opc::SUCCEEDED(r.result) || isBad(s) ? s : status::Bad;
}

ItemValue itemValueOf(const RequestResult& r)
{
    ItemValue v;
    v.status = statusFromQuality(qualityOf(r));
    v.timestamp = toUaDateTime(r.timeStamp);
    if (opc::SUCCEEDED(r.result)) v.value = toUaVariant(r.value);
    return v;
}

}  // namespace

ToolkitBackend::ToolkitBackend(opc::SODaSEntry& entry) : entry_(opc::shareRef(&entry)) {}

ToolkitBackend::~ToolkitBackend()
{
    std::vector<ClientHandle> open;
    {
        std::lock_guard g(lock_);
        for (const auto& [h, c] : clients_)
            open.push_back(h);
    }
    for (const ClientHandle h : open)
        closeClient(h);
}

bool ToolkitBackend::browse(const std::string& folderId, std::vector<BrowseEntry>& children)
{
    auto root = entry_->getNameSpaceRoot();
    if (!root) return false;
    auto node = root->findNode(folderId);
    if (!node) return false;
    for (const auto& b : node->getBranches())
        children.push_back(folderEntry(*b));
    for (const auto& t : node->getLeaves())
        children.push_back(tagEntry(*t, entry_->getMinUpdateRate()));
    return true;
}

std::optional<BrowseEntry> ToolkitBackend::lookup(const std::string& id)
{
    auto root = entry_->getNameSpaceRoot();
    if (!root || id.empty()) return std::nullopt;
    if (auto tag = root->findTag(id)) return tagEntry(*tag, entry_->getMinUpdateRate());
    if (auto node = root->findNode(id)) return folderEntry(*node);
    return std::nullopt;
}

ClientHandle ToolkitBackend::openClient()
{
    auto connection = opc::client::ServerConnection::connect(*entry_);
    if (!connection) return kNoHandle;
    auto io = connection->addGroup("ua-io", 0, false);
    if (!io) return kNoHandle;
    std::lock_guard g(lock_);
    const ClientHandle h = nextHandle_++;
    ClientEntry& c = clients_[h];
    c.connection = std::move(connection);
    c.io = std::move(io);
    return h;
}

void ToolkitBackend::dropGroup(GroupEntry& entry)
{
    {
        // Waits for a delivery in progress; none starts afterwards.
        std::lock_guard g(entry.delivery->lock);
        entry.delivery->alive = false;
        entry.delivery->onChange = nullptr;
    }
    entry.group.reset();  // removes the group from the server, deactivating its items
}

void ToolkitBackend::closeClient(ClientHandle client)
{
    ClientEntry c;
    std::vector<GroupEntry> owned;
    {
        std::lock_guard g(lock_);
        const auto it = clients_.find(client);
        if (it == clients_.end()) return;
        c = std::move(it->second);
        clients_.erase(it);
        for (auto gi = groups_.begin(); gi != groups_.end();) {
            if (gi->second.client == client) {
                owned.push_back(std::move(gi->second));
                gi = groups_.erase(gi);
            } else {
                ++gi;
            }
        }
    }
    for (auto& e : owned)
        dropGroup(e);
    c.io.reset();
    c.connection->disconnect();  // the toolkit's event handler hears of the release
}

GroupHandle ToolkitBackend::createGroup(ClientHandle client, uint32_t updateRateMs, uint32_t& revisedRateMs,
                                        std::function<void(std::vector<ItemChange>)> onChange)
{
    auto delivery = std::make_shared<Delivery>();
    delivery->onChange = std::move(onChange);
    std::shared_ptr<opc::client::Group> group;
    {
        std::lock_guard g(lock_);
        const auto it = clients_.find(client);
        if (it == clients_.end()) return kNoHandle;
        const std::string name = "ua-subscription-" + std::to_string(++it->second.groupCounter);
        group = it->second.connection->addGroup(
            name, entry_->reviseUpdateRate(updateRateMs), true,
            [delivery](const std::vector<opc::client::ItemValue>& values) {
                std::vector<ItemChange> changes;
                changes.reserve(values.size());
                for (const auto& v : values) {
                    ItemChange c;
                    c.item = v.serverHandle;
                    c.value.value = toUaVariant(v.value);
                    c.value.status = statusFromQuality(static_cast<uint8_t>(v.quality));
                    c.value.timestamp = toUaDateTime(v.timeStamp);
                    changes.push_back(std::move(c));
                }
                std::lock_guard d(delivery->lock);
                if (delivery->alive && delivery->onChange) delivery->onChange(std::move(changes));
            });
        if (!group) return kNoHandle;
        const GroupHandle h = nextHandle_++;
        groups_[h] = GroupEntry{client, group, delivery};
        revisedRateMs = group->updateRate();
        return h;
    }
}

std::shared_ptr<opc::client::Group> ToolkitBackend::groupOf(GroupHandle group)
{
    std::lock_guard g(lock_);
    const auto it = groups_.find(group);
    return it == groups_.end() ? nullptr : it->second.group;
}

uint32_t ToolkitBackend::setGroupRate(GroupHandle group, uint32_t updateRateMs)
{
    auto g = groupOf(group);
    if (!g) return updateRateMs;
    uint32_t granted = updateRateMs;
    if (opc::FAILED(g->setUpdateRate(updateRateMs, &granted))) return g->updateRate();
    return granted;
}

void ToolkitBackend::removeGroup(GroupHandle group)
{
    GroupEntry e;
    {
        std::lock_guard g(lock_);
        const auto it = groups_.find(group);
        if (it == groups_.end()) return;
        e = std::move(it->second);
        groups_.erase(it);
    }
    dropGroup(e);
}

ItemHandle ToolkitBackend::addItem(GroupHandle group, const std::string& itemId)
{
    auto g = groupOf(group);
    if (!g) return kNoHandle;
    const auto r = g->addItem(itemId, false);
    return opc::SUCCEEDED(r.result) ? ItemHandle{r.handle} : kNoHandle;
}

void ToolkitBackend::setItemActive(GroupHandle group, ItemHandle item, bool active)
{
    if (auto g = groupOf(group)) g->setItemActive(static_cast<opc::client::ItemHandle>(item), active);
}

void ToolkitBackend::removeItem(GroupHandle group, ItemHandle item)
{
    if (auto g = groupOf(group)) g->removeItem(static_cast<opc::client::ItemHandle>(item));
}

opc::client::ItemHandle ToolkitBackend::ioItem(ClientEntry& client, const std::string& itemId)
{
    if (const auto it = client.ioItems.find(itemId); it != client.ioItems.end()) return it->second;
    const auto r = client.io->addItem(itemId, false);
    if (opc::FAILED(r.result)) return 0;
    client.ioItems.emplace(itemId, r.handle);
    return r.handle;
}

void ToolkitBackend::read(ClientHandle client, const std::vector<std::string>& itemIds, bool fromDevice,
                          std::function<void(std::vector<ItemValue>)> done)
{
    std::shared_ptr<opc::client::Group> io;
    std::vector<opc::client::ItemHandle> handles;
    {
        std::lock_guard g(lock_);
        const auto it = clients_.find(client);
        if (it != clients_.end()) {
            io = it->second.io;
            handles.reserve(itemIds.size());
            for (const auto& id : itemIds)
                handles.push_back(ioItem(it->second, id));
        }
    }
    std::vector<ItemValue> bad(itemIds.size(), ItemValue{{}, status::Bad, now()});
    if (!io) return done(std::move(bad));

    if (!fromDevice) {
        for (size_t i = 0; i < handles.size(); ++i)
            if (handles[i] != 0) bad[i] = itemValueOf(io->readCache(handles[i]));
        return done(std::move(bad));
    }

    // Device reads complete one by one on the toolkit's worker; the last one answers.
    struct Gather {
        std::mutex lock;
        std::vector<ItemValue> values;
        size_t outstanding = 0;
        std::function<void(std::vector<ItemValue>)> done;
        void finishOne()
        {
            std::function<void(std::vector<ItemValue>)> answer;
            std::vector<ItemValue> result;
            {
                std::lock_guard g(lock);
                if (--outstanding != 0) return;
                answer = std::move(done);
                result = std::move(values);
            }
            answer(std::move(result));
        }
    };
    auto gather = std::make_shared<Gather>();
    gather->values = std::move(bad);
    gather->outstanding = handles.size() + 1;  // +1 until every read has been issued
    gather->done = std::move(done);
    // Issued together, so the device reads of one call are served in one step.
    std::vector<opc::client::Group::ReadOrder> orders;
    for (size_t i = 0; i < handles.size(); ++i) {
        if (handles[i] == 0) {
            gather->finishOne();
            continue;
        }
        orders.push_back({handles[i], [gather, i](const RequestResult& r) {
                              {
                                  std::lock_guard g(gather->lock);
                                  gather->values[i] = itemValueOf(r);
                              }
                              gather->finishOne();
                          }});
    }
    io->readDeviceTogether(std::move(orders));
    gather->finishOne();
}

void ToolkitBackend::write(ClientHandle client, const std::string& itemId, const Variant& value,
                           const NumericRange& range, std::function<void(bool ok, StatusCode status)> done)
{
    std::vector<WriteOrder> one;
    one.push_back({itemId, value, range, std::move(done)});
    writeTogether(client, std::move(one));
}

void ToolkitBackend::writeTogether(ClientHandle client, std::vector<WriteOrder> orders)
{
    std::shared_ptr<opc::client::Group> io;
    std::vector<opc::client::ItemHandle> handles;
    {
        std::lock_guard g(lock_);
        const auto it = clients_.find(client);
        if (it != clients_.end()) {
            io = it->second.io;
            for (const auto& order : orders)
                handles.push_back(ioItem(it->second, order.itemId));
        }
    }
    std::vector<opc::client::Group::WriteOrder> writes;
    for (size_t i = 0; i < orders.size(); ++i) {
        opc::SOCmnVariant converted;
        auto& done = orders[i].done;
        if (!io || handles[i] == 0 || !toToolkitVariant(orders[i].value, converted)) {
            done(false, status::Bad);
            continue;
        }
        opc::SOElementRange elements;
        if (orders[i].range.isSet())
            elements = {orders[i].range.dimensions[0].first, orders[i].range.count()};
        writes.push_back({handles[i], std::move(converted),
                          [done = std::move(done)](const RequestResult& r) {
                              done(opc::SUCCEEDED(r.result), writeStatusOf(r));
                          },
                          elements});
    }
    if (io && !writes.empty()) io->writeTogether(std::move(writes));
}

size_t ToolkitBackend::openClients() const
{
    std::lock_guard g(lock_);
    return clients_.size();
}

}  // namespace orva::opcua
