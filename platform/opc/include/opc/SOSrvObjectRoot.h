#pragma once
// The entry's list of connected server objects (one per client connection).

#include <vector>

#include "opc/SOCmnList.h"
#include "opc/SODaSServer.h"

namespace orva::opc {

// The list of connected server objects.
class SOSrvObjectRoot : public SOCmnObject {
public:
    SOSrvObjectRoot() : SOCmnObject(SOCMNOBJECT_TYPE_ROOT) {}
    SOCmnList<SODaSServer>& getServerList() noexcept { return servers_; }
    // A counted copy of the list.
    std::vector<SOCmnPointer<SODaSServer>> copyServerList() const { return servers_.snapshot(); }

protected:
    ~SOSrvObjectRoot() override = default;

private:
    SOCmnList<SODaSServer> servers_;
};

}  // namespace orva::opc
