#include "core/PlcList.h"

namespace orva::core {

void PlcList::clear()
{
    current = nullptr;
    currentIndex = 0;
    selectedPlc = 0;
    for (const auto& plc : list_.snapshot())
        plc->releaseRuntime();
    list_.removeAll();
}

}  // namespace orva::core
