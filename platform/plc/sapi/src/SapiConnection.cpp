#include "sapis7/SapiConnection.h"

#include <poll.h>

#include <algorithm>

#include "plc/S7Client.h"
#include "plc/S7ErrorCodes.h"
#include "plc/S7Protocol.h"
#include "plc/Socket.h"
#include "sapis7/SapiErrors.h"

namespace orva::sapis7 {
namespace {

using namespace orva::plc;

constexpr uint16_t kLocalReference = 0x0001;
// Bytes taken from the socket per receive call.
constexpr std::size_t kReceiveChunk = 2048;

std::string returnCodeText(int error, uint8_t returnCode)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", returnCode);
    return sapiErrorMessage(error) + " (S7 return code " + hex + ")";
}

std::string headerErrorText(int error, uint8_t errorClass, uint8_t errorCode)
{
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%02X, code 0x%02X", errorClass, errorCode);
    return sapiErrorMessage(error) + " (S7 error class " + hex + ")";
}

}  // namespace

SapiConnection::SapiConnection(uint16_t ref, ConnectionEntry entry, std::deque<SapiEvent>& events)
    : ref_(ref), entry_(std::move(entry)), events_(events)
{
}

int SapiConnection::refuse(int error, std::string text)
{
    problem_ = std::move(text);
    return error;
}

uint16_t SapiConnection::nextPduRef()
{
    pduRef_ = static_cast<uint16_t>(pduRef_ + 1);
    if (pduRef_ == 0) pduRef_ = 1;
    return pduRef_;
}

void SapiConnection::push(int code, int error, std::string text, std::vector<uint8_t> data)
{
    events_.push_back(SapiEvent{ref_, code, error, std::move(text), std::move(data)});
}

int SapiConnection::connect()
{
    if (state_ == State::Up) {
        push(kEventConnectConfirm, 0);
        return 0;
    }
    if (state_ != State::Idle) return 0;
    brokenBy_ = 0;
    if (!entry_.target) return refuse(entry_.error, "connection " + entry_.name + ": " + entry_.problem);
    const ConnectionTarget& target = *entry_.target;
    const sockaddr_in* source = target.source ? &*target.source : nullptr;
    const IoStatus status = beginConnectTcp(target.remote, source, socket_);
    if (status != IoStatus::Ok) {
        const int error = s7CodeFromIo(status);
        // Refusals known at once are confirmed like those that come later.
        if (error == kSapiRefused || error == kSapiConnectionLost) {
            push(kEventConnectConfirm, error, "connection " + entry_.name + ": " + sapiErrorMessage(error));
            return 0;
        }
        return refuse(error, "connection " + entry_.name + ": " + sapiErrorMessage(error));
    }
    reader_.reset();
    pending_.clear();
    outstanding_ = {};
    state_ = State::TcpConnecting;
    deadline_ = Clock::now() + kConnectTimeout;
    return 0;
}

void SapiConnection::adoptSocket(orva::common::UniqueFd socket)
{
    abort();
    socket_ = std::move(socket);
    deadline_ = Clock::now() + kConnectTimeout;
    startIso();
}

void SapiConnection::startIso()
{
    state_ = State::CotpWait;
    const ConnectionTarget target = entry_.target.value_or(ConnectionTarget{});
    send(s7::encodeConnectionRequest(kLocalReference, s7::kLocalTsap,
                                     s7::remoteTsap(target.rack, target.slot)));
}

void SapiConnection::abort()
{
    if (socket_.valid()) setAbortiveClose(socket_.get());
    socket_.reset();
    state_ = State::Idle;
    brokenBy_ = 0;
    outstanding_ = {};
    pending_.clear();
    reader_.reset();
    std::erase_if(events_, [this](const SapiEvent& e) { return e.connection == ref_; });
}

int SapiConnection::notUp()
{
    // A connection the partner broke says so until it is connected again.
    if (brokenBy_ != 0) return refuse(brokenBy_, brokenText_);
    return refuse(kSapiNotConnected, "connection " + entry_.name + " is not established");
}

int SapiConnection::readRequest(uint16_t dataBlock, uint16_t startByte, uint16_t count)
{
    if (state_ != State::Up) return notUp();
    if (outstanding_.active) return refuse(kSapiRequestPending, sapiErrorMessage(kSapiRequestPending));
    if (count == 0 || count > pduSize_ - s7::kReadResponseOverhead)
        return refuse(kSapiBadArgument, "read of " + std::to_string(count) + " bytes does not fit one PDU");
    const uint16_t ref = nextPduRef();
    send(s7::encodeDataFrame(s7::encodeReadRequest(ref, dataBlock, startByte, count)));
    outstanding_ = {true, false, ref, count};
    deadline_ = Clock::now() + kRequestTimeout;
    return 0;
}

int SapiConnection::writeRequest(uint16_t dataBlock, uint16_t startByte, std::span<const uint8_t> data)
{
    if (state_ != State::Up) return notUp();
    if (outstanding_.active) return refuse(kSapiRequestPending, sapiErrorMessage(kSapiRequestPending));
    if (data.empty() || data.size() > pduSize_ - s7::kWriteRequestOverhead)
        return refuse(kSapiBadArgument,
                      "write of " + std::to_string(data.size()) + " bytes does not fit one PDU");
    const uint16_t ref = nextPduRef();
    send(s7::encodeDataFrame(s7::encodeWriteRequest(ref, dataBlock, startByte, data)));
    outstanding_ = {true, true, ref, static_cast<uint16_t>(data.size())};
    deadline_ = Clock::now() + kRequestTimeout;
    return 0;
}

