#include "process/CommBridges.h"

namespace orva::process {

void LoaderWarnings::showWarning(std::string_view text, std::string_view caption)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    window_.showWarning(caption, text);
}

}  // namespace orva::process
