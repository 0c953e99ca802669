#pragma once
// The server object of one client connection: it holds the client's groups and is listed in the
// entry's object root while the client is connected.

#include <memory>
#include <string>

#include "opc/SOCmnList.h"
#include "opc/SODaSGroup.h"

namespace orva::opc {

class SODaSEntry;

// Receives the server's request that the client disconnect, on the toolkit's worker thread.
class SOSrvShutdownSink {
public:
    virtual ~SOSrvShutdownSink() = default;
    virtual void onShutdownRequest(const std::string& reason) noexcept = 0;
};

class SODaSServer : public SOCmnObject {
public:
    explicit SODaSServer(SODaSEntry* entry);

    SOCmnPointer<SODaSEntry> getEntry() const;

    // Makes a group through the creator; null with *result set on failure.
    SOCmnPointer<SODaSGroup> addGroup(std::string name, uint32_t updateRate, bool active, HRESULT* result);
    // Deactivates and removes every item of the group, then the group.
    bool removeGroup(SODaSGroup* group);
    void removeAllGroups();
    SOCmnList<SODaSGroup>& getGroupList() noexcept { return groups_; }

    void setShutdownSink(std::shared_ptr<SOSrvShutdownSink> sink);
    // Posts the shutdown request to the client (worker thread).
    void requestShutdown(const std::string& reason);

protected:
    ~SODaSServer() override;

private:
    SOCmnPointer<SODaSEntry> entry_;
    SOCmnList<SODaSGroup> groups_;
    std::mutex sinkMutex_;
    std::shared_ptr<SOSrvShutdownSink> shutdownSink_;
};

}  // namespace orva::opc
