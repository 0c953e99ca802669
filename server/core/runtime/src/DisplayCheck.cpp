#include "DisplayCheck.h"

#include <sys/stat.h>

#include <cstdlib>

namespace orva::process {
namespace {

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

bool isSocket(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

std::string localX11Socket(const std::string& display)
{
    std::string rest;
    if (display.rfind(':', 0) == 0)
        rest = display.substr(1);
    else if (display.rfind("unix:", 0) == 0)
        rest = display.substr(5);
    else
        return {};
    const std::string number = rest.substr(0, rest.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return {};
    return "/tmp/.X11-unix/X" + number;
}

bool displayReachable()
{
    if (!env("QT_QPA_PLATFORM").empty()) return true;
    const std::string wayland = env("WAYLAND_DISPLAY");
    if (!wayland.empty()) {
        const std::string path = wayland.front() == '/' ? wayland : env("XDG_RUNTIME_DIR") + "/" + wayland;
        if (isSocket(path)) return true;
    }
    const std::string display = env("DISPLAY");
    if (display.empty()) return false;
    const std::string socket = localX11Socket(display);
    if (socket.empty()) return display.find(':') != std::string::npos;  // remote: let Qt try
    return isSocket(socket);
}

}  // namespace orva::process
