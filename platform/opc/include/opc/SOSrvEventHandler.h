#pragma once
// Notifications of the toolkit to the server about its clients. Both are called on the thread
// that closed the client's connection, without toolkit locks held.

#include "opc/SOCmnObject.h"

namespace orva::opc {

class SOSrvEventHandler : public SOCmnObject {
public:
    SOSrvEventHandler() : SOCmnObject(SOCMNOBJECT_TYPE_EVENT_HANDLER) {}

    // The last server object (client connection) has been released; called after
    // onReleasedOPCObject of that release.
    virtual void onReleasedLastOPCObject() {}
    // A server object (client connection) has been released.
    virtual void onReleasedOPCObject() {}

protected:
    ~SOSrvEventHandler() override = default;
};

}  // namespace orva::opc
