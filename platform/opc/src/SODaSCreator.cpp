#include "opc/SODaSCreator.h"

#include "opc/SOCmnException.h"
#include "opc/SODaSTag.h"

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

void SODaSCreator::handleRequests(std::span<const SODaSTagRequest> requests)
{
    for (const auto& entry : requests)
        entry.tag->handleRequest(*entry.request);
}

}  // namespace orva::opc
