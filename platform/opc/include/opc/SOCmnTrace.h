#pragma once
// The toolkit's trace: lines written when their group bit is set in the level mask.
// By default lines go to stderr; a sink can take them instead (tests, log files).

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "opc/SOCmnString.h"

namespace orva::opc {

inline constexpr uint32_t SOCMNTRACE_L_ERR = 1;
inline constexpr uint32_t SOCMNTRACE_L_WRN = 2;
inline constexpr uint32_t SOCMNTRACE_L_INF = 3;
inline constexpr uint32_t SOCMNTRACE_G_SERVER = 0x10000000;  // server start and stop

class SOCmnTrace {
public:
    using Sink = std::function<void(std::string_view line)>;

    void setLevelMask(uint32_t mask);
    uint32_t getLevelMask() const;
    bool isEnabled(uint32_t group) const { return (getLevelMask() & group) != 0; }

    // Writes "[objectId] text" when group is enabled; level 1 error, 2 warning, 3 info.
    void trace(uint32_t level, uint32_t group, const char* objectId, const char* text, int newLine = 1);
    // printf-style expansion of a trace text.
    static SOCmnString expand(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    void setSink(Sink sink);

private:
    mutable std::mutex mutex_;
    uint32_t levelMask_ = SOCMNTRACE_G_SERVER;
    Sink sink_;
};

// The process's trace.
SOCmnTrace* getSOCmnTrace();

}  // namespace orva::opc
