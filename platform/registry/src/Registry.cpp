#include "registry/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <optional>

#include "KeyPath.h"
#include "common/UniqueFd.h"

namespace orva::registry {
namespace {

constexpr std::size_t kMaxValueNameLength = 16383;

Status statusFromErrno(int error);

// While writing, a missing folder is a failure of the file system, not a missing key.
Status writeStatusFromErrno(int error)
{
    const Status s = statusFromErrno(error);
    return s == Status::KeyNotFound ? Status::IoError : s;
}

Status statusFromErrno(int error)
{
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return Status::KeyNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return Status::AccessDenied;
        case ENAMETOOLONG:
            return Status::InvalidName;
        default:
            return Status::IoError;
    }
}

using Fd = common::UniqueFd;

// Reads the whole key file; Ok with the bytes, or why not.
Status readFileText(const std::filesystem::path& file, std::string& text)
{
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return statusFromErrno(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return statusFromErrno(errno);
    if (!S_ISREG(st.st_mode)) return Status::CorruptKeyFile;
    if (static_cast<std::size_t>(st.st_size) > kMaxKeyFileSize) return Status::CorruptKeyFile;
    text.clear();
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Status::IoError;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxKeyFileSize) return Status::CorruptKeyFile;  // grew while being read
    }
    return Status::Ok;
}

// A file whose header names another key (copied by hand, say) counts as corrupt.
Status readKeyFile(const std::filesystem::path& file, std::string_view keyPath, KeyFileContents& contents)
{
    std::string text;
    if (const Status s = readFileText(file, text); s != Status::Ok) return s;
    auto parsed = parseKeyFile(text);
    if (!parsed || !namesEqual(parsed->keyPath, keyPath)) return Status::CorruptKeyFile;
    contents = std::move(*parsed);
    return Status::Ok;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes a temporary file beside the target, flushes it to disk and renames it over the target.
Status replaceFile(int dirFd, const std::filesystem::path& file, std::string_view bytes)
{
    std::string pattern = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
    Fd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.valid()) return writeStatusFromErrno(errno);
    const bool written = ::fchmod(fd.get(), 0644) == 0 && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    const int error = errno;
    if (!written || ::close(fd.release()) != 0) {
        ::unlink(pattern.c_str());
        return written ? Status::IoError : writeStatusFromErrno(error);
    }
    if (::rename(pattern.c_str(), file.c_str()) != 0) {
        const Status s = writeStatusFromErrno(errno);
        ::unlink(pattern.c_str());
        return s;
    }
    ::fsync(dirFd);  // make the rename itself durable
    return Status::Ok;
}

// Creates the missing folders above a key file, readable by everyone whatever the umask, so that
// servers running under other accounts can read what an administrator wrote.
Status createFolders(const std::filesystem::path& folder)
{
    std::filesystem::path path;
    for (const auto& part : folder) {
        path /= part;
        if (::mkdir(path.c_str(), 0755) == 0) {
            ::chmod(path.c_str(), 0755);
        } else if (errno != EEXIST) {
            return writeStatusFromErrno(errno);
        }
    }
    return Status::Ok;
}

// What a modification does with the key's current values; false means "nothing to write".
using Modification = std::function<bool(KeyFileContents&)>;

// Read-modify-write of one key file under an exclusive lock on its folder.
Status modifyKey(const std::filesystem::path& file, std::string_view keyPath, bool createIfMissing,
                 const Modification& modify)
{
    const std::filesystem::path folder = file.parent_path();
    if (createIfMissing) {
        if (const Status s = createFolders(folder); s != Status::Ok) return s;
    }
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return statusFromErrno(errno);
    while (::flock(dir.get(), LOCK_EX) != 0)
        if (errno != EINTR) return Status::IoError;

    KeyFileContents contents;
    const Status s = readKeyFile(file, keyPath, contents);
    if (s == Status::KeyNotFound) {
        if (!createIfMissing) return s;
        contents = KeyFileContents{std::string(keyPath), {}};
    } else if (s == Status::CorruptKeyFile) {
        if (!createIfMissing) return s;
        // Keep the unreadable file for inspection and start the key afresh.
        const std::filesystem::path aside = file.string() + ".corrupt";
        if (::rename(file.c_str(), aside.c_str()) != 0) return statusFromErrno(errno);
        contents = KeyFileContents{std::string(keyPath), {}};
    } else if (s != Status::Ok) {
        return s;
    }
    const bool fileExists = s == Status::Ok;
    if (!modify(contents) && fileExists) return Status::Ok;
    const std::string bytes = serializeKeyFile(contents);
    if (bytes.size() > kMaxKeyFileSize) return Status::TooLarge;
    return replaceFile(dir.get(), file, bytes);
}

