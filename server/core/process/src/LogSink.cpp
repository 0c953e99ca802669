#include "process/LogSink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace orva::process {

LogSink::LogSink(std::string program, Writer writer, LogFormat format)
    : program_(std::move(program)), writer_(std::move(writer)), format_(format)
{
}

void LogSink::log(LogPriority priority, std::string_view text)
{
    std::string prefix;
    if (format_ == LogFormat::Journal) {
        prefix = "<" + std::to_string(static_cast<int>(priority)) + ">";
    } else {
        prefix = timestamp(std::chrono::system_clock::now());
        prefix += ' ';
        prefix += program_;
        prefix += ": ";
    }
    const std::lock_guard lock(mutex_);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        std::string_view line = text.substr(start, stop - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) {
            std::string out = prefix;
            out += line;
            out += '\n';
            if (writer_) writer_(out);
        }
        start = stop + 1;
    }
}

std::string LogSink::timestamp(std::chrono::system_clock::time_point time)
{
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const std::time_t t = static_cast<std::time_t>(seconds.count());
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return buffer;
}

LogSink::Writer LogSink::standardErrorWriter()
{
    return [](std::string_view line) {
        while (!line.empty()) {
            const ssize_t n = ::write(2, line.data(), line.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            line.remove_prefix(static_cast<std::size_t>(n));
        }
    };
}

LogFormat LogSink::standardErrorFormat()
{
    return formatFor(std::getenv("JOURNAL_STREAM"), 2);
}

LogFormat LogSink::formatFor(const char* journalStream, int fd)
{
    // The variable is inherited by children whose stderr goes elsewhere: it counts only when it
    // names this very descriptor.
    if (journalStream == nullptr) return LogFormat::Timestamped;
    uintmax_t device = 0;
    uintmax_t inode = 0;
    if (std::sscanf(journalStream, "%" SCNuMAX ":%" SCNuMAX, &device, &inode) != 2)
        return LogFormat::Timestamped;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return LogFormat::Timestamped;
    return static_cast<uintmax_t>(st.st_dev) == device && static_cast<uintmax_t>(st.st_ino) == inode
               ? LogFormat::Journal
               : LogFormat::Timestamped;
}

}  // namespace orva::process
