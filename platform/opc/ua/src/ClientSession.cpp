// The client's side of session security: its certificate, the endpoints a server describes, the
// check of the server's certificate, and CreateSession / ActivateSession with signatures and user
// identity tokens.
#include <unistd.h>

#include <algorithm>

#include "ClientSecurityState.h"
#include "EngineInternal.h"
#include "crypto/Pki.h"

namespace orva::opcua {

using crypto::text;
using crypto::view;

namespace {
constexpr uint32_t kCreateSession = 461, kCreateSessionResponse = 464, kActivateSession = 467,
                   kActivateSessionResponse = 470, kGetEndpoints = 428, kAnonymousToken = 321,
                   kUserNameToken = 324;

bool toClientCertificate(OwnCertificate& own, ClientCertificate& out, std::string& error)
{
    const crypto::CertPtr cert = crypto::parseCertificate(own.der);
    const auto uris = crypto::certificateUris(cert.get());
    if (uris.empty()) {
        error = "the client certificate names no application URI";
        return false;
    }
    out.der = own.der;
    out.key = std::shared_ptr<evp_pkey_st>(own.key.release(), crypto::KeyFree{});
    out.applicationUri = uris.front();
    return true;
}

// The token policy of the endpoint the channel uses that takes the identity's kind of token.
const UserTokenPolicy* tokenPolicyFor(const std::vector<EndpointDescription>& endpoints,
                                      const std::string& policyUri, int32_t mode, UserTokenType type)
{
    for (const auto& e : endpoints) {
        if (e.securityPolicyUri != policyUri || e.securityMode != mode) continue;
        for (const auto& t : e.userTokens)
            if (t.type == type) return &t;
    }
    return nullptr;
}
}  // namespace

bool loadClientCertificate(const std::string& certificateFile, const std::string& keyFile,
                           ClientCertificate& out, std::string& error)
{
    OwnCertificate own;
    return loadOwnCertificate(certificateFile, keyFile, own, error) && toClientCertificate(own, out, error);
}

bool loadOrCreateClientCertificate(const std::string& folder, const std::string& name,
                                   const std::string& applicationUri, ClientCertificate& out,
                                   std::string& error)
{
    CertificateSubject subject;
    subject.commonName = name;
    subject.applicationUri = applicationUri;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0] != 0) subject.dnsNames.emplace_back(host);
    OwnCertificate own;
    return Pki(folder).loadOrCreateOwn(subject, own, error, name) && toClientCertificate(own, out, error);
}

StatusCode checkServerCertificate(const std::string& folder, const std::vector<uint8_t>& certificate,
                                  bool trustOnFirstUse, std::string& detail)
{
    const Pki pki(folder);
    if (!pki.makeLayout(detail)) return status::BadInternalError;
    const StatusCode verdict = pki.validate(certificate, false, detail);
    if (verdict != status::BadCertificateUntrusted || !trustOnFirstUse) return verdict;
    std::string error;
    if (!pki.move(crypto::hex(crypto::sha1(certificate)), "trusted", error)) {
        detail = error;
        return verdict;
    }
    detail += " (now trusted)";
    return status::Good;
}

std::vector<EndpointDescription> readEndpointDescriptions(Reader& r)
{
    std::vector<EndpointDescription> out;
    const size_t endpoints = r.arrayLength(64);
    for (size_t i = 0; i < endpoints && r.ok(); ++i) {
        EndpointDescription e;
        e.url = r.string();
        r.string();  // server: application URI, product URI, name, type, gateway, profile, URLs
        r.string();
        r.localizedText();
        r.i32();
        r.string();
        r.string();
        r.array<std::string>([](Reader& x) { return x.string(); }, 16);
        const std::string certificate = r.byteString();
        e.serverCertificate.assign(certificate.begin(), certificate.end());
        e.securityMode = r.i32();
        e.securityPolicyUri = r.string();
        const size_t tokens = r.arrayLength(16);
        for (size_t t = 0; t < tokens && r.ok(); ++t) {
            UserTokenPolicy token;
            token.policyId = r.string();
            token.type = static_cast<UserTokenType>(r.i32());
            r.string();  // issued token type
            r.string();  // issuer endpoint
            token.securityPolicyUri = r.string();
            e.userTokens.push_back(std::move(token));
        }
        r.string();  // transport profile
        r.u8();      // security level
        if (r.ok()) out.push_back(std::move(e));
    }
    return out;
}

std::string certificateThumbprint(const std::vector<uint8_t>& der)
{
    return crypto::hex(crypto::sha1(der));
}

std::string securityPolicyName(const std::string& uri)
{
    const SecurityPolicy* p = policyByUri(uri);
    return p != nullptr ? std::string(p->name) : uri;
}

std::string securityPolicyUri(const std::string& name)
{
    const SecurityPolicy* p = policyByName(name);
    return p != nullptr ? std::string(p->uri) : std::string();
}

std::optional<std::vector<EndpointDescription>> TcpClient::endpoints(const std::string& url)
{
    const auto r = call(makeRequest(kGetEndpoints, NodeId{}, 9, [&](Writer& w) {
        w.string(url);
        w.nullArray();
        w.nullArray();
    }));
    if (!r || isBad(r->serviceResult)) {
        if (r) lastError = r->serviceResult;
        return std::nullopt;
    }
    Reader rd = r->body();
    endpoints_ = readEndpointDescriptions(rd);
    if (!rd.ok()) return std::nullopt;
    return endpoints_;
}

