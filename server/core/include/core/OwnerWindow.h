#pragma once
// Where start-up warnings go: the process shows them in a warning message box owned by its main
// window, or writes them to the log when it runs without windows. The process's own window
// interface extends this one, so the loader hands its warnings straight to the window.

#include <string_view>

namespace orva::core {

class OwnerWindow {
public:
    virtual ~OwnerWindow() = default;
    // A warning message box; returns when it has been dismissed (or logged). Both UTF-8; the
    // loader's texts end with a line feed, which a message box or log line leaves out.
    virtual void showWarning(std::string_view title, std::string_view text) = 0;
};

// Writes "title: text" to stderr.
class StderrOwnerWindow : public OwnerWindow {
public:
    void showWarning(std::string_view title, std::string_view text) override;
};

}  // namespace orva::core
