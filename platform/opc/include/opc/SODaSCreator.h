#pragma once
// Makes the toolkit's objects. A server derives from it to have its own groups and items made;
// each factory returns a new object with one reference, which the caller adopts. A factory may
// raise SOCmnException (code 1, "Out of memory"); the toolkit turns that into E_OUTOFMEMORY.

#include <span>

#include "opc/SODaSGroup.h"
#include "opc/SODaSItem.h"
#include "opc/SODaSServer.h"

namespace orva::opc {

class SODaSEntry;
class SODaSItemTag;
class SODaSRequest;

// One request for one tag, as handed over with the other requests of the same client call.
struct SODaSTagRequest {
    SODaSItemTag* tag = nullptr;
    SODaSRequest* request = nullptr;
};

class SODaSCreator : public SOCmnObject {
public:
    SODaSCreator() : SOCmnObject(SOCMNOBJECT_TYPE_CREATOR) {}

    virtual SODaSServer* createServer(SODaSEntry* entry);
    virtual SODaSGroup* createGroup(SODaSServer* parent);
    virtual SODaSItem* createItem(SODaSGroup* parent, SODaSItemTag* tag);

    // Hands the requests of one client call to their tags (all in device IO mode queue) together,
    // so a server that queues them for its device can queue them as one set. The default hands
    // them over one by one. May raise like a tag's handleRequest.
    virtual void handleRequests(std::span<const SODaSTagRequest> requests);

protected:
    ~SODaSCreator() override = default;
};

}  // namespace orva::opc
