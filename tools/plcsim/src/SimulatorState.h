#pragma once
// Shared state of one simulator: memory, faults, request log, and the server's threads.
#include <atomic>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

#include "plc/Socket.h"
#include "plcsim/PlcSimulator.h"
#include "plcsim/S7Job.h"

namespace orva::plcsim {

struct PlcSimulator::State {
    explicit State(SimulatorOptions o) : options(std::move(o)) {}

    SimulatorOptions options;

    mutable std::mutex memoryMutex;
    std::map<uint16_t, std::vector<uint8_t>> blocks;

    mutable std::mutex faultMutex;
    Faults faults;

    mutable std::mutex logMutex;
    std::deque<RequestRecord> records;

    std::atomic<int> connections{0};
    std::atomic<uint64_t> accepted{0};

    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
        std::mutex fdMutex;  // the socket is closed by its thread, shut down by stop()
        int fd = -1;
    };
    std::mutex serverMutex;  // start/stop
    std::atomic<bool> running{false};
    std::atomic<uint16_t> port{0};
    plc::UniqueFd listener;
    plc::UniqueFd stopEvent;  // eventfd, readable once stop is asked for
    std::thread acceptor;
    std::thread animator;
    std::list<Connection> connectionThreads;  // touched by the acceptor thread and stop() only

    Faults currentFaults() const
    {
        const std::lock_guard lock(faultMutex);
        return faults;
    }
    void note(const RequestRecord& record);
};

// The PDU size granted for a requested one: the request, within 240 and the configured maximum.
uint16_t grantPduSize(const PlcSimulator::State& state, uint16_t requested);

// Answers one decoded job against the simulator's memory and faults. The result is the S7 PDU
// to send back.
std::vector<uint8_t> answerJob(PlcSimulator::State& state, const Job& job, uint16_t pduSize);

// Moves the animated blocks' values on by one step.
void animateStep(PlcSimulator::State& state, uint32_t step, double seconds);

}  // namespace orva::plcsim
