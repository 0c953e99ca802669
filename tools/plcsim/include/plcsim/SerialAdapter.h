#pragma once
// The simulator's serial mode: a pseudo-terminal that answers as an MPI adapter with one or
// more stations behind it, each a simulated CPU (a PlcSimulator that is not listening on TCP).
// A symbolic link names the pseudo-terminal's device so that programs open it like a port; it is
// removed at stop.
//
// The adapter reads the line settings of the other side from the pseudo-terminal and answers
// only while they equal its own, as a real line with mismatched settings would carry nothing but
// garbage. With pacing on, every answer waits until a line of the configured speed would have
// carried all bytes so far, so that throughput over the pseudo-terminal means what it would on
// a cable.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/UniqueFd.h"
#include "mpi/SerialPort.h"
#include "plcsim/PlcSimulator.h"

namespace orva::plcsim {

struct SerialStation {
    uint8_t address = 2;
    uint8_t slot = 2;
    std::shared_ptr<PlcSimulator> plc;
};

struct SerialFaults {
    bool silent = false;    // answer nothing at all (an adapter switched off)
    int dropAfter = 0;      // >0: after this many data requests the adapter restarts, losing the
                            // request, its connections and its initialisation
    int badCheckEvery = 0;  // >0: every Nth block sent has a wrong block check (sent again on NAK)
};

struct SerialOptions {
    std::string link;        // path of the symbolic link to create
    mpi::LineSettings line;  // the adapter's own settings (port unused)
    bool paced = true;       // take as long as the configured speed
    // Messages for the operator: the other side's settings, mismatches, faults.
    std::function<void(const std::string&)> say;
};

class SerialAdapter {
public:
    SerialAdapter(SerialOptions options, std::vector<SerialStation> stations);
    ~SerialAdapter();
    SerialAdapter(const SerialAdapter&) = delete;
    SerialAdapter& operator=(const SerialAdapter&) = delete;

    bool start(std::string* error = nullptr);
    void stop();
    // The pseudo-terminal's device (what the link points to).
    std::string devicePath() const { return device_; }

    void setFaults(const SerialFaults& faults);
    // The other side's settings as last seen (nothing before the first byte arrived).
    std::optional<mpi::LineSettings> peerSettings() const;
    uint64_t dataRequests() const { return dataRequests_; }

private:
    struct Connection {
        size_t station = 0;
        uint16_t pduSize = 240;
    };
    void run();
    bool settingsMatch();
    void releaseAbandonedPort();
    std::vector<uint8_t> answer(const std::vector<uint8_t>& payload, bool& silent);
    void say(const std::string& text) const;

    SerialOptions options_;
    std::vector<SerialStation> stations_;
    orva::common::UniqueFd master_;
    orva::common::UniqueFd slave_;  // held so that the line stays up between programs
    orva::common::UniqueFd stopEvent_;
    std::string device_;
    std::thread thread_;

    mutable std::mutex mutex_;  // faults_, peer_
    SerialFaults faults_;
    std::optional<mpi::LineSettings> peer_;
    bool lastMatch_ = true;

    // Thread state.
    bool initialised_ = false;
    std::vector<std::optional<Connection>> connections_ = std::vector<std::optional<Connection>>(256);
    std::atomic<uint64_t> dataRequests_{0};
    uint64_t requestsSinceStart_ = 0;
    uint64_t blocksSent_ = 0;
};

}  // namespace orva::plcsim
