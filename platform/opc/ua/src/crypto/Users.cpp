#include "crypto/Users.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "crypto/Crypto.h"

namespace orva::opcua {

namespace {
constexpr int kIterations = 200000;
constexpr const char* kScheme = "pbkdf2-sha256";

crypto::Bytes fromHex(const std::string& text)
{
    crypto::Bytes out;
    if (text.size() % 2 != 0) return out;
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned v = 0;
        if (std::sscanf(text.c_str() + i, "%2x", &v) != 1) return {};
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

crypto::Bytes derive(const std::string& password, crypto::ByteView salt, int iterations)
{
    crypto::Bytes out(32);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(out.size()), out.data()) != 1)
        out.clear();
    return out;
}

std::vector<std::string> split(const std::string& line, char sep)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, sep))
        parts.push_back(part);
    return parts;
}
}  // namespace

const char* accessName(Access a)
{
    return a == Access::Write ? "write" : a == Access::Read ? "read" : "none";
}

std::optional<Access> accessByName(const std::string& name)
{
    if (name == "read") return Access::Read;
    if (name == "write") return Access::Write;
    if (name == "none") return Access::None;
    return std::nullopt;
}

bool validUserName(const std::string& name)
{
    if (name.empty() || name.size() > 64) return false;
    for (const unsigned char c : name)
        if (c <= ' ' || c == ':' || c == 0x7F) return false;
    return true;
}

std::string hashPassword(const std::string& password)
{
    const crypto::Bytes salt = crypto::randomBytes(16);
    return std::string(kScheme) + ":" + std::to_string(kIterations) + ":" + crypto::hex(salt) + ":" +
           crypto::hex(derive(password, salt, kIterations));
}

bool verifyPassword(const std::string& password, const std::string& hash)
{
    const auto parts = split(hash, ':');
    if (parts.size() != 4 || parts[0] != kScheme) return false;
    const int iterations = std::atoi(parts[1].c_str());
    if (iterations < 1000 || iterations > 10000000) return false;
    const crypto::Bytes expected = fromHex(parts[3]);
    return !expected.empty() &&
           crypto::equalConstantTime(derive(password, fromHex(parts[2]), iterations), expected);
}

bool UserStore::load(std::vector<UserEntry>& users, std::string& error) const
{
    users.clear();
    std::ifstream in(path_);
    if (!in) {
        if (!std::filesystem::exists(path_)) return true;  // no users yet
        error = "cannot read " + path_;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t a = line.find(':');
        const size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos) continue;
        const auto role = accessByName(line.substr(a + 1, b - a - 1));
        if (!role) continue;
        users.push_back({line.substr(0, a), *role, line.substr(b + 1)});
    }
    return true;
}

bool UserStore::save(const std::vector<UserEntry>& users, std::string& error) const
{
    const std::string temp = path_ + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        ::chmod(temp.c_str(), 0600);
        if (!out) {
            error = "cannot write " + temp;
            return false;
        }
        out << "# ORVA gateway users: name:role:password hash (edit with orva-admin)\n";
        for (const auto& u : users)
            out << u.name << ':' << accessName(u.role) << ':' << u.hash << '\n';
        if (!out) {
            error = "cannot write " + temp;
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path_, ec);
    if (ec) error = "cannot replace " + path_ + ": " + ec.message();
    return !ec;
}

std::optional<Access> UserStore::check(const std::string& name, const std::string& password) const
{
    std::vector<UserEntry> users;
    std::string error;
    if (!load(users, error)) return std::nullopt;
    for (const auto& u : users)
        if (u.name == name) return verifyPassword(password, u.hash) ? std::optional(u.role) : std::nullopt;
    static const std::string unknownUser = hashPassword("");
    verifyPassword(password, unknownUser);  // the same work for an unknown user
    return std::nullopt;
}

}  // namespace orva::opcua