bool validValueName(std::string_view name)
{
    return name.size() <= kMaxValueNameLength;
}

}  // namespace

Status RegistryKey::readAll(std::vector<KeyValue>& values) const
{
    values.clear();
    if (!isOpen()) return Status::KeyNotFound;
    KeyFileContents contents;
    if (const Status s = readKeyFile(file_, path_, contents); s != Status::Ok) return s;
    values = std::move(contents.values);
    return Status::Ok;
}

Status RegistryKey::readString(std::string_view valueName, std::string& value) const
{
    if (!validValueName(valueName)) return Status::InvalidName;
    std::vector<KeyValue> values;
    if (const Status s = readAll(values); s != Status::Ok) return s;
    for (auto& v : values) {
        if (namesEqual(v.name, valueName)) {
            value = std::move(v.data);
            return Status::Ok;
        }
    }
    return Status::ValueNotFound;
}

Status RegistryKey::writeString(std::string_view valueName, std::string_view value) const
{
    if (!isOpen()) return Status::KeyNotFound;
    if (!writable_) return Status::AccessDenied;
    if (!validValueName(valueName)) return Status::InvalidName;
    return modifyKey(file_, path_, true, [&](KeyFileContents& contents) {
        contents.set(valueName, value);
        return true;
    });
}

Status RegistryKey::writeStrings(const std::vector<KeyValue>& values) const
{
    if (!isOpen()) return Status::KeyNotFound;
    if (!writable_) return Status::AccessDenied;
    for (const auto& v : values)
        if (!validValueName(v.name)) return Status::InvalidName;
    return modifyKey(file_, path_, true, [&](KeyFileContents& contents) {
        for (const auto& v : values)
            contents.set(v.name, v.data);
        return true;
    });
}

Status RegistryKey::deleteValue(std::string_view valueName) const
{
    if (!isOpen()) return Status::KeyNotFound;
    if (!writable_) return Status::AccessDenied;
    if (!validValueName(valueName)) return Status::InvalidName;
    return modifyKey(file_, path_, false,
                     [&](KeyFileContents& contents) { return contents.erase(valueName); });
}

Registry Registry::machine()
{
    const char* root = std::getenv(std::string(kRootEnvironmentVariable).c_str());
    if (root != nullptr && root[0] != '\0') return Registry(root);
    return Registry(std::filesystem::path(kDefaultRoot));
}

std::filesystem::path Registry::keyFile(std::string_view keyPath) const
{
    return detail::keyFileBelow(root_, keyPath);
}

Status Registry::openKey(std::string_view keyPath, RegistryKey& key) const
{
    key = RegistryKey();
    std::filesystem::path file = keyFile(keyPath);
    if (file.empty()) return Status::InvalidName;
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return statusFromErrno(errno);
    if (!S_ISREG(st.st_mode)) return Status::CorruptKeyFile;
    key = RegistryKey(std::string(keyPath), std::move(file), false);
    return Status::Ok;
}

Status Registry::createKey(std::string_view keyPath, RegistryKey& key) const
{
    key = RegistryKey();
    std::filesystem::path file = keyFile(keyPath);
    if (file.empty()) return Status::InvalidName;
    const Status s = modifyKey(file, keyPath, true, [](KeyFileContents&) { return false; });
    if (s != Status::Ok) return s;
    key = RegistryKey(std::string(keyPath), std::move(file), true);
    return Status::Ok;
}

Status Registry::deleteKey(std::string_view keyPath) const
{
    const std::filesystem::path file = keyFile(keyPath);
    if (file.empty()) return Status::InvalidName;
    Fd dir(::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return errno == ENOENT ? Status::Ok : statusFromErrno(errno);
    while (::flock(dir.get(), LOCK_EX) != 0)
        if (errno != EINTR) return Status::IoError;
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) return statusFromErrno(errno);
    std::error_code ec;
    std::filesystem::remove_all(detail::subKeyFolder(file), ec);
    if (ec) return statusFromErrno(ec.value());
    ::fsync(dir.get());
    return Status::Ok;
}

Status Registry::readString(std::string_view keyPath, std::string_view valueName, std::string& value) const
{
    RegistryKey key;
    if (const Status s = openKey(keyPath, key); s != Status::Ok) return s;
    return key.readString(valueName, value);
}

Status Registry::writeString(std::string_view keyPath, std::string_view valueName,
                             std::string_view value) const
{
    RegistryKey key;
    if (const Status s = createKey(keyPath, key); s != Status::Ok) return s;
    return key.writeString(valueName, value);
}

}  // namespace orva::registry
