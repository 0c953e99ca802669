#include "opc/SOSrvEntry.h"

#include "opc/SOSrvObjectRoot.h"

namespace orva::opc {

SOSrvEntry::SOSrvEntry() : SOCmnObject(SOCMNOBJECT_TYPE_ENTRY), objectRoot_(new SOSrvObjectRoot) {}

SOSrvEntry::~SOSrvEntry() = default;

SOCmnPointer<SOSrvObjectRoot> SOSrvEntry::getObjectRoot() const
{
    return objectRoot_;
}

void SOSrvEntry::setEventHandler(SOSrvEventHandler* handler)
{
    std::lock_guard g(entryMutex_);
    eventHandler_ = shareRef(handler);
}

SOCmnPointer<SOSrvEventHandler> SOSrvEntry::getEventHandler() const
{
    std::lock_guard g(entryMutex_);
    return eventHandler_;
}

}  // namespace orva::opc
