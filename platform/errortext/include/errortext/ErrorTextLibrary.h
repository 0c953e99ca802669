#pragma once
// Pennat's error-text library: a text for every status code of the station-table library, and
// the hand-over of the data file (code 0 with its path in the buffer), which it keeps.
#include <cstddef>
#include <mutex>
#include <string>

namespace orva::errortext {

// Capacities the callers provide: texts, and the data file path with code 0.
constexpr size_t kTextCapacity = 256;
constexpr size_t kPathCapacity = 260;

class ErrorTextLibrary {
public:
    // Code 0: buffer holds the data file path, which is kept. Otherwise the code's text into
    // buffer; detail (when not empty) is appended after ": ". Any thread.
    int errorText(int code, char* buffer, const std::string& detail = {});
    std::string dataFilePath() const;

    // The text of a code ("Unknown error n" for codes of no meaning).
    static std::string textOf(int code);

private:
    mutable std::mutex mutex_;
    std::string dataFilePath_;
};

}  // namespace orva::errortext
