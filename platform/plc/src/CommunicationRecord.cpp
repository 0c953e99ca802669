#include "plc/CommunicationRecord.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "plc/S7ErrorCodes.h"

namespace orva::plc {
namespace {

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

void CommunicationRecord::setPath(std::string path)
{
    const std::lock_guard lock(mutex_);
    path_ = std::move(path);
}

std::string CommunicationRecord::path() const
{
    const std::lock_guard lock(mutex_);
    return path_;
}

void CommunicationRecord::record(int plcNumber, int side, std::string_view address, int code)
{
    const std::string subject = "PLC " + std::to_string(plcNumber) + " side " + (side == 0 ? "A" : "B") +
                                " " + std::string(address.substr(0, 15));
    const char* text = s7ErrorMessage(code);
    recordState(subject, code, text != nullptr ? text : "Unknown error");
}

void CommunicationRecord::recordState(std::string_view subject, int code, std::string_view text)
{
    std::string line = timestamp() + " " + std::string(subject) + ": ";
    line += code == 0 ? std::string("connected") : "error " + std::to_string(code) + " " + std::string(text);
    line += '\n';
    append(line);
}

void CommunicationRecord::append(const std::string& line)
{
    // Several library instances (one per PLC when PLCs are polled concurrently) may keep their
    // record in the same file: their appends and trims take turns.
    static std::mutex fileLock;
    const std::lock_guard files(fileLock);
    const std::lock_guard lock(mutex_);
    if (path_.empty() || line.size() > maxBytes_) return;
    struct stat info {};
    const size_t size = ::stat(path_.c_str(), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
    if (size + line.size() > maxBytes_) {
        // Keep the newer half, cut at a line boundary, and replace the file in one rename.
        std::string kept = readAll(path_);
        if (kept.size() > maxBytes_ / 2) {
            const size_t cut = kept.find('\n', kept.size() - maxBytes_ / 2);
            kept = cut == std::string::npos ? std::string() : kept.substr(cut + 1);
        }
        const std::string temporary = path_ + ".tmp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << kept << line;
            if (!out) return;
        }
        std::error_code error;
        std::filesystem::rename(temporary, path_, error);
        return;
    }
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out << line;
}

}  // namespace orva::plc
