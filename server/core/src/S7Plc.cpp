#include "core/S7Plc.h"

#include "core/ReadBlock.h"
#include "core/S7Tag.h"

namespace orva::core {

S7Plc::S7Plc(std::string plcName) : opc::SOCmnObject(S7PLC_OBJECT_TYPE), name(std::move(plcName)) {}

S7Plc::S7Plc(std::string plcName, uint16_t mpi, uint16_t slot)
    : opc::SOCmnObject(S7PLC_OBJECT_TYPE), name(std::move(plcName)), mpiAddress(mpi), cpuSlot(slot)
{
}

S7Plc::S7Plc(std::string plcName, std::string ipAddress, std::optional<std::string> localSource,
             uint16_t slot, uint16_t rack)
    : opc::SOCmnObject(S7PLC_OBJECT_TYPE),
      name(std::move(plcName)),
      address(std::move(ipAddress)),
      source(std::move(localSource)),
      cpuSlot(slot),
      rackNr(rack)
{
}

S7Plc::~S7Plc()
{
    releaseRuntime();
}

void S7Plc::setRedundancy(std::string b, std::optional<std::string> sourceOfB, S7Tag* statusTag,
                          S7Tag* commandTag, S7Tag* stateTag)
{
    addressB = std::move(b);
    sourceB = std::move(sourceOfB);
    redundancyStatusTag = opc::shareRef(statusTag);
    redundancyCommandTag = opc::shareRef(commandTag);
    serverStateTag = opc::shareRef(stateTag);
}

void S7Plc::releaseRuntime()
{
    shrinkSet.clear();
    redundancyBlock = nullptr;
    // Moved out first: releasing a tag may release this PLC's last reference.
    auto goneBlocks = std::move(blocks);
    auto goneReads = std::move(pendingReads);
    auto goneWrites = std::move(pendingWrites);
    auto status = std::move(redundancyStatusTag);
    auto command = std::move(redundancyCommandTag);
    auto state = std::move(serverStateTag);
}

}  // namespace orva::core
