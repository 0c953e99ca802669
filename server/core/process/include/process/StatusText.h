#pragma once
// The main window's status text: one line per PLC in configuration order. Only the line of the
// PLC last reported with an error carries text, "<error text> on <PLC name>"; a report of code 0
// leaves every line empty.

#include <functional>
#include <string>
#include <vector>

#include "process/OwnerWindow.h"

namespace orva::process {

// The transport's text for a status code.
using ErrorTextFunction = std::function<std::string(int code)>;

std::string buildStatusText(const std::vector<PlcLine>& plcs, PlcHandle reportedPlc, int code,
                            const ErrorTextFunction& errorText);

// Vardel's texts: 124 and -2 have fixed texts, every other code shows the SAPI-S7 library's
// text of its last error.
ErrorTextFunction vardelErrorText(std::function<std::string()> lastErrorText);

// The status text as last built, with the PLCs it is built from.
class StatusLine {
public:
    explicit StatusLine(ErrorTextFunction errorText) : errorText_(std::move(errorText)) {}

    void setPlcs(std::vector<PlcLine> plcs) { plcs_ = std::move(plcs); }
    const std::vector<PlcLine>& plcs() const { return plcs_; }
    const std::string& text() const { return text_; }

    // Rebuilds the text; true when it changed.
    bool report(int code, PlcHandle plc);

    // The lines that carry text, for a log.
    std::vector<std::string> nonEmptyLines() const;

private:
    ErrorTextFunction errorText_;
    std::vector<PlcLine> plcs_;
    std::string text_;
};

}  // namespace orva::process
