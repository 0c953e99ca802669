#include "opc/SODaSEntry.h"

#include "SODaSWorker.h"
#include "opc/SOCmnException.h"
#include "opc/SOSrvObjectRoot.h"

namespace orva::opc {

SODaSEntry::SODaSEntry() : root_(new SODaSNameSpaceRoot), worker_(std::make_unique<SODaSWorker>())
{
    creator_.reset(new SODaSCreator);
}

SODaSEntry::~SODaSEntry()
{
    terminate();
}

void SODaSEntry::setCreator(SODaSCreator* creator)
{
    std::lock_guard g(entryMutex_);
    creator_ = shareRef(creator);
}

SOCmnPointer<SODaSCreator> SODaSEntry::getCreator() const
{
    std::lock_guard g(entryMutex_);
    return creator_;
}

SOCmnPointer<SODaSNameSpaceRoot> SODaSEntry::getNameSpaceRoot(int) const
{
    return root_;
}

uint32_t SODaSEntry::reviseUpdateRate(uint32_t requested) const noexcept
{
    return requested < minUpdateRate_ ? minUpdateRate_ : requested;
}

int SODaSEntry::start()
{
    std::lock_guard g(entryMutex_);
    if (!root_ || !creator_) return 0;
    worker_->start();
    running_ = true;
    return 1;
}

bool SODaSEntry::isRunning() const
{
    std::lock_guard g(entryMutex_);
    return running_;
}

void SODaSEntry::shutdownAllClients(const std::string& reason)
{
    for (const auto& server : objectRoot_->copyServerList())
        server->requestShutdown(reason);
}

void SODaSEntry::terminate()
{
    {
        std::lock_guard g(entryMutex_);
        running_ = false;
    }
    // Remaining clients lose their groups; their items are deactivated through the hooks.
    for (const auto& server : objectRoot_->copyServerList())
        disconnectServer(server.get());
    worker_->stop();
    root_->removeAllChildren();
}

SOCmnPointer<SODaSServer> SODaSEntry::connectServer(HRESULT* result)
{
    auto fail = [result](HRESULT hr) {
        if (result) *result = hr;
        return SOCmnPointer<SODaSServer>();
    };
    if (!isRunning()) return fail(OPC_E_NOTCONNECTED);
    auto creator = getCreator();
    SOCmnPointer<SODaSServer> server;
    try {
        server.reset(creator->createServer(this));
    } catch (const SOCmnException&) {
        return fail(E_OUTOFMEMORY);
    }
    if (!server) return fail(E_OUTOFMEMORY);
    objectRoot_->getServerList().add(server.get());
    if (result) *result = S_OK;
    return server;
}

void SODaSEntry::disconnectServer(SODaSServer* server)
{
    if (!server) return;
    server->setShutdownSink(nullptr);
    server->removeAllGroups();
    auto& list = objectRoot_->getServerList();
    list.lock();
    const bool removed = list.removeObject(server);
    const bool last = removed && list.isEmpty();
    list.unlock();
    if (!removed) return;
    if (auto handler = getEventHandler()) {
        handler->onReleasedOPCObject();
        if (last) handler->onReleasedLastOPCObject();
    }
}

void SODaSEntry::registerGroup(SODaSGroup* group)
{
    worker_->registerGroup(group);
}

void SODaSEntry::unregisterGroup(SODaSGroup* group)
{
    worker_->unregisterGroup(group);
}

void SODaSEntry::groupScheduleChanged()
{
    worker_->wake();
}

void SODaSEntry::post(std::function<void()> task)
{
    if (!worker_->post(task)) task();
}

SODaSEntry* getSODaSEntry()
{
    static SOCmnPointer<SODaSEntry> entry(new SODaSEntry);
    entry->addRef();
    return entry.get();
}

}  // namespace orva::opc
