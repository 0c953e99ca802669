#include "net/HostAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>

namespace orva::opcua {

namespace {
struct IfAddrsFree {
    void operator()(ifaddrs* a) const { freeifaddrs(a); }
};

void addUnique(std::vector<std::string>& out, std::string address)
{
    if (std::find(out.begin(), out.end(), address) == out.end()) out.push_back(std::move(address));
}
}  // namespace

std::vector<std::string> certificateAddresses(const std::string& listeningAddress)
{
    const bool any4 = listeningAddress == "0.0.0.0";
    const bool any6 = listeningAddress == "::";
    if (!any4 && !any6) return {listeningAddress};
    std::vector<std::string> out{"127.0.0.1"};
    if (any6) out.emplace_back("::1");
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    const std::unique_ptr<ifaddrs, IfAddrsFree> owner(list);
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || (a->ifa_flags & IFF_UP) == 0) continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (a->ifa_addr->sa_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
            if (inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text) != nullptr) addUnique(out, text);
        } else if (a->ifa_addr->sa_family == AF_INET6 && any6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(a->ifa_addr);
            // A link-local address needs its interface to be reached; a certificate cannot name that.
            if (IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr)) continue;
            if (inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text) != nullptr) addUnique(out, text);
        }
    }
    return out;
}

}  // namespace orva::opcua
