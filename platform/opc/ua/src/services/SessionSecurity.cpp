// The security of sessions: what CreateSession checks of the client, the client's signature in
// ActivateSession, identity tokens (anonymous, user name and password, X.509 user certificates)
// and the slowing down of clients that try passwords.
#include <algorithm>

#include "EngineInternal.h"
#include "crypto/Crypto.h"
#include "crypto/ServerSecurity.h"

namespace orva::opcua {

using crypto::view;

namespace {
constexpr const char* kAnonymousPolicyId = "anonymous";
constexpr const char* kUserNamePolicyId = "username";
constexpr const char* kCertificatePolicyId = "certificate";
constexpr size_t kMaxTrackedAddresses = 4096;

bool secured(const Engine::RequestContext& ctx)
{
    return ctx.security != nullptr && ctx.security->policy->secure;
}

// The delay after the n-th failed logon from one address: doubling from half a second up to 30 s.
std::chrono::milliseconds logonDelay(uint32_t failures)
{
    const uint32_t shift = std::min<uint32_t>(failures, 7);
    return std::min(std::chrono::milliseconds(250 << shift), std::chrono::milliseconds(30000));
}
}  // namespace

StatusCode Engine::checkCreateSession(const RequestContext& ctx, const std::string& applicationUri,
                                      const std::string& clientNonce,
                                      const std::string& clientCertificate) const
{
    if (!secured(ctx)) {
        // Discovery works over an unsecured channel even where no None endpoint is offered;
        // sessions do not.
        if (security_ && !security_->offers(policyNone())) return status::BadSecurityPolicyRejected;
        return status::Good;
    }
    if (clientNonce.size() < 32) return status::BadNonceInvalid;
    size_t used = 0;
    const crypto::CertPtr leaf = crypto::parseCertificate(view(clientCertificate), &used);
    if (!leaf ||
        !crypto::equalConstantTime(view(clientCertificate).first(used), ctx.security->clientCertificate))
        return status::BadSecurityChecksFailed;
    const auto uris = crypto::certificateUris(leaf.get());
    if (std::find(uris.begin(), uris.end(), applicationUri) == uris.end())
        return status::BadCertificateUriInvalid;
    return status::Good;
}

StatusCode Engine::checkClientSignature(const RequestContext& ctx, const Session& s,
                                        const std::string& algorithm, const std::string& signature) const
{
    if (!secured(ctx)) {
        // A session made on a secured channel is not taken over from an unsecured one.
        return s.clientCertificate.empty() ? status::Good : status::BadSecurityChecksFailed;
    }
    const auto& channelCertificate = ctx.security->clientCertificate;
    if (!crypto::equalConstantTime(view(s.clientCertificate), channelCertificate))
        return status::BadApplicationSignatureInvalid;
    const SecurityPolicy& p = *ctx.security->policy;
    if (algorithm != p.asymmetricSignatureUri) return status::BadApplicationSignatureInvalid;
    const auto cert = crypto::parseCertificate(channelCertificate);
    const crypto::KeyPtr key = crypto::publicKey(cert.get());
    crypto::Bytes data = security_->own.der;
    data.insert(data.end(), s.serverNonce.begin(), s.serverNonce.end());
    return crypto::rsaVerify(key.get(), p.asymmetricSignature, data, view(signature))
               ? status::Good
               : status::BadApplicationSignatureInvalid;
}

StatusCode Engine::logon(const RequestContext& ctx, Session& s, const ExtensionObject& token,
                         const std::pair<std::string, std::string>& tokenSignature)
{
    const bool nullToken = token.typeId.isNull() && token.encoding == 0;
    const bool anonymous = nullToken || token.typeId.isNumeric(svc::AnonymousIdentityToken) ||
                           token.typeId.isNumeric(svc::AnonymousIdentityTokenType);
    if (anonymous) {
        if (!nullToken) {
            Reader r(view(token.body));
            const std::string policyId = r.string();
            if (!r.ok()) return status::BadIdentityTokenInvalid;
            if (security_ && policyId != kAnonymousPolicyId) return status::BadIdentityTokenInvalid;
        }
        const Access access = security_ ? security_->anonymous : Access::Write;
        if (access == Access::None) return status::BadIdentityTokenRejected;
        s.access = access;
        return status::Good;
    }
    if (token.typeId.isNumeric(svc::UserNameIdentityToken) && token.encoding == 1 && security_ &&
        security_->users.configured()) {
        Reader r(view(token.body));
        return userNameLogon(ctx, s, r);
    }
    if (token.typeId.isNumeric(svc::X509IdentityToken) && token.encoding == 1 && security_ &&
        security_->users.configured() && security_->pki) {
        Reader r(view(token.body));
        return certificateLogon(ctx, s, r, tokenSignature);
    }
    return status::BadIdentityTokenRejected;
}

StatusCode Engine::certificateLogon(const RequestContext& ctx, Session& s, Reader& r,
                                    const std::pair<std::string, std::string>& tokenSignature)
{
    const std::string policyId = r.string();
    const std::string certificate = r.byteString();
    if (!r.ok() || policyId != kCertificatePolicyId) return status::BadIdentityTokenInvalid;
    size_t used = 0;
    const crypto::CertPtr cert = crypto::parseCertificate(view(certificate), &used);
    const crypto::KeyPtr key = crypto::publicKey(cert.get());
    if (!cert || !key || used != certificate.size()) return status::BadIdentityTokenInvalid;
    // The endpoint offers user certificates on secured channels only; the signature proves the
    // client holds the certificate's key for this very session.
    if (!secured(ctx)) return status::BadIdentityTokenRejected;
    const SecurityPolicy& p = *ctx.security->policy;
    crypto::Bytes signedData = security_->own.der;
    signedData.insert(signedData.end(), s.serverNonce.begin(), s.serverNonce.end());
    if (tokenSignature.first != p.asymmetricSignatureUri ||
        !crypto::rsaVerify(key.get(), p.asymmetricSignature, signedData, view(tokenSignature.second)))
        return status::BadUserSignatureInvalid;
    std::string detail;
    const StatusCode trust = security_->pki->validateUser(view(certificate), detail);
    const std::string thumbprint = crypto::hex(crypto::sha1(view(certificate)));
    if (isBad(trust)) {
        if (security_->log) security_->log("user certificate " + thumbprint + " refused: " + detail);
        return status::BadIdentityTokenRejected;
    }
    const auto access = security_->users.checkCertificate(thumbprint);
    if (!access || *access == Access::None) {
        if (security_->log) security_->log("user certificate " + thumbprint + " names no user");
        return status::BadUserAccessDenied;
    }
    s.access = *access;
    return status::Good;
}

StatusCode Engine::userNameLogon(const RequestContext& ctx, Session& s, Reader& r)
{
    const std::string policyId = r.string();
    const std::string userName = r.string();
    const std::string secret = r.byteString();
    const std::string algorithm = r.string();
    if (!r.ok() || policyId != kUserNamePolicyId) return status::BadIdentityTokenInvalid;

    std::string password;
    if (algorithm.empty()) {
        // A password in clear text only travels inside an encrypted channel.
        if (ctx.security == nullptr || ctx.security->mode != SecurityMode::SignAndEncrypt)
            return status::BadIdentityTokenRejected;
        password = secret;
    } else {
        const SecurityPolicy* p = nullptr;
        for (const auto& candidate : allPolicies())
            if (candidate.secure && candidate.asymmetricEncryptionUri == algorithm) p = &candidate;
        if (p == nullptr || !security_->own.key) return status::BadIdentityTokenInvalid;
        crypto::Bytes plain;
        if (!crypto::rsaDecrypt(security_->own.key.get(), p->asymmetricEncryption, view(secret), plain) ||
            plain.size() < 4)
            return status::BadIdentityTokenInvalid;
        Reader pr(plain);
        const uint32_t length = pr.u32();
        const size_t nonceSize = s.serverNonce.size();
        if (length != plain.size() - 4 || length < nonceSize ||
            !crypto::equalConstantTime(crypto::ByteView(plain).subspan(4 + length - nonceSize),
                                       view(s.serverNonce)))
            return status::BadIdentityTokenInvalid;
        password.assign(plain.begin() + 4, plain.begin() + 4 + static_cast<ptrdiff_t>(length - nonceSize));
    }

    // Each failed logon from an address makes that address wait longer before the next is tried;
    // other addresses are not affected.
    const std::string address = ctx.security != nullptr ? ctx.security->peerAddress : std::string();
    const auto now = Clock::now();
    auto failed = failedLogons_.find(address);
    if (failed != failedLogons_.end() && now < failed->second.notBefore) return status::BadUserAccessDenied;
    const auto access = security_->users.check(userName, password);
    if (!access || *access == Access::None) {
        if (failedLogons_.size() >= kMaxTrackedAddresses) {
            std::erase_if(failedLogons_,
                          [&](const auto& e) { return e.second.notBefore + logonDelay(8) < now; });
            if (failedLogons_.size() >= kMaxTrackedAddresses) failedLogons_.erase(failedLogons_.begin());
        }
        FailedLogons& f = failedLogons_[address];
        f.notBefore = now + logonDelay(f.count++);
        if (security_->log) security_->log("logon of user \"" + userName + "\" from " + address + " refused");
        return status::BadUserAccessDenied;
    }
    if (failed != failedLogons_.end()) failedLogons_.erase(failed);
    s.access = *access;
    return status::Good;
}

}  // namespace orva::opcua
