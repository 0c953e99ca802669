#pragma once
// An in-memory stand-in for the OPC toolkit: two PLC branches with folders and tags of every
// native type, groups that deliver data changes of their active items at their update rate from a
// thread of their own, and counters that tests inspect.

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "opcua/Backend.h"

namespace orva::opcua::test {

class FakeBackend : public Backend {
public:
    // benchTags adds a folder Bench with that many Int32 tags Bench.T0 .. Bench.T<n-1>.
    explicit FakeBackend(size_t benchTags = 0);
    ~FakeBackend() override;

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

    // Test controls.
    void setValue(const std::string& itemId, Variant value, StatusCode status = status::Good);
    void setStatus(const std::string& itemId, StatusCode status);
    ItemValue value(const std::string& itemId);
    // Changes every animated tag (counters count, levels move, all bench tags count).
    void animate();
    // Write failures: the write completes with failure and this status.
    void failWrites(bool fail, StatusCode result = status::BadCommunicationError);

    // Observations.
    size_t openClients();
    size_t activeItems();
    std::vector<uint32_t> groupRates();
    int deviceReads() const { return deviceReads_.load(); }
    int cacheReads() const { return cacheReads_.load(); }
    std::vector<std::string> activations();  // "+Line1.Drives.Speed@100" / "-Line1.Drives.Speed"

private:
    struct Tag {
        BrowseEntry entry;
        ItemValue value;
        uint64_t version = 1;
        bool animated = false;
    };
    struct Item {
        size_t tag = 0;
        bool active = false;
        uint64_t delivered = 0;  // version last delivered; 0 delivers the current value
    };
    struct Group {
        ClientHandle client = kNoHandle;
        uint32_t rate = 0;
        std::function<void(std::vector<ItemChange>)> onChange;
        std::map<ItemHandle, Item> items;
        std::chrono::steady_clock::time_point due;
    };

    void addFolder(const std::string& parent, const std::string& name);
    void addTag(const std::string& parent, const std::string& name, BuiltinType type, bool isArray,
                uint32_t elements, uint8_t accessLevel, const std::string& comment, bool animated = false);
    Variant initialValue(BuiltinType type, bool isArray, uint32_t elements) const;
    void run();

    std::mutex lock_;
    std::mutex deliveryLock_;  // held while a group delivers, so removeGroup waits for it
    std::vector<BrowseEntry> folders_;
    std::vector<Tag> tags_;
    std::map<std::string, size_t> tagIndex_;
    std::map<ClientHandle, bool> clients_;
    std::map<GroupHandle, Group> groups_;
    uint64_t nextHandle_ = 1;
    bool failWrites_ = false;
    StatusCode failStatus_ = status::BadCommunicationError;
    uint64_t animation_ = 0;
    std::vector<std::string> activations_;
    std::atomic<int> deviceReads_{0};
    std::atomic<int> cacheReads_{0};
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace orva::opcua::test
