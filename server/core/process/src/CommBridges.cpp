#include "process/CommBridges.h"

namespace orva::process {

void LoaderWarnings::showWarning(std::string_view text, std::string_view caption)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    window_.showWarning(caption, text);
}

StatusSnapshot toStatusSnapshot(const core::CommSnapshot& snapshot)
{
    StatusSnapshot out;
    out.plcs.reserve(snapshot.plcs.size());
    for (const auto& p : snapshot.plcs) {
        PlcSnapshot plc{p.id, p.name, {}};
        plc.blocks.reserve(p.blocks.size());
        for (const auto& b : p.blocks) {
            BlockSnapshot block{b.id, b.dataBlock, b.startByte, b.length, {}};
            block.tags.reserve(b.tags.size());
            for (const auto& t : b.tags)
                block.tags.push_back(TagSnapshot{t.id, t.name, t.type, t.elements, t.value, t.quality});
            plc.blocks.push_back(std::move(block));
        }
        out.plcs.push_back(std::move(plc));
    }
    return out;
}

}  // namespace orva::process
