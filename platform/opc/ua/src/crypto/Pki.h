#pragma once
// The certificate store of one server, laid out as OPC UA applications lay it out:
// own/certs, own/private (the key, mode 0600), trusted/certs, trusted/crl, issuer/certs,
// issuer/crl, rejected/certs. The folders are read again at every check, so a certificate an
// administrator moves from rejected/certs to trusted/certs is admitted without a restart.

#include <string>
#include <vector>

#include "crypto/Crypto.h"
#include "opcua/StatusCodes.h"

namespace orva::opcua {

struct OwnCertificate {
    crypto::Bytes der;
    crypto::KeyPtr key;        // private key
    crypto::Bytes thumbprint;  // SHA-1 of der
};

// What the application instance certificate names.
struct CertificateSubject {
    std::string commonName;
    std::string applicationUri;
    std::vector<std::string> dnsNames;
    std::vector<std::string> ipAddresses;
};

class Pki {
public:
    explicit Pki(std::string root) : root_(std::move(root)) {}
    const std::string& root() const { return root_; }

    // Creates the folders that are missing. False with why when it cannot.
    bool makeLayout(std::string& error) const;
    // Loads the server's certificate and key, creating both (RSA 2048, SHA-256, ten years) when
    // there are none.
    bool loadOrCreateOwn(const CertificateSubject& subject, OwnCertificate& own, std::string& error) const;

    // Checks a peer's certificate chain (DER certificates one after the other): Good, or
    // BadCertificateUntrusted (then copied into rejected/certs unless autoAccept),
    // BadCertificateTimeInvalid, BadCertificateRevoked, BadCertificateInvalid, ...
    StatusCode validate(crypto::ByteView chain, bool autoAccept, std::string& detail) const;

    // Administration: the certificates of a folder ("trusted", "rejected") by thumbprint.
    struct Entry {
        std::string thumbprint;
        std::string subject;
        std::string file;
    };
    std::vector<Entry> list(const std::string& folder) const;
    // Moves a rejected (or trusted) certificate by its thumbprint into trusted (or rejected).
    bool move(const std::string& thumbprint, const std::string& toFolder, std::string& error) const;

private:
    std::string root_;
};

// A certificate's SHA-1 thumbprint file name in rejected/certs.
std::string rejectedFileName(crypto::ByteView der);

}  // namespace orva::opcua
