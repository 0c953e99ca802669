#pragma once

namespace orva::config {

// Branches nest at most this many levels below a PLC. The editor refuses deeper files and the
// servers skip deeper branches, so whatever the editor saves is served in full; the bound also
// keeps every walk over the tree within a small stack.
inline constexpr int kMaxBranchDepth = 200;

}  // namespace orva::config
