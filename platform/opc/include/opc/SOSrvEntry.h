#pragma once
// The toolkit entry: the event handler and the object root that lists connected server objects.
// Registration and the server's identity live with the process (it writes them to the registry
// stand-in and hands them to the OPC UA front end), so the entry keeps neither.

#include <mutex>

#include "opc/SOCmnList.h"
#include "opc/SOSrvEventHandler.h"

namespace orva::opc {

class SOSrvObjectRoot;

class SOSrvEntry : public SOCmnObject {
public:
    SOSrvEntry();

    // The connected server objects (counted).
    SOCmnPointer<SOSrvObjectRoot> getObjectRoot() const;

    // The handler told when the last object is released; takes a reference (null removes it).
    void setEventHandler(SOSrvEventHandler* handler);
    SOCmnPointer<SOSrvEventHandler> getEventHandler() const;

protected:
    ~SOSrvEntry() override;
    mutable std::mutex entryMutex_;
    SOCmnPointer<SOSrvObjectRoot> objectRoot_;

private:
    SOCmnPointer<SOSrvEventHandler> eventHandler_;
};

}  // namespace orva::opc
