// Discovery services: FindServers and GetEndpoints, with every endpoint (security policy and mode)
// the server offers and the user tokens each one takes.
#include <algorithm>

#include "EndpointUrl.h"
#include "EngineInternal.h"
#include "crypto/ServerSecurity.h"

namespace orva::opcua {

namespace {
constexpr const char* kTransportProfile = "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";
constexpr const char* kAnonymousPolicyId = "anonymous";
constexpr const char* kUserNamePolicyId = "username";
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
    writeEndpoint(w, url, policyNone(), SecurityMode::None);
}

void Engine::writeEndpoint(Writer& w, std::string_view url, const SecurityPolicy& policy,
                           SecurityMode mode) const
{
    w.string(url);
    writeApplicationDescription(w, url);
    if (security_ && !security_->own.der.empty())
        w.byteString(std::string_view(reinterpret_cast<const char*>(security_->own.der.data()),
                                      security_->own.der.size()));
    else
        w.nullString();
    w.i32(static_cast<int32_t>(mode));
    w.string(policy.uri);
    const bool anonymous = !security_ || security_->anonymous != Access::None;
    // User names on an unsecured endpoint only with the password encrypted by a secure policy.
    const SecurityPolicy* passwordPolicy = nullptr;
    if (security_ && security_->users.configured()) {
        if (policy.secure) {
            passwordPolicy = &policy;
        } else {
            for (const SecurityPolicy* p : security_->policies)
                if (p->secure) passwordPolicy = p;
        }
    }
    w.arrayLength((anonymous ? 1 : 0) + (passwordPolicy != nullptr ? 1 : 0));
    if (anonymous) {
        w.string(kAnonymousPolicyId);
        w.i32(0);  // anonymous
        w.nullString();
        w.nullString();
        w.nullString();
    }
    if (passwordPolicy != nullptr) {
        w.string(kUserNamePolicyId);
        w.i32(1);  // user name
        w.nullString();
        w.nullString();
        if (passwordPolicy == &policy)
            w.nullString();  // the endpoint's own policy
        else
            w.string(passwordPolicy->uri);
    }
    w.string(kTransportProfile);
    // Stronger protection ranks higher.
    uint8_t level = 0;
    if (policy.secure) {
        level = mode == SecurityMode::SignAndEncrypt ? 20 : 10;
        if (policy.name == "Aes256_Sha256_RsaPss")
            level += 3;
        else if (policy.name == "Basic256Sha256")
            level += 2;
        else
            level += 1;
    }
    w.u8(level);
}

size_t Engine::endpointCount() const
{
    if (!security_) return 1;
    size_t n = 0;
    for (const SecurityPolicy* p : security_->policies)
        n += p->secure ? 2 : 1;
    return n;
}

void Engine::writeEndpoints(Writer& w, std::string_view url) const
{
    w.arrayLength(endpointCount());
    if (!security_) return writeEndpoint(w, url);
    for (const SecurityPolicy* p : security_->policies) {
        if (!p->secure) {
            writeEndpoint(w, url, *p, SecurityMode::None);
            continue;
        }
        writeEndpoint(w, url, *p, SecurityMode::Sign);
        writeEndpoint(w, url, *p, SecurityMode::SignAndEncrypt);
    }
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
        if (offered)
            writeEndpoints(w, url);
        else
            w.emptyArray();
    });
}

}  // namespace orva::opcua
