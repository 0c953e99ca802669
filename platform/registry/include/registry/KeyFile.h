#pragma once
// The text format of one registry key's file:
//
//   ; comment lines and blank lines are ignored
//   [SOFTWARE\ORVAAutomation\Tornel]
//   "ConfigFile"="/srv/orva/Tornel.xml"
//   @="the key's default (unnamed) value"
//
// The header names the key as it was first written. Value names and values are quoted; inside
// quotes a backslash escapes: \\ \" \n \r \t and \xHH for any byte. The writer escapes every byte
// below 0x20 and 0x7F, so a line never holds a raw control character. Parsing is strict: anything
// else marks the whole file as corrupt.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::registry {

// Files larger than this are refused (read as corrupt, never written).
inline constexpr std::size_t kMaxKeyFileSize = 1024 * 1024;

struct KeyValue {
    std::string name;  // empty: the key's default value
    std::string data;
};

struct KeyFileContents {
    std::string keyPath;
    std::vector<KeyValue> values;  // in file order; names unique without regard to ASCII case

    const KeyValue* find(std::string_view name) const;
    void set(std::string_view name, std::string_view data);  // keeps the stored spelling of the name
    bool erase(std::string_view name);
};

// Parses a whole file; nullopt when the text is not a well-formed key file (or too large).
std::optional<KeyFileContents> parseKeyFile(std::string_view text);

std::string serializeKeyFile(const KeyFileContents& contents);

// ASCII case-insensitive comparison, the way key and value names are matched.
bool namesEqual(std::string_view a, std::string_view b);

}  // namespace orva::registry
