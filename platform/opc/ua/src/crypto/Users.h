#pragma once
// The users file: one line per user, "name:role:pbkdf2-sha256:iterations:salt:hash" (salt and
// hash in hex), role "read" or "write". Passwords are never stored, only their salted, slow
// hashes. The file is read at every logon, so changes take effect without a restart.

#include <optional>
#include <string>
#include <vector>

#include "opcua/Security.h"

namespace orva::opcua {

struct UserEntry {
    std::string name;
    Access role = Access::Read;
    std::string hash;  // "pbkdf2-sha256:iterations:salt:hash"
};

class UserStore {
public:
    UserStore() = default;
    explicit UserStore(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    bool configured() const { return !path_.empty(); }

    // The user's role when the password is right; nothing otherwise (unknown users cost the same
    // time as a wrong password).
    std::optional<Access> check(const std::string& name, const std::string& password) const;

    // Administration. False with why.
    bool load(std::vector<UserEntry>& users, std::string& error) const;
    bool save(const std::vector<UserEntry>& users, std::string& error) const;

private:
    std::string path_;
};

std::string hashPassword(const std::string& password);
bool verifyPassword(const std::string& password, const std::string& hash);
const char* accessName(Access a);
std::optional<Access> accessByName(const std::string& name);
bool validUserName(const std::string& name);

}  // namespace orva::opcua
