#include "ProcessStats.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace orva::soak {

std::string ProcessStats::text() const
{
    std::ostringstream out;
    out << descriptors << " descriptors, " << threads << " threads, " << residentKiB << " KiB resident";
    return out.str();
}

ProcessStats statsOf(int pid)
{
    ProcessStats stats;
    const std::filesystem::path proc = "/proc/" + std::to_string(pid);
    std::error_code ec;
    int count = 0;
    for (auto it = std::filesystem::directory_iterator(proc / "fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++count;
    if (!ec) stats.descriptors = count;
    std::ifstream status(proc / "status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "Threads:") fields >> stats.threads;
        if (key == "VmRSS:") fields >> stats.residentKiB;
    }
    return stats;
}

}  // namespace orva::soak
