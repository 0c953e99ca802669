#include "registry/Status.h"

namespace orva::registry {

std::string_view statusText(Status status)
{
    switch (status) {
        case Status::Ok:
            return "ok";
        case Status::KeyNotFound:
            return "registry key not found";
        case Status::ValueNotFound:
            return "registry value not found";
        case Status::InvalidName:
            return "invalid registry key or value name";
        case Status::AccessDenied:
            return "access to the registry denied";
        case Status::CorruptKeyFile:
            return "registry key file is corrupt";
        case Status::TooLarge:
            return "registry key file too large";
        case Status::IoError:
            return "registry input/output error";
    }
    return "unknown registry status";
}

}  // namespace orva::registry
