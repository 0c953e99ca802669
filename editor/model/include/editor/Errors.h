#pragma once
// Error numbers and descriptions of the editor, in the style of the runtime the editor's users
// know, and the one-line form in which a failed action reports them:
// " Error n. <number>  <description> in <routine>".

#include <string>
#include <string_view>

namespace orva::editor {

enum class ErrorCode : int {
    InvalidCall = 5,           // "Invalid procedure call or argument"
    Overflow = 6,              // "Overflow"
    OutOfMemory = 7,           // "Out of memory"
    TypeMismatch = 13,         // "Type mismatch"
    FileNotFound = 53,         // "File not found"
    DeviceIo = 57,             // "Device I/O error"
    PermissionDenied = 70,     // "Permission denied"
    PathFileAccess = 75,       // "Path/File access error"
    PathNotFound = 76,         // "Path not found"
    ObjectNotSet = 91,         // "Object variable or With block variable not set"
    InvalidUseOfNull = 94,     // "Invalid use of Null"
    DuplicateKey = 457,        // "This key is already associated with an element of this collection"
    XmlNotWellFormed = 31037,  // "XML document is not well formed"
    XmlTooDeep = 31038,        // "XML elements nested too deeply"
    ElementNotFound = 35601,   // "Element not found"
    KeyNotUnique = 35602,      // "Key is not unique in collection"
    InvalidName = 35603,       // "Invalid key"
};

std::string_view errorDescription(ErrorCode code);

// " Error n. 457  This key is already associated with an element of this collection in BrowsePlc"
std::string formatError(ErrorCode code, std::string_view routine);

// Raised inside the model's routines and caught at the routine's boundary, where it becomes the
// message above; it never leaves the library.
struct EditorError {
    ErrorCode code;
    std::string detail;  // optional extra text after the description, e.g. the parser's reason
};

[[noreturn]] void raise(ErrorCode code, std::string detail = {});

}  // namespace orva::editor
