#pragma once
// What the OPC UA front end needs from the OPC toolkit: the address space to browse and the
// in-process client operations (client connections, groups, items, reads, writes, data changes).
// Each operation maps to one call of the toolkit's client API; an adapter implements this
// interface over the toolkit, tests implement it in memory. Everything here is in OPC UA terms
// (DataType node ids, ValueRank, StatusCodes): the toolkit's own vocabulary stays in the adapter.
//
// Threading: the front end calls every operation from its own network thread. Completions and
// data-change callbacks may run on any thread, also inside the call that started them; they
// must not be called after removeGroup (for data changes) or closeClient (for requests) returned.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "opcua/NumericRange.h"
#include "opcua/Types.h"

namespace orva::opcua {

// One node of the configured address space: a folder (PLC branch or configured branch) or a tag.
struct BrowseEntry {
    bool isFolder = false;
    std::string itemId;  // full ID from the PLC down: "Line1.Drives" (folder), "Line1.Drives.Speed" (tag)
    std::string name;
    std::string description;             // the tag's comment
    NodeId dataType;                     // tags: the DataType of the value (ns=0), BaseDataType when unknown
    int32_t valueRank = -1;              // -1 scalar, 1 one-dimensional array
    uint32_t arrayLength = 0;            // elements of an array tag (strings: their length in characters)
    uint8_t accessLevel = 0;             // AccessLevel bits: 1 CurrentRead, 2 CurrentWrite
    double minimumSamplingInterval = 0;  // ms: the fastest rate the server samples the tag at
};

// A value as the server keeps it: the value, its status and the time stamp of its source.
struct ItemValue {
    Variant value;
    StatusCode status = status::Uncertain;
    DateTime timestamp = 0;
};

// A node of the server's own (not of the configured address space): a folder or a read-only
// variable such as a polling figure. They live in a namespace of their own below the standard
// Server object; id is the string NodeId, parentId "" puts the node right below Server.
struct OwnNode {
    std::string id;
    std::string parentId;
    std::string name;
    bool isFolder = false;
    uint32_t dataType = 11;  // namespace-0 data type of a variable (11 Double)
};

using ClientHandle = uint64_t;
using GroupHandle = uint64_t;
using ItemHandle = uint64_t;
inline constexpr uint64_t kNoHandle = 0;

struct ItemChange {
    ItemHandle item = kNoHandle;
    ItemValue value;
};

class Backend {
public:
    virtual ~Backend() = default;

    // Children of a folder ("" is the root, whose children are the PLC branches), in the order the
    // address space holds them. Returns false when the folder does not exist.
    virtual bool browse(const std::string& folderId, std::vector<BrowseEntry>& children) = 0;
    // A single folder or tag by its ID.
    virtual std::optional<BrowseEntry> lookup(const std::string& id) = 0;

    // One client connection per OPC UA session.
    virtual ClientHandle openClient() = 0;
    virtual void closeClient(ClientHandle client) = 0;

    // A group per subscription. onChange receives the group's data changes (value, status, time
    // stamp of each changed active item) at the group's update rate, including each item's current
    // value after it has been activated.
    virtual GroupHandle createGroup(ClientHandle client, uint32_t updateRateMs, uint32_t& revisedRateMs,
                                    std::function<void(std::vector<ItemChange>)> onChange) = 0;
    // Changes the update rate (the group's update-rate hook runs); returns the rate in force.
    virtual uint32_t setGroupRate(GroupHandle group, uint32_t updateRateMs) = 0;
    virtual void removeGroup(GroupHandle group) = 0;

    // Adds an item by item ID, inactive; kNoHandle when the ID is unknown.
    virtual ItemHandle addItem(GroupHandle group, const std::string& itemId) = 0;
    // Activates or deactivates the item (the item's activation hook runs).
    virtual void setItemActive(GroupHandle group, ItemHandle item, bool active) = 0;
    // Removes the item; an active item is deactivated first.
    virtual void removeItem(GroupHandle group, ItemHandle item) = 0;

    // Reads the items from the cache or from the device. done gets one value per item ID, in order.
    virtual void read(ClientHandle client, const std::vector<std::string>& itemIds, bool fromDevice,
                      std::function<void(std::vector<ItemValue>)> done) = 0;
    // Writes one value to the device: the whole tag, or with a range only the elements (characters
    // of a string) it names, value holding exactly those. The write never changes the tag's length
    // nor bytes outside it. done gets success and the status the write ended with:
    // BadOutOfRange for a string longer than the tag, BadTypeMismatch for an array of another
    // length, BadIndexRangeNoData for a range outside the tag, otherwise the status of the device.
    virtual void write(ClientHandle client, const std::string& itemId, const Variant& value,
                       const NumericRange& range, std::function<void(bool ok, StatusCode status)> done) = 0;
    // The writes of one Write call, handed to the device together so that it can write them as
    // one set whatever the timing. The default writes them one by one.
    struct WriteOrder {
        std::string itemId;
        Variant value;
        NumericRange range;
        std::function<void(bool ok, StatusCode status)> done;
    };
    virtual void writeTogether(ClientHandle client, std::vector<WriteOrder> orders)
    {
        for (auto& order : orders)
            write(client, order.itemId, order.value, order.range, std::move(order.done));
    }

    // The server's own nodes and the URI of their namespace (none by default). Asked once, when
    // the address space is made; ownValue from the front end's thread at every read or sample.
    virtual std::string ownNamespaceUri() { return {}; }
    virtual std::vector<OwnNode> ownNodes() { return {}; }
    virtual Variant ownValue(const std::string& id)
    {
        (void)id;
        return {};
    }
};

}  // namespace orva::opcua
