#pragma once
// The server's toolkit classes: the creator makes S7Group and S7Item, whose hooks queue
// subscription changes for the communication thread.

#include <memory>

#include "core/CoreQueues.h"
#include "opc/SODaSCreator.h"

namespace orva::core {

class S7Group : public opc::SODaSGroupDefault {
public:
    explicit S7Group(std::weak_ptr<CoreQueues> queues) : queues_(std::move(queues)) {}
    // A new rate queues one rate change per item of the group (active or not) that has a tag;
    // the rate it already has queues nothing.
    void onSetUpdateRate(uint32_t newRate) override;

protected:
    ~S7Group() override = default;

private:
    std::weak_ptr<CoreQueues> queues_;  // gone once the server is torn down: nothing to queue
};

class S7Item : public opc::SODaSItemDefault {
public:
    explicit S7Item(std::weak_ptr<CoreQueues> queues) : queues_(std::move(queues)) {}
    // Activation adds the item to its tag's clientItems and queues an activation with the
    // group's rate; deactivation removes every occurrence and queues a deactivation (rate 0).
    void onSetActive(bool active) override;

protected:
    ~S7Item() override = default;

private:
    std::weak_ptr<CoreQueues> queues_;  // gone once the server is torn down: nothing to queue
};

class S7Creator : public opc::SODaSCreator {
public:
    explicit S7Creator(std::shared_ptr<CoreQueues> queues) : queues_(std::move(queues)) {}
    opc::SODaSGroup* createGroup(opc::SODaSServer* parent) override;
    opc::SODaSItem* createItem(opc::SODaSGroup* parent, opc::SODaSItemTag* tag) override;
    // The requests of one client call are queued together (see queueRequests).
    void handleRequests(std::span<const opc::SODaSTagRequest> requests) override;

protected:
    ~S7Creator() override = default;

private:
    std::shared_ptr<CoreQueues> queues_;
};

}  // namespace orva::core
