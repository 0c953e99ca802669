#pragma once
// One configured PLC: its addressing as the server kind's file gives it, the redundancy
// settings of a redundant Tornel PLC, and the communication thread's run-time state.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "opc/SOCmnObject.h"

namespace orva::core {

class S7Tag;
struct ReadBlock;
struct DeviceReadBlock;
struct WriteBlock;

inline constexpr uint32_t S7PLC_OBJECT_TYPE = 0x8000000;

class S7Plc : public opc::SOCmnObject {
public:
    // Vardel.
    explicit S7Plc(std::string name);
    // Lorvik, Pennat: MPI address and CPU slot.
    S7Plc(std::string name, uint16_t mpiAddress, uint16_t cpuSlot);
    // Tornel: IP address, optional local source, CPU slot, rack.
    S7Plc(std::string name, std::string address, std::optional<std::string> source, uint16_t cpuSlot,
          uint16_t rackNr);

    // Makes the PLC redundant; keeps the three tags until releaseRuntime().
    void setRedundancy(std::string addressB, std::optional<std::string> sourceB, S7Tag* statusTag,
                       S7Tag* commandTag, S7Tag* serverStateTag);
    bool isRedundant() const noexcept { return addressB.has_value(); }

    // Drops the read blocks, pending sets and redundancy tags. Tags hold their PLC, and blocks
    // and redundancy tags hold tags, so the PLC list calls this at shutdown to let them all go.
    void releaseRuntime();

    uint16_t plcNumber = 0;
    uintptr_t treeItem = 0;
    std::string name;
    std::string address;      // Tornel: IP address (at most 15 characters)
    uint16_t mpiAddress = 0;  // Lorvik, Pennat
    std::optional<std::string> addressB;
    std::optional<std::string> source;
    std::optional<std::string> sourceB;
    uint16_t cpuSlot = 0;
    uint16_t rackNr = 0;

    std::vector<std::unique_ptr<ReadBlock>> blocks;
    std::set<ReadBlock*> shrinkSet;
    std::vector<std::unique_ptr<DeviceReadBlock>> pendingReads;
    std::vector<std::unique_ptr<WriteBlock>> pendingWrites;
    int32_t nextBlock = 0;

    opc::SOCmnPointer<S7Tag> redundancyStatusTag;
    opc::SOCmnPointer<S7Tag> redundancyCommandTag;
    opc::SOCmnPointer<S7Tag> serverStateTag;

    // Redundancy run-time state.
    ReadBlock* redundancyBlock = nullptr;
    uint32_t redundancySide = 0;
    uint32_t commandCounter = 0;
    uint32_t lastCommandTick = 0;

protected:
    ~S7Plc() override;
};

}  // namespace orva::core
