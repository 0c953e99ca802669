#pragma once
// A file-backed stand-in for the machine-wide registry that the editor and the servers share.
//
// A key path such as SOFTWARE\ORVAAutomation\Tornel names one file below the registry root:
// every path component becomes a folder level, folded to lower case (keys match without
// regard to ASCII case), with bytes outside [a-z0-9{}_-.] and a leading '.' written as %XX; the
// last component gets the suffix ".reg":
//
//     <root>/software/orvaautomation/tornel.reg
//
// The root is /etc/orva/registry, or the folder named by the environment variable
// ORVA_REGISTRY_ROOT. Files are replaced atomically (temporary file, fsync, rename, fsync of the
// folder) under an advisory lock on the folder, so concurrent writers never tear a file nor lose
// each other's values, and readers always see a complete file.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "registry/KeyFile.h"
#include "registry/Status.h"

namespace orva::registry {

inline constexpr std::string_view kRootEnvironmentVariable = "ORVA_REGISTRY_ROOT";
inline constexpr std::string_view kDefaultRoot = "/etc/orva/registry";

class Registry;

// An opened key. Every operation reads or replaces the key's file afresh, so a key object
// always sees what other processes wrote last.
class RegistryKey {
public:
    RegistryKey() = default;

    bool isOpen() const { return !file_.empty(); }
    bool writable() const { return writable_; }
    const std::string& path() const { return path_; }
    const std::filesystem::path& file() const { return file_; }

    // ValueNotFound when absent; KeyNotFound when the key was deleted meanwhile; CorruptKeyFile
    // when the file cannot be parsed (the value then reads as missing).
    Status readString(std::string_view valueName, std::string& value) const;
    Status readAll(std::vector<KeyValue>& values) const;

    // Only for keys opened by createKey. Recreates the key when it was deleted meanwhile, and
    // replaces a corrupt file (keeping it beside as "<file>.corrupt").
    Status writeString(std::string_view valueName, std::string_view value) const;
    // Several values in one replacement of the file: readers see all of them or none.
    Status writeStrings(const std::vector<KeyValue>& values) const;
    // Ok also when there was no such value.
    Status deleteValue(std::string_view valueName) const;

private:
    friend class Registry;
    RegistryKey(std::string path, std::filesystem::path file, bool writable)
        : path_(std::move(path)), file_(std::move(file)), writable_(writable)
    {
    }

    std::string path_;
    std::filesystem::path file_;
    bool writable_ = false;
};

class Registry {
public:
    explicit Registry(std::filesystem::path root) : root_(std::move(root)) {}

    // The machine's registry: ORVA_REGISTRY_ROOT when set and not empty, else /etc/orva/registry.
    static Registry machine();

    const std::filesystem::path& root() const { return root_; }

    // The file that holds a key; empty when the path is not a valid key path.
    std::filesystem::path keyFile(std::string_view keyPath) const;

    // Opens an existing key for reading: Ok, KeyNotFound, InvalidName or IoError.
    Status openKey(std::string_view keyPath, RegistryKey& key) const;
    // Opens a key for reading and writing, creating it (and the folders above it) when absent.
    Status createKey(std::string_view keyPath, RegistryKey& key) const;
    // Removes the key with everything below it. Ok also when it did not exist.
    Status deleteKey(std::string_view keyPath) const;

    // Shorthands for one value.
    Status readString(std::string_view keyPath, std::string_view valueName, std::string& value) const;
    Status writeString(std::string_view keyPath, std::string_view valueName, std::string_view value) const;

private:
    std::filesystem::path root_;
};

}  // namespace orva::registry
