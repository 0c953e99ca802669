#pragma once
// The gateway's own event: a PLC's connection was lost, came back, or failed with another error.
// An event type below SystemEventType in namespace 1 with the PLC's name, the error code and its
// text; the PLC's folder is the event's source.

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "opcua/Events.h"

namespace orva::opcua {

namespace plcevent {
// Numeric node ids in namespace 1 (the tags' ids there are strings, so they never collide).
inline constexpr uint32_t Type = 1001, PlcName = 1002, ErrorCode = 1003, ErrorText = 1004;
inline constexpr uint16_t Lost = 800, Changed = 500, Back = 200;  // severities
}  // namespace plcevent

EventTypeDefinition plcConnectionEventType();

enum class PlcConnectionChange { Lost, Back, Changed };

// errorText: the transport's text of the code (empty for code 0).
Event plcConnectionEvent(PlcConnectionChange change, const std::string& plcName, int code,
                         const std::string& errorText);

// Remembers each PLC's last status code and tells what a new report changes: nothing for a
// repeated code, nor for a first report of 0 (a PLC is taken to be connected until told otherwise).
// Thread-safe.
class PlcConnectionTracker {
public:
    std::optional<PlcConnectionChange> report(const std::string& plcName, int code);

private:
    std::mutex lock_;
    std::map<std::string, int> last_;
};

}  // namespace orva::opcua
