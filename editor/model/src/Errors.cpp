#include "editor/Errors.h"

namespace orva::editor {

std::string_view errorDescription(ErrorCode code)
{
    switch (code) {
        case ErrorCode::InvalidCall:
            return "Invalid procedure call or argument";
        case ErrorCode::Overflow:
            return "Overflow";
        case ErrorCode::OutOfMemory:
            return "Out of memory";
        case ErrorCode::TypeMismatch:
            return "Type mismatch";
        case ErrorCode::FileNotFound:
            return "File not found";
        case ErrorCode::DeviceIo:
            return "Device I/O error";
        case ErrorCode::PermissionDenied:
            return "Permission denied";
        case ErrorCode::PathFileAccess:
            return "Path/File access error";
        case ErrorCode::PathNotFound:
            return "Path not found";
        case ErrorCode::ObjectNotSet:
            return "Object variable or With block variable not set";
        case ErrorCode::InvalidUseOfNull:
            return "Invalid use of Null";
        case ErrorCode::DuplicateKey:
            return "This key is already associated with an element of this collection";
        case ErrorCode::XmlNotWellFormed:
            return "XML document is not well formed";
        case ErrorCode::XmlTooDeep:
            return "XML elements nested too deeply";
        case ErrorCode::ElementNotFound:
            return "Element not found";
        case ErrorCode::KeyNotUnique:
            return "Key is not unique in collection";
        case ErrorCode::InvalidName:
            return "Invalid key";
    }
    return "Application-defined or object-defined error";
}

std::string formatError(ErrorCode code, std::string_view routine)
{
    std::string text = " Error n. ";
    text += std::to_string(static_cast<int>(code));
    text += "  ";
    text += errorDescription(code);
    text += " in ";
    text += routine;
    return text;
}

void raise(ErrorCode code, std::string detail)
{
    throw EditorError{code, std::move(detail)};
}

}  // namespace orva::editor
