#pragma once
// The log of a server that runs without a display: what message boxes and the status line would
// show goes to stderr, one line per event. Started by hand each line carries its time stamp,
// "2026-12-07T06:35:00.123Z Tornel: text"; under systemd, whose journal stamps and tags lines
// itself, a line is "<4>text" with its syslog priority, so warnings show as warnings.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace orva::process {

// Syslog priorities.
enum class LogPriority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

enum class LogFormat {
    Timestamped,  // "<time> <program>: <text>"
    Journal,      // "<priority><text>"
};

class LogSink {
public:
    // Receives one complete line, ending in '\n'.
    using Writer = std::function<void(std::string_view line)>;

    explicit LogSink(std::string program, Writer writer = standardErrorWriter(),
                     LogFormat format = LogFormat::Timestamped);

    // Each non-empty line of the text becomes one log line; safe from any thread.
    void log(std::string_view text) { log(LogPriority::Info, text); }
    void log(LogPriority priority, std::string_view text);

    LogFormat format() const noexcept { return format_; }

    // UTC, ISO 8601 with milliseconds.
    static std::string timestamp(std::chrono::system_clock::time_point time);

    // Writes each line with a single write(2) to file descriptor 2.
    static Writer standardErrorWriter();

    // Journal when systemd connected standard error to the journal (JOURNAL_STREAM names the
    // device and inode of file descriptor 2), else Timestamped.
    static LogFormat standardErrorFormat();
    // The same decision for a given JOURNAL_STREAM value and descriptor.
    static LogFormat formatFor(const char* journalStream, int fd);

private:
    std::string program_;
    Writer writer_;
    LogFormat format_;
    std::mutex mutex_;
};

}  // namespace orva::process
