#pragma once
// The library's data file (Tornel.dat beside the server): a text record of communication
// errors, one line per change of a connection's state ("time PLC n side A|B address: error
// code text", or "... connected" once it works) and one per new access error of a connection. The file never
// grows beyond maxBytes: when a line would pass the limit, the older half of the lines is dropped.
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace orva::plc {

class CommunicationRecord {
public:
    static constexpr size_t kDefaultMaxBytes = 64 * 1024;

    explicit CommunicationRecord(size_t maxBytes = kDefaultMaxBytes) : maxBytes_(maxBytes) {}

    // An empty path switches the record off.
    void setPath(std::string path);
    std::string path() const;

    void record(int plcNumber, int side, std::string_view address, int code);
    // The same line for any subject ("PLC 2 MPI 3 slot 2") and a text of the caller's library.
    void recordState(std::string_view subject, int code, std::string_view text);

private:
    void append(const std::string& line);

    mutable std::mutex mutex_;
    std::string path_;
    size_t maxBytes_;
};

}  // namespace orva::plc
