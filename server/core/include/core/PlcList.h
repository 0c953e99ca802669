#pragma once
// All configured PLCs in file order, with the scheduler's position.

#include <cstddef>
#include <cstdint>

#include "core/S7Plc.h"
#include "opc/SOCmnList.h"

namespace orva::core {

class PlcList {
public:
    PlcList() = default;
    PlcList(const PlcList&) = delete;
    PlcList& operator=(const PlcList&) = delete;
    ~PlcList() { clear(); }

    opc::SOCmnList<S7Plc>& list() noexcept { return list_; }
    const opc::SOCmnList<S7Plc>& list() const noexcept { return list_; }
    // Appends the PLC, taking a reference.
    void add(S7Plc* plc) { list_.add(plc); }
    std::size_t size() const { return list_.getCount(); }
    S7Plc* at(std::size_t index) const { return list_.getIndex(index); }

    // Releases every PLC after dropping its run-time state (shutdown).
    void clear();

    S7Plc* current = nullptr;  // the PLC being polled (not counted: the list holds it)
    std::size_t currentIndex = 0;
    uint16_t selectedPlc = 0;

private:
    opc::SOCmnList<S7Plc> list_;
};

}  // namespace orva::core
