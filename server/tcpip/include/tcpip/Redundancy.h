#pragma once
// Supervision of redundant PLCs: two CPUs at address A and address B, of which one is master.
// At every scheduling step the side in use is selected and, when its status block is due, its
// status bit read; a side that is not master or cannot be selected is left for the other one,
// and when neither reports master the side reached is commanded to take over (bursts of five
// commands, then a pause of five minutes). The side in use is published in the tag
// ServerRedundancyState: 0 side A, 1 side B, 2 neither side can be selected (VT_I2, always GOOD).
//
// The status and command bits are polled like tags in a read block of their own PLC (the status
// block), kept after every application of subscription changes.

#include <cstdint>

#include "core/CommunicationThread.h"

namespace orva::tcpip {

// The status block is read at least this often (ms).
inline constexpr uint32_t STATUS_RATE_LIMIT_MS = 1000;
// A burst of commands is followed by this pause (ms).
inline constexpr uint32_t COMMAND_PAUSE_MS = 300000;
inline constexpr uint32_t COMMANDS_PER_BURST = 5;

// Values of ServerRedundancyState.
inline constexpr int16_t STATE_SIDE_A = 0;
inline constexpr int16_t STATE_SIDE_B = 1;
inline constexpr int16_t STATE_NO_SIDE = 2;

class RedundancySupervision final : public core::RedundancyHooks {
public:
    int supervise(core::CommunicationThread& thread, core::S7Plc& plc, bool fromScheduler) override;
    void upkeep(core::CommunicationThread& thread, core::S7Plc& plc) override;
};

}  // namespace orva::tcpip
