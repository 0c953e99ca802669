#pragma once
// The OPC UA front end's backend over the OPC toolkit's in-process client API: namespace 1 is the
// toolkit's address space, a session is a client connection, a subscription a group whose update
// rate is the publishing interval, a monitored item an item of that group. Reads and writes go
// through a hidden, inactive group of the session, so a device read or a write is a toolkit
// request that the server's communication thread completes, exactly as for any OPC client.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "opc/SODaSEntry.h"
#include "opc/client/ServerConnection.h"
#include "opcua/Backend.h"

namespace orva::opcua {

class ToolkitBackend final : public Backend {
public:
    explicit ToolkitBackend(opc::SODaSEntry& entry);
    ~ToolkitBackend() override;  // closes every client still open
    ToolkitBackend(const ToolkitBackend&) = delete;
    ToolkitBackend& operator=(const ToolkitBackend&) = delete;

    bool browse(const std::string& folderId, std::vector<BrowseEntry>& children) override;
    std::optional<BrowseEntry> lookup(const std::string& id) override;
    ClientHandle openClient() override;
    void closeClient(ClientHandle client) override;
    GroupHandle createGroup(ClientHandle client, uint32_t updateRateMs, uint32_t& revisedRateMs,
                            std::function<void(std::vector<ItemChange>)> onChange) override;
    uint32_t setGroupRate(GroupHandle group, uint32_t updateRateMs) override;
    void removeGroup(GroupHandle group) override;
    ItemHandle addItem(GroupHandle group, const std::string& itemId) override;
    void setItemActive(GroupHandle group, ItemHandle item, bool active) override;
    void removeItem(GroupHandle group, ItemHandle item) override;
    void read(ClientHandle client, const std::vector<std::string>& itemIds, bool fromDevice,
              std::function<void(std::vector<ItemValue>)> done) override;
    void write(ClientHandle client, const std::string& itemId, const Variant& value,
               const NumericRange& range, std::function<void(bool ok, StatusCode status)> done) override;
    // The writes of one call go to the session's group in one batch.
    void writeTogether(ClientHandle client, std::vector<WriteOrder> orders) override;

    size_t openClients() const;

    // The server's own read-only nodes (Backend::ownNodes), e.g. its polling figures; set before
    // the front end is made. value is called from the front end's thread.
    struct OwnVariables {
        std::string namespaceUri;
        std::vector<OwnNode> nodes;
        std::function<Variant(const std::string& id)> value;
    };
    void setOwnVariables(OwnVariables own) { own_ = std::move(own); }
    std::string ownNamespaceUri() override { return own_.namespaceUri; }
    std::vector<OwnNode> ownNodes() override { return own_.nodes; }
    Variant ownValue(const std::string& id) override { return own_.value ? own_.value(id) : Variant{}; }

private:
    // Data changes of a group go through this, so that none is delivered once the group is gone.
    struct Delivery {
        std::mutex lock;
        bool alive = true;
        std::function<void(std::vector<ItemChange>)> onChange;
    };
    struct GroupEntry {
        ClientHandle client = kNoHandle;
        std::shared_ptr<opc::client::Group> group;
        std::shared_ptr<Delivery> delivery;
    };
    struct ClientEntry {
        std::unique_ptr<opc::client::ServerConnection> connection;
        std::shared_ptr<opc::client::Group> io;  // inactive: reads and writes only
        std::unordered_map<std::string, opc::client::ItemHandle> ioItems;
        uint32_t groupCounter = 0;
    };

    // The item of the client's read/write group for an item ID; 0 when the ID names no tag.
    opc::client::ItemHandle ioItem(ClientEntry& client, const std::string& itemId);
    std::shared_ptr<opc::client::Group> groupOf(GroupHandle group);
    void dropGroup(GroupEntry& entry);

    opc::SOCmnPointer<opc::SODaSEntry> entry_;
    mutable std::mutex lock_;
    std::map<ClientHandle, ClientEntry> clients_;
    std::map<GroupHandle, GroupEntry> groups_;
    uint64_t nextHandle_ = 1;
    OwnVariables own_;
};

}  // namespace orva::opcua
