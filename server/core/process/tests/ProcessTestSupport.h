#pragma once
// Shared by the process tests: a temporary folder and an owner window that records what it shows.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "process/OwnerWindow.h"

namespace orva::process::test {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orva-process-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder()
    {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class RecordingOwner : public OwnerWindow {
public:
    void setPlcs(std::vector<PlcLine> plcs) override { plcs_ = std::move(plcs); }
    void showWarning(std::string_view title, std::string_view text) override
    {
        warnings.emplace_back(std::string(title), std::string(text));
    }
    void reportPlcStatus(int, PlcHandle) override {}
    void reportNoPlc() override {}
    void requestClose() override {}

    std::vector<std::pair<std::string, std::string>> warnings;

private:
    std::vector<PlcLine> plcs_;
};

}  // namespace orva::process::test
