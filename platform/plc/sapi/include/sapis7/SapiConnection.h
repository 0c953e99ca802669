#pragma once
// One connection of a SAPI-S7 interface: S7 over ISO-on-TCP on a non-blocking socket, moved on
// by the interface's event pump. Requests return at once; their outcome arrives later as an
// event in the interface's queue: a connect confirmation, a read or write confirmation, or an
// abort indication when an established connection breaks.
//
// At most one read or write is outstanding; its answer is recognised by its PDU reference, and
// an answer that belongs to no outstanding request (one that came after an abort, or a stray
// one) is dropped, never taken as the answer of a later request.
#include <chrono>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "common/UniqueFd.h"
#include "plc/IsoStreamReader.h"
#include "sapis7/ConnectionDatabase.h"

namespace orva::sapis7 {

enum SapiEventCode : int {
    kEventConnectConfirm = 0x101,
    kEventAbortIndication = 0x103,
    kEventReadConfirm = 0x301,
    kEventWriteConfirm = 0x302,
};

struct SapiEvent {
    uint16_t connection = 0;
    int code = 0;
    int error = 0;              // 0: the confirmed step succeeded
    std::string text;           // what went wrong, for the error text
    std::vector<uint8_t> data;  // the bytes of a successful read
};

// Steps that the partner never finishes fail by themselves after these times (the server
// gives up much earlier and aborts).
inline constexpr std::chrono::milliseconds kConnectTimeout{5000};
inline constexpr std::chrono::milliseconds kRequestTimeout{10000};

class SapiConnection {
public:
    using Clock = std::chrono::steady_clock;

    SapiConnection(uint16_t ref, ConnectionEntry entry, std::deque<SapiEvent>& events);

    uint16_t ref() const { return ref_; }
    const std::string& name() const { return entry_.name; }
    bool established() const { return state_ == State::Up; }

    // 0, or an error number with its text in problem(). A connect of an established connection
    // is confirmed at once; one under way is left to finish.
    int connect();
    // Takes over a connected socket and starts the ISO connection on it.
    void adoptSocket(orva::common::UniqueFd socket);
    // Closes the socket; outstanding requests and queued events of the connection are dropped.
    void abort();
    int readRequest(uint16_t dataBlock, uint16_t startByte, uint16_t count);
    int writeRequest(uint16_t dataBlock, uint16_t startByte, std::span<const uint8_t> data);
    const std::string& problem() const { return problem_; }

    // What poll() should wait for: the socket (-1: none) and its events.
    int fd() const { return socket_.get(); }
    short pollEvents() const;
    // Moves the connection on after poll() reported revents for its socket (0: none), and fails
    // steps whose time is up.
    void service(short revents);
    // Bytes from the partner, as the socket delivered them.
    void received(std::span<const uint8_t> bytes);

private:
    enum class State { Idle, TcpConnecting, CotpWait, SetupWait, Up };
    struct Outstanding {
        bool active = false;
        bool write = false;
        uint16_t pduRef = 0;
        uint16_t count = 0;
    };

    void startIso();
    void send(const std::vector<uint8_t>& frame);
    void flush();
    void onControl(const plc::s7::CotpFrame& frame);
    void onPdu(const std::vector<uint8_t>& pdu);
    void onAnswer(const std::vector<uint8_t>& pdu);
    // Ends the connection with an error: a failed connect confirmation while connecting, an
    // abort indication once established.
    void fail(int error, std::string text);
    void push(int code, int error, std::string text = {}, std::vector<uint8_t> data = {});
    uint16_t nextPduRef();
    int refuse(int error, std::string text);
    int notUp();

    uint16_t ref_;
    ConnectionEntry entry_;
    std::deque<SapiEvent>& events_;
    State state_ = State::Idle;
    orva::common::UniqueFd socket_;
    plc::IsoStreamReader reader_;
    std::vector<uint8_t> pending_;  // bytes not yet taken by the socket
    uint16_t pduRef_ = 0;
    uint16_t setupRef_ = 0;
    uint16_t pduSize_ = 0;
    Outstanding outstanding_;
    // Why the connection broke last (0: it never did since its connect), for later requests.
    int brokenBy_ = 0;
    std::string brokenText_;
    Clock::time_point deadline_{};
    std::string problem_;
};

}  // namespace orva::sapis7
