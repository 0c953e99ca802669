#include "ConfigAddresses.h"

#include <pugixml.hpp>

#include "sapis7/ConnectionDatabase.h"

namespace orva::plcsim {

orva::config::ServerKind configKind(std::string_view bytes)
{
    pugi::xml_document document;
    if (!document.load_buffer(bytes.data(), bytes.size())) return orva::config::ServerKind::Tornel;
    const auto kind = orva::config::serverKindFromRootElement(document.document_element().name());
    return kind.value_or(orva::config::ServerKind::Tornel);
}

std::string connectionAddress(const std::string& interfaceName, const std::string& plcName)
{
    sapis7::InterfaceDatabase database;
    if (sapis7::readInterface(orva::registry::Registry::machine(), interfaceName, database) !=
        sapis7::DatabaseStatus::Ok) {
        return {};
    }
    for (const auto& connection : database.connections) {
        if (!orva::registry::namesEqual(connection.name, plcName)) continue;
        // The address is the value's first word: "ADDRESS[:PORT] [rack=R] ...".
        const auto begin = connection.text.find_first_not_of(" \t");
        if (begin == std::string::npos) return {};
        return connection.text.substr(begin, connection.text.find_first_of(" \t", begin) - begin);
    }
    return {};
}

}  // namespace orva::plcsim
