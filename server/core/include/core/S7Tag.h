#pragma once
// One configured tag: a typed piece of a PLC data block, published as a leaf of the address
// space (or kept internally for redundancy supervision).

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "opc/SOCmnList.h"
#include "opc/SODaSCreator.h"
#include "opc/SODaSItem.h"
#include "opc/SODaSTag.h"

namespace orva::core {

class S7Plc;
struct CoreQueues;
struct ReadBlock;

class S7Tag : public opc::SODaSTag {
public:
    // Sets name, rights, type, device IO mode 1 and the description (property 101); prepares the
    // cache with quality UNCERTAIN: arrays of `elements` zero elements, strings of `elements`
    // characters, other types no value. Takes a counted reference on plc.
    S7Tag(std::shared_ptr<CoreQueues> queues, const std::string& name, uint32_t accessRights,
          VarType nativeType, const std::string& description, uint16_t dataBlock, uint16_t dataByte,
          uint16_t dataBit, uint16_t elements, S7Plc* plc);

    // Device reads (0x1005, 0x1006) and all writes are queued for the communication thread;
    // other reads are completed at once from the cache. Once the server's queues are gone (it is
    // being torn down) a request that would be queued is completed with a failure.
    void handleRequest(opc::SODaSRequest& request) override;
    // What happens to a request before it is queued: answered at once when it needs no device,
    // a write checked, the rest marked started. True when it is to be queued.
    bool admit(opc::SODaSRequest& request, const CoreQueues& queues);

    // Items of clients that are active on this tag (counted); changed under queueLock.
    opc::SOCmnList<opc::SODaSItem> clientItems;
    uint8_t inBlock = 0;  // 0 never registered in a read block, 1 registered, 2 taken out again
    opc::SOCmnPointer<S7Plc> plc;
    ReadBlock* block = nullptr;
    uint16_t dataBlock = 0;
    uint16_t dataByte = 0;
    uint16_t dataBit = 0;
    uint16_t elements = 0;
    int32_t statusRow = -1;

protected:
    ~S7Tag() override;

private:
    // Weak: the queued records count this tag, so owning the queues would make a cycle.
    std::weak_ptr<CoreQueues> queues_;
};

// Queues the requests of one client call for the communication thread, all under one lock, so
// it takes them in one step (and can group writes to neighbouring bytes). Requests on other
// kinds of tag are handed to their tag.
void queueRequests(const std::weak_ptr<CoreQueues>& queues, std::span<const opc::SODaSTagRequest> requests);

}  // namespace orva::core
