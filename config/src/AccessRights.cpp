#include "config/AccessRights.h"

namespace orva::config {

uint32_t accessRightsFromName(std::string_view text)
{
    if (text == ACCESS_READ) return ACCESS_READABLE;
    if (text == ACCESS_WRITE) return ACCESS_WRITEABLE;
    if (text == ACCESS_READWRITE) return ACCESS_READABLE | ACCESS_WRITEABLE;
    return 0;
}

std::string_view accessRightsName(uint32_t rights)
{
    switch (rights) {
        case ACCESS_READABLE: return ACCESS_READ;
        case ACCESS_WRITEABLE: return ACCESS_WRITE;
        case ACCESS_READABLE | ACCESS_WRITEABLE: return ACCESS_READWRITE;
        default: return {};
    }
}

}  // namespace orva::config
