#include "crypto/Crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>

namespace orva::opcua::crypto {

void KeyFree::operator()(evp_pkey_st* key) const
{
    EVP_PKEY_free(key);
}
void CertFree::operator()(x509_st* cert) const
{
    X509_free(cert);
}

namespace {
struct CtxFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;

bool setEncryptionPadding(EVP_PKEY_CTX* ctx, RsaEncryption padding)
{
    if (EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) <= 0) return false;
    const EVP_MD* md = padding == RsaEncryption::OaepSha1 ? EVP_sha1() : EVP_sha256();
    return EVP_PKEY_CTX_set_rsa_oaep_md(ctx, md) > 0 && EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, md) > 0;
}

bool setSignaturePadding(EVP_PKEY_CTX* ctx, RsaSignature scheme)
{
    if (scheme == RsaSignature::Pkcs1Sha256) return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0;
    return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) > 0 &&
           EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, RSA_PSS_SALTLEN_DIGEST) > 0 &&
           EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256()) > 0;
}
}  // namespace

Bytes randomBytes(size_t n)
{
    Bytes out(n);
    if (n != 0 && RAND_bytes(out.data(), static_cast<int>(n)) != 1) out.clear();
    return out;
}

Bytes sha1(ByteView data)
{
    Bytes out(20);
    EVP_Digest(data.data(), data.size(), out.data(), nullptr, EVP_sha1(), nullptr);
    return out;
}

Bytes hmacSha256(ByteView key, ByteView data)
{
    Bytes out(32);
    size_t length = out.size();
    if (EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key.data(), key.size(), data.data(),
                  data.size(), out.data(), out.size(), &length) == nullptr)
        out.clear();
    return out;
}

Bytes pSha256(ByteView secret, ByteView seed, size_t length)
{
    Bytes out;
    Bytes a = hmacSha256(secret, seed);  // A(1)
    while (out.size() < length && a.size() == 32) {
        Bytes input = a;
        input.insert(input.end(), seed.begin(), seed.end());
        const Bytes block = hmacSha256(secret, input);
        out.insert(out.end(), block.begin(), block.end());
        a = hmacSha256(secret, a);
    }
    out.resize(std::min(out.size(), length));
    return out;
}

bool aesCbc(bool encrypt, ByteView key, ByteView iv, ByteView in, Bytes& out)
{
    if (iv.size() != 16 || in.size() % 16 != 0) return false;
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                               : key.size() == 32 ? EVP_aes_256_cbc()
                                                  : nullptr;
    if (cipher == nullptr) return false;
    std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), iv.data(), encrypt ? 1 : 0) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    out.resize(in.size() + 16);
    int n = 0;
    int tail = 0;
    if (EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), static_cast<int>(in.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out.data() + n, &tail) != 1)
        return false;
    out.resize(static_cast<size_t>(n + tail));
    return true;
}

bool equalConstantTime(ByteView a, ByteView b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

size_t rsaSize(evp_pkey_st* key)
{
    return key == nullptr ? 0 : static_cast<size_t>(EVP_PKEY_get_size(key));
}

size_t rsaPlainBlock(evp_pkey_st* key, RsaEncryption padding)
{
    const size_t overhead = padding == RsaEncryption::OaepSha1 ? 42 : 66;
    const size_t size = rsaSize(key);
    return size > overhead ? size - overhead : 0;
}

bool rsaEncrypt(evp_pkey_st* key, RsaEncryption padding, ByteView in, Bytes& out)
{
    const size_t block = rsaPlainBlock(key, padding);
    const size_t size = rsaSize(key);
    if (block == 0) return false;
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0 || !setEncryptionPadding(ctx.get(), padding))
        return false;
    out.clear();
    out.reserve((in.size() + block - 1) / block * size);
    for (size_t at = 0; at < in.size(); at += block) {
        const size_t n = std::min(block, in.size() - at);
        const size_t start = out.size();
        out.resize(start + size);
        size_t written = size;
        if (EVP_PKEY_encrypt(ctx.get(), out.data() + start, &written, in.data() + at, n) <= 0 ||
            written != size)
            return false;
    }
    return true;
}

bool rsaDecrypt(evp_pkey_st* key, RsaEncryption padding, ByteView in, Bytes& out)
{
    const size_t size = rsaSize(key);
    if (size == 0 || in.empty() || in.size() % size != 0) return false;
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0 || !setEncryptionPadding(ctx.get(), padding))
        return false;
    out.clear();
    out.reserve(in.size());
    Bytes block(size);
    for (size_t at = 0; at < in.size(); at += size) {
        size_t written = block.size();
        if (EVP_PKEY_decrypt(ctx.get(), block.data(), &written, in.data() + at, size) <= 0) return false;
        out.insert(out.end(), block.begin(), block.begin() + static_cast<ptrdiff_t>(written));
    }
    return true;
}

bool rsaSign(evp_pkey_st* key, RsaSignature scheme, ByteView data, Bytes& signature)
{
    std::unique_ptr<EVP_MD_CTX, CtxFree> md(EVP_MD_CTX_new());
    EVP_PKEY_CTX* pctx = nullptr;
    if (!md || EVP_DigestSignInit(md.get(), &pctx, EVP_sha256(), nullptr, key) != 1 ||
        !setSignaturePadding(pctx, scheme))
        return false;
    size_t length = 0;
    if (EVP_DigestSign(md.get(), nullptr, &length, data.data(), data.size()) != 1) return false;
    signature.resize(length);
    if (EVP_DigestSign(md.get(), signature.data(), &length, data.data(), data.size()) != 1) return false;
    signature.resize(length);
    return true;
}

bool rsaVerify(evp_pkey_st* key, RsaSignature scheme, ByteView data, ByteView signature)
{
    std::unique_ptr<EVP_MD_CTX, CtxFree> md(EVP_MD_CTX_new());
    EVP_PKEY_CTX* pctx = nullptr;
    if (!md || key == nullptr || EVP_DigestVerifyInit(md.get(), &pctx, EVP_sha256(), nullptr, key) != 1 ||
        !setSignaturePadding(pctx, scheme))
        return false;
    return EVP_DigestVerify(md.get(), signature.data(), signature.size(), data.data(), data.size()) == 1;
}

CertPtr parseCertificate(ByteView der, size_t* used)
{
    const unsigned char* p = der.data();
    CertPtr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (used != nullptr) *used = cert ? static_cast<size_t>(p - der.data()) : 0;
    return cert;
}

Bytes certificateDer(x509_st* cert)
{
    const int n = i2d_X509(cert, nullptr);
    if (n <= 0) return {};
    Bytes out(static_cast<size_t>(n));
    unsigned char* p = out.data();
    i2d_X509(cert, &p);
    return out;
}

KeyPtr publicKey(x509_st* cert)
{
    return KeyPtr(cert == nullptr ? nullptr : X509_get_pubkey(cert));
}

std::vector<std::string> certificateUris(x509_st* cert)
{
    std::vector<std::string> out;
    auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    if (names == nullptr) return out;
    for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        if (name->type != GEN_URI) continue;
        const ASN1_STRING* uri = name->d.uniformResourceIdentifier;
        out.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                         static_cast<size_t>(ASN1_STRING_length(uri)));
    }
    GENERAL_NAMES_free(names);
    return out;
}

std::string hex(ByteView bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace orva::opcua::crypto
