#include "config/ServerKind.h"

#include <algorithm>
#include <cctype>

namespace orva::config {
namespace {

struct KindNames {
    ServerKind kind;
    std::string_view name;
    std::string_view root;
};

constexpr KindNames kKinds[] = {
    {ServerKind::Tornel, "Tornel", "ORVATcpIpS7Cfg"},
    {ServerKind::Vardel, "Vardel", "ORVAS7Cfg"},
    {ServerKind::Lorvik, "Lorvik", "ORVAMpiECfg"},
    {ServerKind::Pennat, "Pennat", "ORVAMPICfg"},
};

const KindNames& namesOf(ServerKind kind)
{
    return *std::find_if(std::begin(kKinds), std::end(kKinds), [&](const auto& k) { return k.kind == kind; });
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::string_view serverKindName(ServerKind kind) { return namesOf(kind).name; }

std::string_view rootElementName(ServerKind kind) { return namesOf(kind).root; }

std::optional<ServerKind> serverKindFromName(std::string_view name)
{
    for (const auto& k : kKinds)
        if (k.name == name) return k.kind;
    return std::nullopt;
}

std::optional<ServerKind> serverKindFromRootElement(std::string_view element)
{
    for (const auto& k : kKinds)
        if (k.root == element) return k.kind;
    return std::nullopt;
}

std::optional<ServerKind> serverKindFromRootElementNoCase(std::string_view element)
{
    for (const auto& k : kKinds)
        if (equalNoCase(k.root, element)) return k.kind;
    return std::nullopt;
}

}  // namespace orva::config
