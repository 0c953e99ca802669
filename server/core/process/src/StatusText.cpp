#include "process/StatusText.h"

namespace orva::process {

std::string buildStatusText(const std::vector<PlcLine>& plcs, PlcHandle reportedPlc, int code,
                            const ErrorTextFunction& errorText)
{
    std::string text;
    for (const auto& plc : plcs) {
        if (plc.plc == reportedPlc && code != 0) {
            text += errorText ? errorText(code) : std::string();
            text += " on ";
            text += plc.name;
        }
        text += '\n';
    }
    return text;
}

ErrorTextFunction vardelErrorText(std::function<std::string()> lastErrorText)
{
    return [lastErrorText = std::move(lastErrorText)](int code) -> std::string {
        if (code == 124) return "Connection error: dropped";
        if (code == -2) return "Unknown error";
        return lastErrorText ? lastErrorText() : std::string();
    };
}

bool StatusLine::report(int code, PlcHandle plc)
{
    std::string text = buildStatusText(plcs_, plc, code, errorText_);
    if (text == text_) return false;
    text_ = std::move(text);
    return true;
}

std::vector<std::string> StatusLine::nonEmptyLines() const
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text_.size()) {
        const std::size_t end = text_.find('\n', start);
        const std::size_t stop = end == std::string::npos ? text_.size() : end;
        if (stop > start) lines.push_back(text_.substr(start, stop - start));
        start = stop + 1;
    }
    return lines;
}

}  // namespace orva::process
