#include "runtime/CommBridges.h"

namespace orva::process {

std::vector<PlcLine> plcLines(const core::PlcList& plcs)
{
    std::vector<PlcLine> lines;
    for (std::size_t i = 0; i < plcs.size(); ++i)
        lines.push_back({plcs.at(i), plcs.at(i)->name});
    return lines;
}

}  // namespace orva::process
