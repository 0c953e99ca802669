#include "opc/SODaSServer.h"

#include "opc/SOCmnException.h"
#include "opc/SODaSCreator.h"
#include "opc/SODaSEntry.h"

namespace orva::opc {

SODaSServer::SODaSServer(SODaSEntry* entry) : SOCmnObject(SOCMNOBJECT_TYPE_SERVER), entry_(shareRef(entry)) {}

SODaSServer::~SODaSServer()
{
    removeAllGroups();
}

SOCmnPointer<SODaSEntry> SODaSServer::getEntry() const
{
    return entry_;
}

SOCmnPointer<SODaSGroup> SODaSServer::addGroup(std::string name, uint32_t updateRate, bool active,
                                               HRESULT* result)
{
    auto fail = [result](HRESULT hr) {
        if (result) *result = hr;
        return SOCmnPointer<SODaSGroup>();
    };
    if (!entry_ || !entry_->isRunning()) return fail(OPC_E_NOTCONNECTED);
    auto creator = entry_->getCreator();
    if (!creator) return fail(E_FAIL);
    SOCmnPointer<SODaSGroup> group;
    try {
        group.reset(creator->createGroup(this));
    } catch (const SOCmnException&) {
        return fail(E_OUTOFMEMORY);
    }
    if (!group) return fail(E_OUTOFMEMORY);
    group->init(this, std::move(name), entry_->reviseUpdateRate(updateRate), active);
    groups_.add(group.get());
    entry_->registerGroup(group.get());
    if (result) *result = S_OK;
    return group;
}

bool SODaSServer::removeGroup(SODaSGroup* group)
{
    if (!group || !groups_.contains(group)) return false;
    if (entry_) entry_->unregisterGroup(group);
    group->setDataChangeSink(nullptr);
    group->removeAllItems();
    return groups_.removeObject(group);
}

void SODaSServer::removeAllGroups()
{
    for (const auto& g : groups_.snapshot())
        removeGroup(g.get());
}

void SODaSServer::setShutdownSink(std::shared_ptr<SOSrvShutdownSink> sink)
{
    std::lock_guard g(sinkMutex_);
    shutdownSink_ = std::move(sink);
}

void SODaSServer::requestShutdown(const std::string& reason)
{
    std::shared_ptr<SOSrvShutdownSink> sink;
    {
        std::lock_guard g(sinkMutex_);
        sink = shutdownSink_;
    }
    if (!sink || !entry_) return;
    entry_->post([sink, reason] { sink->onShutdownRequest(reason); });
}

}  // namespace orva::opc
