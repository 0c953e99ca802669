#include "opc/SODaSCreator.h"

#include "opc/SOCmnException.h"

namespace orva::opc {

SODaSServer* SODaSCreator::createServer(SODaSEntry* entry)
{
    return newOrThrow<SODaSServer>(entry);
}

SODaSGroup* SODaSCreator::createGroup(SODaSServer*)
{
    return newOrThrow<SODaSGroupDefault>();
}

SODaSItem* SODaSCreator::createItem(SODaSGroup*, SODaSItemTag*)
{
    return newOrThrow<SODaSItemDefault>();
}

}  // namespace orva::opc
