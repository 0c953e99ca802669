// The table of services the engine answers: a request type not listed gets BadServiceUnsupported.
#include "EngineInternal.h"

namespace orva::opcua {

const Engine::Service* Engine::findService(uint32_t requestType)
{
    using U = SessionUse;
    using L = ServerLimits;
    static const Service table[] = {
        {svc::FindServers, &Engine::findServers, U::None, nullptr},
        {svc::GetEndpoints, &Engine::getEndpoints, U::None, nullptr},
        {svc::CreateSession, &Engine::createSession, U::None, nullptr},
        {svc::ActivateSession, &Engine::activateSession, U::Attach, nullptr},
        {svc::CloseSession, &Engine::closeSession, U::Created, nullptr},
        {svc::Browse, &Engine::browse, U::Activated, &L::maxNodesPerBrowse},
        {svc::BrowseNext, &Engine::browseNext, U::Activated, &L::maxNodesPerBrowse},
        {svc::Translate, &Engine::translate, U::Activated, &L::maxNodesPerTranslate},
        {svc::RegisterNodes, &Engine::registerNodes, U::Activated, &L::maxNodesPerRegisterNodes},
        {svc::UnregisterNodes, &Engine::unregisterNodes, U::Activated, &L::maxNodesPerRegisterNodes},
        {svc::Read, &Engine::read, U::Activated, &L::maxNodesPerRead},
        {svc::Write, &Engine::write, U::Activated, &L::maxNodesPerWrite},
        {svc::CreateSubscription, &Engine::createSubscription, U::Activated, nullptr},
        {svc::ModifySubscription, &Engine::modifySubscription, U::Activated, nullptr},
        {svc::SetPublishingMode, &Engine::setPublishingMode, U::Activated, nullptr},
        {svc::DeleteSubscriptions, &Engine::deleteSubscriptions, U::Activated, nullptr},
        {svc::Publish, &Engine::publish, U::Activated, nullptr},
        {svc::Republish, &Engine::republish, U::Activated, nullptr},
        {svc::CreateMonitoredItems, &Engine::createMonitoredItems, U::Activated,
         &L::maxMonitoredItemsPerCall},
        {svc::ModifyMonitoredItems, &Engine::modifyMonitoredItems, U::Activated,
         &L::maxMonitoredItemsPerCall},
        {svc::SetMonitoringMode, &Engine::setMonitoringMode, U::Activated, &L::maxMonitoredItemsPerCall},
        {svc::DeleteMonitoredItems, &Engine::deleteMonitoredItems, U::Activated,
         &L::maxMonitoredItemsPerCall},
        {svc::Call, &Engine::call, U::Activated, &L::maxNodesPerMethodCall},
    };
    for (const Service& s : table)
        if (s.requestType == requestType) return &s;
    return nullptr;
}

}  // namespace orva::opcua
