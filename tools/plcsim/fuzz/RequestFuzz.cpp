// Feeds arbitrary bytes to the simulator's job decoder and, for jobs it accepts, answers them
// against a small memory, as a connection would.
#include <cstddef>
#include <cstdint>
#include <span>

#include "SimulatorState.h"
#include "plcsim/S7Job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static orva::plcsim::PlcSimulator::State state = [] {
        orva::plcsim::SimulatorOptions options;
        return orva::plcsim::PlcSimulator::State(options);
    }();
    {
        const std::lock_guard lock(state.memoryMutex);
        state.blocks[1].assign(64, 0x55);
        state.blocks[2].assign(3, 0xAA);
        state.records.clear();
    }
    orva::plcsim::Job job;
    if (orva::plcsim::decodeJob(std::span<const uint8_t>(data, size), job) == orva::plcsim::JobStatus::Ok) {
        orva::plcsim::answerJob(state, job, 480);
    }
    return 0;
}
