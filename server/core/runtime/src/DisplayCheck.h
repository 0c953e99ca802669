#pragma once
// Whether the display the environment names can really be reached. Qt ends the process when it
// cannot connect to its display, so a server started with a stale DISPLAY (a closed X session,
// an ssh login without forwarding) checks first and runs headless instead.

#include <string>

namespace orva::process {

// True for an explicitly chosen Qt platform (QT_QPA_PLATFORM), a Wayland socket that exists, a
// local X display whose socket exists, or a remote X display (host:n, not checked here).
bool displayReachable();

// The socket of a local X display such as ":0" or ":1.0"; empty for remote or malformed names.
std::string localX11Socket(const std::string& display);

}  // namespace orva::process
