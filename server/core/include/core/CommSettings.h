#pragma once
// The constants in which the servers' communication threads differ.

#include <cstdint>

#include "config/ServerKind.h"

namespace orva::core {

struct CommSettings {
    // Largest run of unused bytes a read block reads to save a call.
    uint16_t gap = 50;
    // Step of the wait for subscription changes to settle (ms).
    uint32_t settlingStepMs = 100;
};

constexpr CommSettings commSettingsFor(config::ServerKind kind)
{
    switch (kind) {
        case config::ServerKind::Lorvik:
            return {10, 10};
        case config::ServerKind::Pennat:
            return {10, 100};
        case config::ServerKind::Tornel:
        case config::ServerKind::Vardel:
        default:
            return {50, 100};
    }
}

// Steps of the request queues' settling wait (ms).
inline constexpr uint32_t REQUEST_SETTLING_STEP_MS = 10;
// A queue that still grows after this many steps is taken as it is, so that a steady stream of
// client requests or subscription changes cannot hold the polling up.
inline constexpr uint32_t MAX_SETTLING_STEPS = 10;

}  // namespace orva::core
