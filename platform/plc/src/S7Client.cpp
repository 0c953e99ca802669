#include "plc/S7Client.h"

#include <poll.h>

#include <algorithm>

#include "plc/IsoTransport.h"
#include "plc/S7Protocol.h"

namespace orva::plc {
namespace {

constexpr uint16_t kLocalReference = 0x0001;

}  // namespace

int s7CodeFromIo(IoStatus status)
{
    switch (status) {
        case IoStatus::Ok:
            return kS7Ok;
        case IoStatus::Refused:
        case IoStatus::Unreachable:
            return kS7Unreachable;
        case IoStatus::Timeout:
            return kS7Timeout;
        case IoStatus::BindFailed:
            return kS7BindFailed;
        case IoStatus::Closed:
        case IoStatus::Reset:
            return kS7ConnectionLost;
        case IoStatus::Error:
            break;
    }
    return kS7NoSocket;
}

namespace {

int codeFromFrame(FrameStatus status)
{
    switch (status) {
        case FrameStatus::Ok:
            return kS7Ok;
        case FrameStatus::Timeout:
            return kS7Timeout;
        case FrameStatus::Violation:
            return kS7ProtocolViolation;
        case FrameStatus::Closed:
        case FrameStatus::Error:
            break;
    }
    return kS7ConnectionLost;
}

}  // namespace

void S7Client::close()
{
    socket_.reset();
    pduSize_ = 0;
}

int S7Client::fail(int code)
{
    close();
    return code;
}

bool S7Client::checkAlive()
{
    if (!socket_.valid()) return false;
    pollfd p{socket_.get(), POLLIN, 0};
    if (::poll(&p, 1, 0) != 0) close();
    return socket_.valid();
}

uint16_t S7Client::nextPduRef()
{
    pduRef_ = static_cast<uint16_t>(pduRef_ + 1);
    if (pduRef_ == 0) pduRef_ = 1;
    return pduRef_;
}

int S7Client::connect(const S7Target& target)
{
    close();
    const Deadline deadline(timeouts_.connect);
    const sockaddr_in* source = target.source ? &*target.source : nullptr;
    if (const int code = s7CodeFromIo(connectTcp(target.remote, source, deadline, socket_)); code != kS7Ok) {
        return fail(code);
    }

    const auto request = s7::encodeConnectionRequest(kLocalReference, s7::kLocalTsap,
                                                     s7::remoteTsap(target.rack, target.slot));
    if (const int code = s7CodeFromIo(sendAll(socket_.get(), request, deadline)); code != kS7Ok)
        return fail(code);
    std::vector<uint8_t> frame;
    if (const int code = codeFromFrame(readFrame(socket_.get(), frame, deadline)); code != kS7Ok) {
        return fail(code);
    }
    s7::CotpFrame cotp;
    if (!s7::decodeCotp(std::span<const uint8_t>(frame).subspan(s7::kTpktHeaderSize), cotp)) {
        return fail(kS7ProtocolViolation);
    }
    if (cotp.kind == s7::CotpKind::DisconnectRequest) return fail(kS7IsoRefused);
    if (cotp.kind != s7::CotpKind::ConnectionConfirm || cotp.dstRef != kLocalReference) {
        return fail(kS7ProtocolViolation);
    }

    const uint16_t ref = nextPduRef();
    if (const int code = exchange(s7::encodeSetupRequest(ref, s7::kRequestedPduSize), response_, deadline);
        code != kS7Ok) {
        return code;
    }
    uint16_t granted = 0;
    const s7::ResponseStatus status = s7::decodeSetupResponse(response_, ref, granted);
    if (status.kind == s7::ResponseKind::HeaderError) return fail(kS7SetupRefused);
    if (status.kind != s7::ResponseKind::Ok) return fail(kS7ProtocolViolation);
    if (granted < s7::kMinPduSize) return fail(kS7PduTooSmall);
    pduSize_ = std::min(granted, s7::kRequestedPduSize);
    return kS7Ok;
}

int S7Client::exchange(const std::vector<uint8_t>& requestPdu, std::vector<uint8_t>& responsePdu,
                       const Deadline& deadline)
{
    if (!socket_.valid()) return kS7ConnectionLost;
    const auto frame = s7::encodeDataFrame(requestPdu);
    if (const int code = s7CodeFromIo(sendAll(socket_.get(), frame, deadline)); code != kS7Ok)
        return fail(code);
    if (const int code = codeFromFrame(readPdu(socket_.get(), responsePdu, deadline)); code != kS7Ok) {
        return fail(code);
    }
    return kS7Ok;
}

template <class Encode, class Decode>
int S7Client::inPieces(size_t total, size_t piece, Encode encode, Decode decode)
{
    for (size_t done = 0; done < total;) {
        const size_t count = std::min(piece, total - done);
        const uint16_t ref = nextPduRef();
        const Deadline deadline(timeouts_.request);
        if (const int code = exchange(encode(ref, done, count), response_, deadline); code != kS7Ok)
            return code;
        const s7::ResponseStatus status = decode(ref, done, count);
        // After an answer that cannot be understood the stream is out of step: the connection goes.
        if (status.kind == s7::ResponseKind::Violation) return fail(kS7ProtocolViolation);
        if (const int code = s7CodeFromResponse(status); code != kS7Ok) return code;
        done += count;
    }
    return kS7Ok;
}

int S7Client::readBytes(uint16_t dataBlock, uint32_t startByte, std::span<uint8_t> destination)
{
    if (!connected()) return kS7ConnectionLost;
    return inPieces(
        destination.size(), pduSize_ - s7::kReadResponseOverhead,
        [&](uint16_t ref, size_t done, size_t count) {
            return s7::encodeReadRequest(ref, dataBlock, static_cast<uint32_t>(startByte + done),
                                         static_cast<uint16_t>(count));
        },
        [&](uint16_t ref, size_t done, size_t count) {
            return s7::decodeReadResponse(response_, ref, destination.subspan(done, count));
        });
}

int S7Client::writeBytes(uint16_t dataBlock, uint32_t startByte, std::span<const uint8_t> source)
{
    if (!connected()) return kS7ConnectionLost;
    return inPieces(
        source.size(), pduSize_ - s7::kWriteRequestOverhead,
        [&](uint16_t ref, size_t done, size_t count) {
            return s7::encodeWriteRequest(ref, dataBlock, static_cast<uint32_t>(startByte + done),
                                          source.subspan(done, count));
        },
        [&](uint16_t ref, size_t, size_t) { return s7::decodeWriteResponse(response_, ref); });
}

}  // namespace orva::plc
