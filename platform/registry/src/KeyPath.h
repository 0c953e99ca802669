#pragma once
// Maps key paths to file paths below a registry root.

#include <filesystem>
#include <string_view>

namespace orva::registry::detail {

// Empty when the key path is empty, has an empty component, a control character, or a
// component too long for a file name.
std::filesystem::path keyFileBelow(const std::filesystem::path& root, std::string_view keyPath);

// The folder that holds the sub-keys of a key file: the file's path without ".reg".
std::filesystem::path subKeyFolder(const std::filesystem::path& keyFile);

inline constexpr std::string_view kKeyFileSuffix = ".reg";

}  // namespace orva::registry::detail
