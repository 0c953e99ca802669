#include "EndpointUrl.h"

#include <algorithm>
#include <cctype>

namespace orva::opcua {

namespace {
constexpr std::string_view kScheme = "opc.tcp://";
constexpr size_t kMaxHostLength = 253;

bool startsWithScheme(std::string_view url)
{
    if (url.size() < kScheme.size()) return false;
    for (size_t i = 0; i < kScheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
    return true;
}

// The host part of an opc.tcp URL ("[::1]" keeps its brackets); empty when there is none.
std::string_view hostOf(std::string_view url)
{
    if (!startsWithScheme(url)) return {};
    const std::string_view rest = url.substr(kScheme.size());
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        return close == std::string_view::npos ? std::string_view{} : rest.substr(0, close + 1);
    }
    return rest.substr(0, std::min(rest.find(':'), rest.find('/')));
}

bool plainHost(std::string_view host)
{
    if (host.empty() || host.size() > kMaxHostLength) return false;
    if (host.front() == '[') {
        const std::string_view inner = host.substr(1, host.size() - 2);
        return !inner.empty() && std::all_of(inner.begin(), inner.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
        });
    }
    return std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}
}  // namespace

std::string endpointUrlFor(std::string_view own, std::string_view requested)
{
    const std::string_view ownHost = hostOf(own);
    const std::string_view host = hostOf(requested);
    if (ownHost.empty() || !plainHost(host)) return std::string(own);
    std::string out(kScheme);
    out += host;
    out += own.substr(kScheme.size() + ownHost.size());
    return out;
}

}  // namespace orva::opcua
