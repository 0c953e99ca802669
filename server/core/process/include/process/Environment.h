#pragma once
// What the process learns about where it runs.

#include <string>

namespace orva::process {

// The executable's full, resolved path; empty when it cannot be found.
std::string currentExecutablePath();

// True when windows can be shown: a display (X11 or Wayland) or an explicitly chosen Qt platform
// plugin (QT_QPA_PLATFORM, e.g. "offscreen"). Otherwise the server runs headless.
bool displayAvailable();

}  // namespace orva::process