std::optional<NodeId> TcpClient::session(const UserIdentity& identity, std::string& error)
{
    Security* sec = security_.get();
    CreateSessionFields fields;
    fields.endpointUrl = endpointUrl;
    // A fresh nonce for every session, also unsecured: servers refuse one they have seen before.
    const crypto::Bytes clientNonce = crypto::randomBytes(32);
    fields.nonce = text(clientNonce);
    if (sec) {
        fields.certificate = text(sec->own.der);
        fields.applicationUri = sec->own.applicationUri;
    }
    const auto created =
        call(makeRequest(kCreateSession, NodeId{}, 10, [&](Writer& w) { writeCreateSession(w, fields); }));
    if (!created || created->typeId != kCreateSessionResponse || isBad(created->serviceResult)) {
        if (created) lastError = created->serviceResult;
        error = "CreateSession";
        return std::nullopt;
    }
    Reader r = created->body();
    r.nodeId();
    const NodeId token = r.nodeId();
    r.f64();  // revised timeout
    const std::string serverNonce = r.byteString();
    const std::string serverCertificate = r.byteString();
    std::vector<EndpointDescription> endpoints = readEndpointDescriptions(r);
    skipSoftwareCertificates(r);
    r.string();  // the server's signature algorithm: the channel's policy says it
    const std::string serverSignature = r.byteString();
    if (!r.ok()) {
        error = "CreateSession response unreadable";
        return std::nullopt;
    }
    if (endpoints.empty()) endpoints = endpoints_;

    std::string signatureAlgorithm;
    crypto::Bytes signature;
    if (sec) {
        // The server proves it holds its key by signing our certificate and nonce.
        crypto::Bytes signedData = sec->own.der;
        signedData.insert(signedData.end(), clientNonce.begin(), clientNonce.end());
        if (!crypto::equalConstantTime(view(serverCertificate), sec->serverCertificate) ||
            !crypto::rsaVerify(sec->serverKey.get(), sec->policy->asymmetricSignature, signedData,
                               view(serverSignature))) {
            error = "the server's CreateSession signature does not match its certificate";
            return std::nullopt;
        }
        crypto::Bytes data = sec->serverCertificate;
        data.insert(data.end(), serverNonce.begin(), serverNonce.end());
        if (!crypto::rsaSign(sec->own.key.get(), sec->policy->asymmetricSignature, data, signature)) {
            error = "cannot sign with the client key";
            return std::nullopt;
        }
        signatureAlgorithm = sec->policy->asymmetricSignatureUri;
    }

    const std::string channelPolicy = sec ? std::string(sec->policy->uri) : std::string(kSecurityPolicyNone);
    const int32_t channelMode = sec ? static_cast<int32_t>(sec->mode) : 1;
    const UserTokenPolicy* tokenPolicy = tokenPolicyFor(endpoints, channelPolicy, channelMode, identity.type);
    ExtensionObject tokenObject;
    tokenObject.encoding = 1;
    std::vector<uint8_t> body;
    Writer tw(body);
    if (identity.type == UserTokenType::Anonymous) {
        tokenObject.typeId = NodeId::num(kAnonymousToken);
        tw.string(tokenPolicy != nullptr ? tokenPolicy->policyId : "anonymous");
    } else if (identity.type == UserTokenType::UserName) {
        if (tokenPolicy == nullptr) {
            error = "the endpoint takes no user name tokens";
            return std::nullopt;
        }
        tokenObject.typeId = NodeId::num(kUserNameToken);
        const SecurityPolicy* tokenSecurity = policyByUri(
            tokenPolicy->securityPolicyUri.empty() ? channelPolicy : tokenPolicy->securityPolicyUri);
        tw.string(tokenPolicy->policyId);
        tw.string(identity.userName);
        if (tokenSecurity != nullptr && tokenSecurity->secure) {
            // Length, password and the server's nonce, encrypted with the server certificate's key.
            const crypto::CertPtr cert = crypto::parseCertificate(view(serverCertificate));
            const crypto::KeyPtr key = crypto::publicKey(cert.get());
            crypto::Bytes plain;
            Writer pw(plain);
            pw.u32(static_cast<uint32_t>(identity.password.size() + serverNonce.size()));
            pw.bytes(view(identity.password));
            pw.bytes(view(serverNonce));
            crypto::Bytes secret;
            if (!key || !crypto::rsaEncrypt(key.get(), tokenSecurity->asymmetricEncryption, plain, secret)) {
                error = "cannot encrypt the password with the server's certificate";
                return std::nullopt;
            }
            tw.byteString(text(secret));
            tw.string(tokenSecurity->asymmetricEncryptionUri);
        } else if (tokenSecurity != nullptr && sec && sec->mode == SecurityMode::SignAndEncrypt) {
            tw.byteString(identity.password);  // in clear, inside the encrypted channel
            tw.nullString();
        } else {
            error = "the endpoint would take the password unencrypted over a channel that is not encrypted";
            return std::nullopt;
        }
    } else {
        error = "this kind of user token is not supported";
        return std::nullopt;
    }
    tokenObject.body.assign(body.begin(), body.end());
    const auto activated = call(makeRequest(kActivateSession, token, 11, [&](Writer& w) {
        writeActivateSession(w, signatureAlgorithm, signature, tokenObject);
    }));
    if (!activated || activated->typeId != kActivateSessionResponse || isBad(activated->serviceResult)) {
        if (activated) lastError = activated->serviceResult;
        error = "ActivateSession";
        return std::nullopt;
    }
    return token;
}

}  // namespace orva::opcua
