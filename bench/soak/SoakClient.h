#pragma once
// One OPC UA client of the soak: a session from a chosen loopback address, writes and device
// reads of Int16 tags, a subscription, and an end that either closes properly or just vanishes.
// Every request must be answered exactly once: answers that belong to no open request are
// counted, and a request without an answer in time is reported as such.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "opcua/Client.h"

namespace orva::soak {

struct Outcome {
    bool answered = false;  // false: no answer in time (a request never completed)
    opcua::StatusCode status = opcua::status::BadUnexpectedError;
    int64_t value = 0;                  // for reads
    std::chrono::milliseconds took{0};  // from sending the request to its answer (or giving up)
};

class SoakClient {
public:
    // Connects from sourceAddress and makes an activated session; the status that refused it.
    opcua::StatusCode start(uint16_t port, const std::string& sourceAddress, double sessionTimeoutMs);
    Outcome write(const std::string& nodeName, int16_t value);
    // A write sent without waiting: its answer is collected by finishWrite, meanwhile other
    // clients go on (one write at a time per client).
    bool beginWrite(const std::string& nodeName, int16_t value);
    Outcome finishWrite();
    Outcome readFromDevice(const std::string& nodeName);
    bool subscribe(const std::string& nodeName);
    void closeSession();
    void vanish() { client_.close(); }

    // Answers that came for a request already answered or never sent.
    int strayAnswers() const { return strays_; }

private:
    struct Sent {
        uint32_t handle = 0;
        std::chrono::steady_clock::time_point at;
    };
    std::optional<Sent> send(uint32_t typeId, const std::function<void(opcua::Writer&)>& fields);
    // The answer to the request sent; took is set to the time it took.
    std::optional<opcua::Response> await(const Sent& sent, std::chrono::milliseconds* took = nullptr);
    std::optional<opcua::Response> call(uint32_t typeId, const std::function<void(opcua::Writer&)>& fields,
                                        std::chrono::milliseconds* took = nullptr);
    Outcome writeOutcome(const std::optional<opcua::Response>& answer, std::chrono::milliseconds took) const;

    opcua::TcpClient client_;
    opcua::NodeId token_;
    uint32_t nextHandle_ = 100;
    std::optional<Sent> pendingWrite_;
    int strays_ = 0;
};

}  // namespace orva::soak
