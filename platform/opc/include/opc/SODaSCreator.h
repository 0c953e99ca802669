#pragma once
// Makes the toolkit's objects. A server derives from it to have its own groups and items made;
// each factory returns a new object with one reference, which the caller adopts. A factory may
// raise SOCmnException (code 1, "Out of memory"); the toolkit turns that into E_OUTOFMEMORY.

#include "opc/SODaSGroup.h"
#include "opc/SODaSItem.h"
#include "opc/SODaSServer.h"

namespace orva::opc {

class SODaSEntry;

class SODaSCreator : public SOCmnObject {
public:
    SODaSCreator() : SOCmnObject(SOCMNOBJECT_TYPE_CREATOR) {}

    virtual SODaSServer* createServer(SODaSEntry* entry);
    virtual SODaSGroup* createGroup(SODaSServer* parent);
    virtual SODaSItem* createItem(SODaSGroup* parent, SODaSItemTag* tag);

protected:
    ~SODaSCreator() override = default;
};

}  // namespace orva::opc
