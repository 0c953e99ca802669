#include "plc/IsoTransport.h"

#include <span>

#include "plc/S7Protocol.h"

namespace orva::plc {
FrameStatus frameStatusFromIo(IoStatus status)
{
    switch (status) {
        case IoStatus::Ok:
            return FrameStatus::Ok;
        case IoStatus::Timeout:
            return FrameStatus::Timeout;
        case IoStatus::Closed:
        case IoStatus::Reset:
            return FrameStatus::Closed;
        default:
            return FrameStatus::Error;
    }
}

FrameStatus readFrame(int fd, std::vector<uint8_t>& frame, const Deadline& deadline)
{
    frame.resize(s7::kTpktHeaderSize);
    FrameStatus status = frameStatusFromIo(receiveExact(fd, frame, deadline));
    if (status != FrameStatus::Ok) return status;
    const size_t length = s7::tpktFrameLength(frame);
    if (length == 0) return FrameStatus::Violation;
    frame.resize(length);
    return frameStatusFromIo(
        receiveExact(fd, std::span<uint8_t>(frame).subspan(s7::kTpktHeaderSize), deadline));
}

FrameStatus readPdu(int fd, std::vector<uint8_t>& pdu, const Deadline& deadline)
{
    pdu.clear();
    std::vector<uint8_t> frame;
    for (int fragment = 0; fragment < s7::kMaxFragments; ++fragment) {
        const FrameStatus status = readFrame(fd, frame, deadline);
        if (status != FrameStatus::Ok) return status;
        s7::CotpFrame cotp;
        if (!s7::decodeCotp(std::span<const uint8_t>(frame).subspan(s7::kTpktHeaderSize), cotp)) {
            return FrameStatus::Violation;
        }
        if (cotp.kind == s7::CotpKind::DisconnectRequest) return FrameStatus::Closed;
        if (cotp.kind != s7::CotpKind::Data) return FrameStatus::Violation;
        if (pdu.size() + cotp.payload.size() > s7::kMaxFrameSize) return FrameStatus::Violation;
        pdu.insert(pdu.end(), cotp.payload.begin(), cotp.payload.end());
        if (cotp.lastDataUnit) return FrameStatus::Ok;
    }
    return FrameStatus::Violation;
}

}  // namespace orva::plc
