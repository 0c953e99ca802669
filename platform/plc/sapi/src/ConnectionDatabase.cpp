#include "sapis7/ConnectionDatabase.h"

#include <arpa/inet.h>

#include <charconv>

#include "plc/S7Protocol.h"
#include "plc/Socket.h"
#include "sapis7/SapiErrors.h"

namespace orva::sapis7 {
namespace {

bool parseSmall(std::string_view text, unsigned max, uint8_t& out)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty() || value > max) return false;
    out = static_cast<uint8_t>(value);
    return true;
}

std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t')
            ++i;
        if (i > start) out.push_back(text.substr(start, i - start));
    }
    return out;
}

ConnectionEntry failed(ConnectionEntry entry, int error, std::string problem)
{
    entry.error = error;
    entry.problem = std::move(problem);
    return entry;
}

}  // namespace

ConnectionEntry parseConnectionEntry(std::string_view name, std::string_view text)
{
    ConnectionEntry entry{std::string(name), std::string(text), std::nullopt, 0, {}};
    const auto parts = words(text);
    ConnectionTarget target;
    if (parts.empty() || !plc::parseEndpoint(parts[0], plc::s7::kDefaultPort, target.remote)) {
        return failed(std::move(entry), kSapiBadAddress,
                      "address \"" + (parts.empty() ? std::string() : std::string(parts[0])) +
                          "\" is not a.b.c.d or a.b.c.d:port");
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        const auto equals = part.find('=');
        const std::string_view key = part.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : part.substr(equals + 1);
        if (key == "rack" && parseSmall(value, 7, target.rack)) continue;
        if (key == "slot" && parseSmall(value, 31, target.slot)) continue;
        if (key == "source") {
            sockaddr_in source{};
            source.sin_family = AF_INET;
            const std::string ip(value);
            if (::inet_pton(AF_INET, ip.c_str(), &source.sin_addr) != 1) {
                return failed(std::move(entry), kSapiBadSource,
                              "source \"" + ip + "\" is not an IPv4 address");
            }
            target.source = source;
            continue;
        }
        return failed(std::move(entry), kSapiBadAddress,
                      "\"" + std::string(part) + "\" is not rack=0..7, slot=0..31 or source=IP");
    }
    entry.target = target;
    return entry;
}

DatabaseStatus readInterface(const orva::registry::Registry& registry, std::string_view interfaceName,
                             InterfaceDatabase& out, std::string* detail)
{
    using orva::registry::Status;
    out = {};
    if (interfaceName.empty() || interfaceName.find('\\') != std::string_view::npos)
        return DatabaseStatus::NoInterface;
    std::string keyPath(kDatabaseKeyPrefix);
    keyPath += interfaceName;
    orva::registry::RegistryKey key;
    Status status = registry.openKey(keyPath, key);
    if (status == Status::KeyNotFound || status == Status::InvalidName) return DatabaseStatus::NoInterface;
    std::vector<orva::registry::KeyValue> values;
    if (status == Status::Ok) status = key.readAll(values);
    if (status == Status::KeyNotFound) return DatabaseStatus::NoInterface;
    if (status != Status::Ok) {
        if (detail != nullptr) *detail = std::string(orva::registry::statusText(status));
        return DatabaseStatus::Unreadable;
    }
    out.device = std::string(kDefaultDeviceName);
    for (const auto& value : values) {
        if (value.name.empty()) continue;  // the key's default value is no connection
        if (orva::registry::namesEqual(value.name, kDeviceValueName))
            out.device = value.data;
        else
            out.connections.push_back(parseConnectionEntry(value.name, value.data));
    }
    return DatabaseStatus::Ok;
}

}  // namespace orva::sapis7
