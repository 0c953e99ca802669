#include "core/OwnerWindow.h"

#include <cstdio>
#include <string>

namespace orva::core {

void StderrOwnerWindow::showWarning(std::string_view title, std::string_view text)
{
    const std::string line = std::string(title) + ": " + std::string(text);
    std::fputs(line.c_str(), stderr);
    if (line.empty() || line.back() != '\n') std::fputc('\n', stderr);
}

}  // namespace orva::core
