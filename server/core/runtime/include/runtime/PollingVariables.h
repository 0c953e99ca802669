#pragma once
// The polling figures of every PLC as read-only OPC UA variables of the server's own, below the
// standard Server object in a namespace of their own (never among the configured PLC folders):
//   Server / Polling / <PLC> / ReadsPerSecond, MeanAnswerMs, MaxAnswerMs, AchievedIntervalMs,
//                              ErrorCount
// with string NodeIds "Polling.<PLC>.<figure>".

#include <functional>
#include <string>
#include <vector>

#include "core/PollFigures.h"
#include "opcua/ToolkitBackend.h"

namespace orva::process {

inline constexpr const char* kPollingNamespaceUri = "urn:orva:gateway:polling";

// plcNames in configuration order; figures gives them in the same order (any thread).
opcua::ToolkitBackend::OwnVariables pollingVariables(const std::vector<std::string>& plcNames,
                                                     std::function<std::vector<core::PollFigures>()> figures);

}  // namespace orva::process
