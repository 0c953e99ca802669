#include "PlcEventBridge.h"

#include "core/S7Plc.h"

namespace orva::process {

void StatusFanOut::reportPlcStatus(int code, const core::S7Plc* plc)
{
    window_.reportPlcStatus(code, plc);
    if (plc == nullptr) return;
    const std::lock_guard guard(lock_);
    const auto change = tracker_.report(plc->name, code);
    if (!change || server_ == nullptr) return;
    const std::string text = code != 0 && errorText_ ? errorText_(code) : std::string{};
    server_->reportEvent(opcua::plcConnectionEvent(*change, plc->name, code, text));
}

void StatusFanOut::setEventServer(opcua::Server* server, ErrorTextFunction errorText)
{
    const std::lock_guard guard(lock_);
    server_ = server;
    errorText_ = std::move(errorText);
}

}  // namespace orva::process
