#pragma once
// Where start-up warnings go: the process shows them in a warning message box owned by its main
// window, or writes them to the log when it runs without windows.

#include <string_view>

namespace orva::core {

class OwnerWindow {
public:
    virtual ~OwnerWindow() = default;
    // text ends with a line feed; both are UTF-8.
    virtual void showWarning(std::string_view text, std::string_view caption) = 0;
};

// Writes "caption: text" to stderr.
class StderrOwnerWindow : public OwnerWindow {
public:
    void showWarning(std::string_view text, std::string_view caption) override;
};

}  // namespace orva::core
