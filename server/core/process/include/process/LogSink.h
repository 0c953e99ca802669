#pragma once
// The log of a server that runs without a display: what message boxes and the status line would
// show goes to stderr, one line per event, "2026-12-07T06:35:00.123Z Tornel: text".

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace orva::process {

class LogSink {
public:
    // Receives one complete line, ending in '\n'.
    using Writer = std::function<void(std::string_view line)>;

    explicit LogSink(std::string program, Writer writer = standardErrorWriter());

    // Each non-empty line of the text becomes one log line; safe from any thread.
    void log(std::string_view text);

    // UTC, ISO 8601 with milliseconds.
    static std::string timestamp(std::chrono::system_clock::time_point time);

    // Writes each line with a single write(2) to file descriptor 2.
    static Writer standardErrorWriter();

private:
    std::string program_;
    Writer writer_;
    std::mutex mutex_;
};

}  // namespace orva::process
