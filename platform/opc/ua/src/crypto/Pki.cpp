#include "crypto/Pki.h"

#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace orva::opcua {

namespace fs = std::filesystem;
using crypto::Bytes;

namespace {
constexpr const char* kFolders[] = {"own/certs",    "own/private", "trusted/certs", "trusted/crl",
                                    "issuer/certs", "issuer/crl",  "rejected/certs"};

struct StoreFree {
    void operator()(X509_STORE* s) const { X509_STORE_free(s); }
    void operator()(X509_STORE_CTX* s) const { X509_STORE_CTX_free(s); }
    void operator()(STACK_OF(X509) * s) const { sk_X509_pop_free(s, X509_free); }
    void operator()(X509_CRL* c) const { X509_CRL_free(c); }
    void operator()(BIO* b) const { BIO_free(b); }
};

Bytes readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool writeFile(const fs::path& path, crypto::ByteView data, mode_t mode)
{
    const fs::path temp = path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        ::chmod(temp.c_str(), mode);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        if (!out) return false;
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    return !ec;
}

// Certificates of a folder, DER or PEM.
std::vector<crypto::CertPtr> loadCertificates(const fs::path& folder)
{
    std::vector<crypto::CertPtr> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (!e.is_regular_file(ec)) continue;
        const Bytes data = readFile(e.path());
        if (auto cert = crypto::parseCertificate(data)) {
            out.push_back(std::move(cert));
            continue;
        }
        std::unique_ptr<BIO, StoreFree> bio(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
        if (X509* cert = bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr)
            out.emplace_back(cert);
    }
    return out;
}

void addCrls(X509_STORE* store, const fs::path& folder, bool& any)
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (!e.is_regular_file(ec)) continue;
        const Bytes data = readFile(e.path());
        const unsigned char* p = data.data();
        X509_CRL* crl = d2i_X509_CRL(nullptr, &p, static_cast<long>(data.size()));
        if (crl == nullptr) {
            std::unique_ptr<BIO, StoreFree> bio(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
            crl = bio ? PEM_read_bio_X509_CRL(bio.get(), nullptr, nullptr, nullptr) : nullptr;
        }
        if (crl == nullptr) continue;
        X509_STORE_add_crl(store, crl);
        X509_CRL_free(crl);
        any = true;
    }
}

// A CA without a revocation list is not a reason to refuse; a list that names the certificate is.
int verifyCallback(int ok, X509_STORE_CTX* ctx)
{
    if (ok != 0) return ok;
    const int error = X509_STORE_CTX_get_error(ctx);
    return error == X509_V_ERR_UNABLE_TO_GET_CRL ? 1 : 0;
}

StatusCode statusOf(int error)
{
    switch (error) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
        case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
        case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
            return status::BadCertificateTimeInvalid;
        case X509_V_ERR_CERT_REVOKED:
            return status::BadCertificateRevoked;
        case X509_V_ERR_CRL_HAS_EXPIRED:
        case X509_V_ERR_CRL_NOT_YET_VALID:
        case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
            return status::BadCertificateRevocationUnknown;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            return status::BadCertificateUntrusted;
        default:
            return status::BadCertificateInvalid;
    }
}

std::string subjectOf(X509* cert)
{
    char buffer[256] = {};
    X509_NAME_oneline(X509_get_subject_name(cert), buffer, sizeof buffer);
    return buffer;
}

bool addExtension(X509* cert, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (ext == nullptr) return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

bool createOwn(const CertificateSubject& subject, OwnCertificate& own)
{
    crypto::KeyPtr key(EVP_RSA_gen(2048));
    crypto::CertPtr cert(X509_new());
    if (!key || !cert) return false;
    X509* c = cert.get();
    X509_set_version(c, 2);
    const Bytes serial = crypto::randomBytes(16);
    BIGNUM* bn = BN_bin2bn(serial.data(), static_cast<int>(serial.size()), nullptr);
    BN_set_bit(bn, 0);
    BN_clear_bit(bn, 127);  // positive
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(c));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(c), -24 * 3600);
    X509_gmtime_adj(X509_getm_notAfter(c), 10L * 365 * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(c);
    const auto cn = reinterpret_cast<const unsigned char*>(subject.commonName.c_str());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, cn, -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("ORVA Automation"), -1, -1, 0);
    X509_set_issuer_name(c, name);
    X509_set_pubkey(c, key.get());
    std::string san = "URI:" + subject.applicationUri;
    for (const auto& d : subject.dnsNames)
        san += ",DNS:" + d;
    for (const auto& ip : subject.ipAddresses)
        san += ",IP:" + ip;
    if (!addExtension(c, NID_basic_constraints, "critical,CA:FALSE") ||
        !addExtension(
            c, NID_key_usage,
            "critical,digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,keyCertSign") ||
        !addExtension(c, NID_ext_key_usage, "serverAuth,clientAuth") ||
        !addExtension(c, NID_subject_key_identifier, "hash") ||
        !addExtension(c, NID_authority_key_identifier, "keyid:always") ||
        !addExtension(c, NID_subject_alt_name, san))
        return false;
    if (X509_sign(c, key.get(), EVP_sha256()) <= 0) return false;
    own.der = crypto::certificateDer(c);
    own.thumbprint = crypto::sha1(own.der);
    own.key = std::move(key);
    return true;
}
}  // namespace

std::string rejectedFileName(crypto::ByteView der)
{
    return crypto::hex(crypto::sha1(der)) + ".der";
}

