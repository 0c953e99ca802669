#pragma once
// A private connection database for SAPI-S7 tests: a registry root in a temporary folder with
// interface keys written as administrators write them.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "registry/Registry.h"
#include "sapis7/ConnectionDatabase.h"

namespace orva::sapis7::test {

class TempDatabase {
public:
    TempDatabase()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orva-sapi-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    TempDatabase(const TempDatabase&) = delete;
    TempDatabase& operator=(const TempDatabase&) = delete;
    ~TempDatabase()
    {
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
    orva::registry::Registry registry() const { return orva::registry::Registry(root_); }
    const std::filesystem::path& root() const { return root_; }

    // Writes the interface's key with these values (name, data), "Device" included if given.
    bool setInterface(const std::string& interfaceName,
                      const std::vector<std::pair<std::string, std::string>>& values)
    {
        orva::registry::RegistryKey key;
        if (registry().createKey(std::string(kDatabaseKeyPrefix) + interfaceName, key) !=
            orva::registry::Status::Ok)
            return false;
        std::vector<orva::registry::KeyValue> list;
        for (const auto& [name, data] : values)
            list.push_back({name, data});
        return list.empty() || key.writeStrings(list) == orva::registry::Status::Ok;
    }

private:
    std::filesystem::path root_;
};

}  // namespace orva::sapis7::test