short SapiConnection::pollEvents() const
{
    if (!socket_.valid()) return 0;
    if (state_ == State::TcpConnecting) return POLLOUT;
    return static_cast<short>(POLLIN | (pending_.empty() ? 0 : POLLOUT));
}

void SapiConnection::send(const std::vector<uint8_t>& frame)
{
    pending_.insert(pending_.end(), frame.begin(), frame.end());
    flush();
}

void SapiConnection::flush()
{
    if (!socket_.valid() || pending_.empty() || state_ == State::TcpConnecting) return;
    std::size_t sent = 0;
    const IoStatus status = sendAvailable(socket_.get(), pending_, sent);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(sent));
    if (status != IoStatus::Ok) fail(s7CodeFromIo(status), {});
}

void SapiConnection::service(short revents)
{
    if (!socket_.valid()) return;
    if (state_ == State::TcpConnecting) {
        if ((revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const IoStatus outcome = finishConnectTcp(socket_.get());
            if (outcome != IoStatus::Ok) return fail(s7CodeFromIo(outcome), {});
            startIso();
        }
    } else {
        if ((revents & POLLOUT) != 0) flush();
        if (socket_.valid() && (revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
            uint8_t chunk[kReceiveChunk];
            std::size_t got = 0;
            const IoStatus status = receiveAvailable(socket_.get(), chunk, got);
            if (got > 0) received(std::span<const uint8_t>(chunk, got));
            if (status != IoStatus::Ok && socket_.valid()) return fail(s7CodeFromIo(status), {});
        }
    }
    const bool waiting = state_ != State::Up || outstanding_.active;
    if (socket_.valid() && waiting && Clock::now() >= deadline_) fail(kSapiTimeout, {});
}

void SapiConnection::received(std::span<const uint8_t> bytes)
{
    if (state_ == State::Idle || state_ == State::TcpConnecting) return;
    reader_.append(bytes);
    for (;;) {
        switch (reader_.next()) {
            case IsoStreamReader::Unit::NeedMore:
                return;
            case IsoStreamReader::Unit::Violation:
                return fail(kSapiProtocolViolation, {});
            case IsoStreamReader::Unit::Control:
                onControl(reader_.control());
                break;
            case IsoStreamReader::Unit::Pdu:
                onPdu(reader_.pdu());
                break;
        }
        if (state_ == State::Idle) return;
    }
}

void SapiConnection::onControl(const s7::CotpFrame& frame)
{
    if (frame.kind == s7::CotpKind::DisconnectRequest)
        return fail(state_ == State::CotpWait ? kSapiIsoRefused : kSapiConnectionLost, {});
    if (state_ != State::CotpWait || frame.kind != s7::CotpKind::ConnectionConfirm ||
        frame.dstRef != kLocalReference)
        return fail(kSapiProtocolViolation, {});
    state_ = State::SetupWait;
    setupRef_ = nextPduRef();
    send(s7::encodeDataFrame(s7::encodeSetupRequest(setupRef_, s7::kRequestedPduSize)));
}

void SapiConnection::onPdu(const std::vector<uint8_t>& pdu)
{
    if (state_ == State::CotpWait) return fail(kSapiProtocolViolation, {});
    if (state_ == State::Up) return onAnswer(pdu);
    uint16_t granted = 0;
    const s7::ResponseStatus status = s7::decodeSetupResponse(pdu, setupRef_, granted);
    if (status.kind == s7::ResponseKind::HeaderError) return fail(kSapiSetupRefused, {});
    if (status.kind != s7::ResponseKind::Ok) return fail(kSapiProtocolViolation, {});
    if (granted < s7::kMinPduSize) return fail(kSapiPduTooSmall, {});
    pduSize_ = std::min(granted, s7::kRequestedPduSize);
    state_ = State::Up;
    push(kEventConnectConfirm, 0);
}

void SapiConnection::onAnswer(const std::vector<uint8_t>& pdu)
{
    s7::S7Header header;
    // A late or stray answer is dropped; one we cannot even read puts the stream out of step.
    if (!s7::decodeS7Header(pdu, header)) return fail(kSapiProtocolViolation, {});
    if (!outstanding_.active || header.pduRef != outstanding_.pduRef) return;
    const Outstanding request = outstanding_;
    outstanding_ = {};
    std::vector<uint8_t> data;
    s7::ResponseStatus status;
    if (request.write) {
        status = s7::decodeWriteResponse(pdu, request.pduRef);
    } else {
        data.resize(request.count);
        status = s7::decodeReadResponse(pdu, request.pduRef, data);
    }
    if (status.kind == s7::ResponseKind::Violation) return fail(kSapiProtocolViolation, {});
    const int error = s7CodeFromResponse(status);
    std::string text;
    if (status.kind == s7::ResponseKind::ItemError) text = returnCodeText(error, status.returnCode);
    if (status.kind == s7::ResponseKind::HeaderError)
        text = headerErrorText(error, status.errorClass, status.errorCode);
    if (error != 0) data.clear();
    push(request.write ? kEventWriteConfirm : kEventReadConfirm, error, std::move(text), std::move(data));
}

void SapiConnection::fail(int error, std::string text)
{
    if (text.empty()) text = "connection " + entry_.name + ": " + sapiErrorMessage(error);
    const bool connecting = state_ != State::Up;
    abort();
    brokenBy_ = error;
    brokenText_ = text;
    push(connecting ? kEventConnectConfirm : kEventAbortIndication, error, std::move(text));
}

}  // namespace orva::sapis7
