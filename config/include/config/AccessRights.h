#pragma once
// The access-rights vocabulary: the texts of `accessrights` and the OPC DA access-right bits.

#include <cstdint>
#include <string_view>

namespace orva::config {

inline constexpr uint32_t ACCESS_READABLE = 1;
inline constexpr uint32_t ACCESS_WRITEABLE = 2;

inline constexpr std::string_view ACCESS_READ = "READ";
inline constexpr std::string_view ACCESS_WRITE = "WRITE";
inline constexpr std::string_view ACCESS_READWRITE = "READWRITE";

// "READ" 1, "WRITE" 2, "READWRITE" 3, anything else 0 (exact comparison).
uint32_t accessRightsFromName(std::string_view text);

// The text for access bits 1 to 3; "" for anything else.
std::string_view accessRightsName(uint32_t rights);

}  // namespace orva::config
