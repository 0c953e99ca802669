#pragma once
// In-process OPC DA client of the toolkit: what a remote OPC client does, as direct calls. The
// OPC UA front end and the end-to-end tests use it.
//
//   auto connection = ServerConnection::connect(*entry, onShutdown);   // null unless started
//   auto group = connection->addGroup("g", 500, true, onDataChange);
//   AddItemResult item = group->addItem("Line1.Drives.Speed");         // active by default
//   RequestResult now = group->readCache(item.handle);                 // answered at once
//   RequestPtr r = group->readDevice(item.handle);                     // through the tag
//   auto done = r->wait(std::chrono::seconds(5));
//   group->write(item.handle, value, [](const RequestResult& r) { ... });
//
// Threads: every call may be made from any thread. Callbacks (data changes, completions,
// shutdown requests) run on the toolkit's worker thread, one at a time, never while a toolkit
// lock or a server lock is held; a callback may call back into the API, including closing the
// connection. After disconnect() (or the destructor) returns, no callback of this connection
// starts any more; a callback already running on another thread is waited for.
//
// Data changes: once per update rate an active group sends the values of its active items whose
// value or quality changed since the group last sent them; the first turn after an item is
// activated sends its current value.
//
// Requests: a device read (request type 0x1005) or write goes to the tag's handleRequest when the
// tag is in device IO mode 1, and completes whenever the server completes it; otherwise the
// toolkit answers it from (or stores it in) the cache at once. A cache read (0x1009) never
// reaches the tag. Every request completes exactly once, also when the client has gone by then
// (its callback is then skipped) and when the server drops it uncompleted (E_ABORT).
//
// Item IDs are names joined by the namespace root's delimiter (".").

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "opc/SODaSEntry.h"
#include "opc/client/ClientTypes.h"

namespace orva::opc::client {

class Group {
public:
    ~Group();  // removes the group from the server (deactivating its items)
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

    const std::string& name() const noexcept { return name_; }
    uint32_t updateRate() const;
    // The granted rate may be higher than the requested one (the entry's minimum).
    opc::HRESULT setUpdateRate(uint32_t requested, uint32_t* granted = nullptr);
    bool active() const;
    opc::HRESULT setActive(bool active);

    AddItemResult addItem(std::string_view itemId, bool active = true, uint32_t clientHandle = 0);
    opc::HRESULT setItemActive(ItemHandle item, bool active);
    opc::HRESULT removeItem(ItemHandle item);
    std::size_t itemCount() const;

    // OPC_E_BADRIGHTS when the tag is not readable (resp. writable); OPC_E_INVALIDHANDLE for an
    // unknown handle. A write value is converted to the tag's native type first
    // (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW when it cannot be). A write with a range replaces only
    // those elements; a tag answered from the cache takes whole values only (E_INVALIDARG).
    // Failed requests come back done.
    RequestResult readCache(ItemHandle item) const;
    RequestPtr readDevice(ItemHandle item, CompletionCallback callback = {});
    RequestPtr write(ItemHandle item, const opc::SOCmnVariant& value, CompletionCallback callback = {},
                     uint16_t requestType = opc::SODASREQUEST_TYPE_DEVICE, opc::SOElementRange range = {});

    // Several device reads or writes of one client call: checked one by one like above, then
    // handed to the server together, so the device sees them as one set whatever the timing.
    // One request per entry, in order.
    struct WriteOrder {
        ItemHandle item = 0;
        opc::SOCmnVariant value;
        CompletionCallback callback;
        opc::SOElementRange range;  // whole tag by default
    };
    struct ReadOrder {
        ItemHandle item = 0;
        CompletionCallback callback;
    };
    std::vector<RequestPtr> readDeviceTogether(std::vector<ReadOrder> orders);
    std::vector<RequestPtr> writeTogether(std::vector<WriteOrder> orders);

    void setDataChangeCallback(DataChangeCallback callback);

    // Toolkit side.
    Group(std::shared_ptr<ConnectionState> state, opc::SOCmnPointer<opc::SODaSServer> server,
          opc::SOCmnPointer<opc::SODaSGroup> group, std::string name);

private:
    bool attached() const;
    opc::SOCmnPointer<opc::SODaSItemTag> tagOf(ItemHandle item) const;
    RequestPtr failed(opc::HRESULT hr, CompletionCallback callback) const;
    struct Prepared;  // a checked request, not yet handed to its tag
    Prepared prepareRead(ItemHandle item, CompletionCallback callback) const;
    Prepared prepareWrite(ItemHandle item, const opc::SOCmnVariant& value, CompletionCallback callback,
                          uint16_t requestType, opc::SOElementRange range) const;
    void dispatchTogether(std::vector<Prepared>& prepared) const;

    std::shared_ptr<ConnectionState> state_;
    opc::SOCmnPointer<opc::SODaSServer> server_;
    opc::SOCmnPointer<opc::SODaSGroup> group_;
    std::string name_;
};

class ServerConnection {
public:
    // Null (with *result) unless the entry is running.
    static std::unique_ptr<ServerConnection> connect(opc::SODaSEntry& entry, ShutdownCallback onShutdown = {},
                                                     opc::HRESULT* result = nullptr);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // Removes all groups and releases the server object; the entry's event handler hears of it
    // (and of the last one). Idempotent.
    void disconnect();
    bool isConnected() const;

    std::shared_ptr<Group> addGroup(std::string name, uint32_t updateRate, bool active = true,
                                    DataChangeCallback onDataChange = {}, opc::HRESULT* result = nullptr);

    // Children of the branch named by branchItemId ("" for the root): branches first, then
    // leaves, each in the order they were added. OPC_E_UNKNOWNITEMID for an unknown branch.
    opc::HRESULT browse(std::string_view branchItemId, std::vector<BrowseElement>& children) const;
    // The leaf (preferred) or branch an item ID names.
    opc::HRESULT getItemInfo(std::string_view itemId, BrowseElement& element) const;

private:
    ServerConnection(opc::SOCmnPointer<opc::SODaSEntry> entry, opc::SOCmnPointer<opc::SODaSServer> server,
                     std::shared_ptr<ConnectionState> state);

    opc::SOCmnPointer<opc::SODaSEntry> entry_;
    opc::SOCmnPointer<opc::SODaSServer> server_;
    std::shared_ptr<ConnectionState> state_;
};

}  // namespace orva::opc::client
