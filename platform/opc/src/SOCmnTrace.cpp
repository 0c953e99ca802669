#include "opc/SOCmnTrace.h"

#include <cstdarg>
#include <cstdio>

namespace orva::opc {

void SOCmnTrace::setLevelMask(uint32_t mask)
{
    std::lock_guard g(mutex_);
    levelMask_ = mask;
}

uint32_t SOCmnTrace::getLevelMask() const
{
    std::lock_guard g(mutex_);
    return levelMask_;
}

void SOCmnTrace::trace(uint32_t level, uint32_t group, const char* objectId, const char* text, int newLine)
{
    std::lock_guard g(mutex_);
    if ((levelMask_ & group) == 0) return;
    const char* kind = level == SOCMNTRACE_L_ERR ? "ERR" : level == SOCMNTRACE_L_WRN ? "WRN" : "INF";
    std::string line = std::string(kind) + " [" + (objectId ? objectId : "") + "] " + (text ? text : "");
    if (sink_) {
        sink_(line);
    } else {
        std::fprintf(stderr, "%s%s", line.c_str(), newLine ? "\n" : "");
    }
}

SOCmnString SOCmnTrace::expand(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    char buffer[1024];
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return SOCmnString(n < 0 ? std::string() : std::string(buffer));
}

void SOCmnTrace::setSink(Sink sink)
{
    std::lock_guard g(mutex_);
    sink_ = std::move(sink);
}

SOCmnTrace* getSOCmnTrace()
{
    static SOCmnTrace trace;
    return &trace;
}

}  // namespace orva::opc
