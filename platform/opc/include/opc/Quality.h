#pragma once
// Text of an OPC DA quality, e.g. "GOOD", "UNCERTAIN", "BAD (COMM_FAILURE)", with " HIGH_LIMITED"
// and the like appended for the limit bits.

#include <cstdint>

#include "opc/SOCmnString.h"

namespace orva::opc {

// flags: 0x800 (the system locale) is the only one known; the text is English in any case.
SOCmnString quality2string(uint16_t quality, uint32_t flags = 0x800);

}  // namespace orva::opc
