// Discovery services: FindServers and GetEndpoints, with the one endpoint the server offers.
#include <algorithm>

#include "EndpointUrl.h"
#include "EngineInternal.h"

namespace opcua {

namespace {
constexpr const char* kTransportProfile = "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";
constexpr const char* kAnonymousPolicyId = "anonymous";
}  // namespace

std::string Engine::endpointUrlFor(const RequestContext& ctx, std::string_view requested) const
{
    return opcua::endpointUrlFor(info_.endpointUrl, requested.empty() ? ctx.endpointUrl : requested);
}

void Engine::writeApplicationDescription(Writer& w, std::string_view url) const
{
    w.string(info_.applicationUri);
    w.string(info_.productUri);
    w.localizedText(LocalizedText{"", info_.applicationName});
    w.i32(0);  // server
    w.nullString();
    w.nullString();
    w.arrayLength(1);
    w.string(url);  // discovery URL
}

void Engine::writeEndpoint(Writer& w, std::string_view url) const
{
    w.string(url);
    writeApplicationDescription(w, url);
    w.nullString();  // server certificate
    w.i32(1);        // MessageSecurityMode None
    w.string(kSecurityPolicyNone);
    w.arrayLength(1);  // user token policies
    w.string(kAnonymousPolicyId);
    w.i32(0);  // anonymous
    w.nullString();
    w.nullString();
    w.nullString();
    w.string(kTransportProfile);
    w.u8(0);  // security level
}

void Engine::findServers(RequestContext& ctx, Reader& r)
{
    const std::string requested = r.string();
    skipStringArray(r);
    skipStringArray(r);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    const std::string url = endpointUrlFor(ctx, requested);
    sendResponse(ctx, svc::FindServers, [&](Writer& w) {
        w.arrayLength(1);
        writeApplicationDescription(w, url);
    });
}

void Engine::getEndpoints(RequestContext& ctx, Reader& r)
{
    const std::string requested = r.string();
    skipStringArray(r);
    const auto profiles = r.array<std::string>([](Reader& x) { return x.string(); }, 4);
    if (!r.ok()) return sendFault(ctx, status::BadDecodingError);
    const bool offered =
        profiles.empty() || std::find(profiles.begin(), profiles.end(), kTransportProfile) != profiles.end();
    const std::string url = endpointUrlFor(ctx, requested);
    sendResponse(ctx, svc::GetEndpoints, [&](Writer& w) {
        w.arrayLength(offered ? 1 : 0);
        if (offered) writeEndpoint(w, url);
    });
}

}  // namespace opcua