bool Pki::makeLayout(std::string& error) const
{
    for (const char* f : kFolders) {
        std::error_code ec;
        fs::create_directories(fs::path(root_) / f, ec);
        if (ec) {
            error = "cannot create " + (fs::path(root_) / f).string() + ": " + ec.message();
            return false;
        }
    }
    ::chmod((fs::path(root_) / "own/private").c_str(), 0700);
    return true;
}

bool Pki::loadOrCreateOwn(const CertificateSubject& subject, OwnCertificate& own, std::string& error) const
{
    if (!makeLayout(error)) return false;
    const fs::path certPath = fs::path(root_) / "own/certs/server.der";
    const fs::path keyPath = fs::path(root_) / "own/private/server.pem";
    std::error_code ec;
    if (fs::exists(certPath, ec) && fs::exists(keyPath, ec)) {
        own.der = readFile(certPath);
        const Bytes pem = readFile(keyPath);
        std::unique_ptr<BIO, StoreFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
        own.key.reset(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
        const auto cert = crypto::parseCertificate(own.der);
        if (!cert || !own.key || X509_check_private_key(cert.get(), own.key.get()) != 1) {
            error = "the certificate in " + certPath.string() + " and the key in " + keyPath.string() +
                    " are unreadable or do not belong together";
            return false;
        }
        own.thumbprint = crypto::sha1(own.der);
        return true;
    }
    if (!createOwn(subject, own)) {
        error = "cannot create the application instance certificate";
        return false;
    }
    std::unique_ptr<BIO, StoreFree> bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_PrivateKey(bio.get(), own.key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    const Bytes pem(data, data + n);
    if (!writeFile(keyPath, pem, 0600) || !writeFile(certPath, own.der, 0644)) {
        error = "cannot write the certificate and key into " + root_;
        return false;
    }
    return true;
}

StatusCode Pki::validate(crypto::ByteView chain, bool autoAccept, std::string& detail) const
{
    size_t used = 0;
    crypto::CertPtr leaf = crypto::parseCertificate(chain, &used);
    if (!leaf) {
        detail = "not a certificate";
        return status::BadCertificateInvalid;
    }
    std::unique_ptr<STACK_OF(X509), StoreFree> untrusted(sk_X509_new_null());
    for (size_t at = used; at < chain.size();) {
        size_t n = 0;
        crypto::CertPtr next = crypto::parseCertificate(chain.subspan(at), &n);
        if (!next) {
            detail = "malformed certificate chain";
            return status::BadCertificateInvalid;
        }
        sk_X509_push(untrusted.get(), next.release());
        at += n;
    }
    for (auto& c : loadCertificates(fs::path(root_) / "issuer/certs"))
        sk_X509_push(untrusted.get(), c.release());

    std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    for (auto& c : loadCertificates(fs::path(root_) / "trusted/certs"))
        X509_STORE_add_cert(store.get(), c.get());
    bool crls = false;
    addCrls(store.get(), fs::path(root_) / "trusted/crl", crls);
    addCrls(store.get(), fs::path(root_) / "issuer/crl", crls);
    X509_STORE_set_verify_cb(store.get(), verifyCallback);
    // A trusted certificate is a trust anchor even when it is no CA (a self-signed client).
    unsigned long flags = X509_V_FLAG_PARTIAL_CHAIN;
    if (crls) flags |= X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL;
    X509_STORE_set_flags(store.get(), flags);

    std::unique_ptr<X509_STORE_CTX, StoreFree> ctx(X509_STORE_CTX_new());
    if (!ctx || X509_STORE_CTX_init(ctx.get(), store.get(), leaf.get(), untrusted.get()) != 1) {
        detail = "cannot check certificates";
        return status::BadInternalError;
    }
    const bool ok = X509_verify_cert(ctx.get()) == 1;
    const int error = ok ? X509_V_OK : X509_STORE_CTX_get_error(ctx.get());
    if (ok) return status::Good;
    detail = subjectOf(leaf.get()) + ": " + X509_verify_cert_error_string(error);
    const StatusCode s = statusOf(error);
    if (s != status::BadCertificateUntrusted) return s;
    if (autoAccept) {
        detail += " (accepted: AutoAcceptUntrusted is on)";
        return status::Good;
    }
    const Bytes der = crypto::certificateDer(leaf.get());
    writeFile(fs::path(root_) / "rejected/certs" / rejectedFileName(der), der, 0644);
    return s;
}

std::vector<Pki::Entry> Pki::list(const std::string& folder) const
{
    std::vector<Entry> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::path(root_) / folder / "certs", ec)) {
        const Bytes data = readFile(e.path());
        const auto cert = crypto::parseCertificate(data);
        if (!cert) continue;
        out.push_back({crypto::hex(crypto::sha1(crypto::certificateDer(cert.get()))), subjectOf(cert.get()),
                       e.path().string()});
    }
    std::sort(out.begin(), out.end(),
              [](const Entry& a, const Entry& b) { return a.thumbprint < b.thumbprint; });
    return out;
}

bool Pki::move(const std::string& thumbprint, const std::string& toFolder, std::string& error) const
{
    std::string wanted = thumbprint;
    std::transform(wanted.begin(), wanted.end(), wanted.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    const std::string from = toFolder == "trusted" ? "rejected" : "trusted";
    for (const auto& e : list(from)) {
        if (e.thumbprint != wanted) continue;
        std::error_code ec;
        fs::create_directories(fs::path(root_) / toFolder / "certs", ec);
        fs::rename(e.file, fs::path(root_) / toFolder / "certs" / (wanted + ".der"), ec);
        if (ec) {
            error = "cannot move " + e.file + ": " + ec.message();
            return false;
        }
        return true;
    }
    error = "no certificate with thumbprint " + wanted + " in " + (fs::path(root_) / from / "certs").string();
    return false;
}

}  // namespace orva::opcua
