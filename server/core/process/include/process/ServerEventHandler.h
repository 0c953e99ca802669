#pragma once
// The server's toolkit event handler: when the last OPC object of the server is released (the
// last client connection, here the last OPC UA session, has gone) it tells the release notifier,
// which wakes a waiting shutdown and closes a server that was started for its clients.

#include "opc/SOSrvEventHandler.h"
#include "process/ReleaseNotifier.h"

namespace orva::process {

class ServerEventHandler final : public opc::SOSrvEventHandler {
public:
    explicit ServerEventHandler(ReleaseNotifier& notifier) : notifier_(notifier) {}
    void onReleasedLastOPCObject() override { notifier_.lastObjectReleased(); }

protected:
    ~ServerEventHandler() override = default;

private:
    ReleaseNotifier& notifier_;
};

}  // namespace orva::process
