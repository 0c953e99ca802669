#pragma once
// The Data Access entry: the creator, the address-space root, the client connections and the
// data-change worker thread. start() launches the worker and lets clients connect; terminate()
// disconnects remaining clients (deactivating their items), stops and joins the worker, and
// empties the address space. The process has one entry (getSODaSEntry); tests may make more.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "opc/SODaSCreator.h"
#include "opc/SODaSNode.h"
#include "opc/SODaSServer.h"
#include "opc/SOSrvEntry.h"
#include "opc/SOSrvObjectRoot.h"

namespace orva::opc {

class SODaSWorker;

class SODaSEntry : public SOSrvEntry {
public:
    SODaSEntry();

    // Takes a reference on the creator.
    void setCreator(SODaSCreator* creator);
    SOCmnPointer<SODaSCreator> getCreator() const;

    // The root of the address space (counted); the argument is reserved and 0.
    SOCmnPointer<SODaSNameSpaceRoot> getNameSpaceRoot(int reserved = 0) const;

    // Smallest update rate granted to groups: a group asking for less gets this rate (ms).
    void setMinUpdateRate(uint32_t ms) noexcept { minUpdateRate_ = ms; }
    uint32_t getMinUpdateRate() const noexcept { return minUpdateRate_; }
    uint32_t reviseUpdateRate(uint32_t requested) const noexcept;

    // Non-zero on success; a second start succeeds without effect.
    int start();
    bool isRunning() const;
    // Posts the shutdown request with the reason to every connected client.
    void shutdownAllClients(const std::string& reason);
    void terminate();

    // Client connections (used by the in-process client API). connectServer fails (null) unless
    // the entry is running. disconnectServer removes the client's groups and the server object
    // and tells the event handler.
    SOCmnPointer<SODaSServer> connectServer(HRESULT* result);
    void disconnectServer(SODaSServer* server);

    // Worker: groups that receive data-change turns, and tasks run on the worker thread (inline
    // when the worker is not running).
    void registerGroup(SODaSGroup* group);
    void unregisterGroup(SODaSGroup* group);
    void groupScheduleChanged();
    void post(std::function<void()> task);

protected:
    ~SODaSEntry() override;

private:
    SOCmnPointer<SODaSCreator> creator_;
    SOCmnPointer<SODaSNameSpaceRoot> root_;
    std::unique_ptr<SODaSWorker> worker_;
    uint32_t minUpdateRate_ = 0;
    bool running_ = false;
};

// The process's entry (counted: release it when done).
SODaSEntry* getSODaSEntry();

}  // namespace orva::opc
