#pragma once
// Results of registry operations. Every operation reports one of these instead of throwing.

#include <string_view>

namespace orva::registry {

enum class Status {
    Ok,
    KeyNotFound,     // the key does not exist
    ValueNotFound,   // the key exists but has no value of that name
    InvalidName,     // empty, too long or otherwise unusable key or value name
    AccessDenied,    // no permission, read-only file system, or a key opened for reading only
    CorruptKeyFile,  // the key's file cannot be parsed: its values read as missing
    TooLarge,        // the key's file would exceed the size limit
    IoError,         // any other failure of the file system
};

std::string_view statusText(Status status);

}  // namespace orva::registry
