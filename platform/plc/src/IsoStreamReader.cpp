#include "plc/IsoStreamReader.h"

namespace orva::plc {
void IsoStreamReader::append(std::span<const uint8_t> bytes)
{
    if (violated_) return;
    // Drop what was consumed before growing, so the buffer stays one frame and a bit.
    if (consumed_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_));
        consumed_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

IsoStreamReader::Unit IsoStreamReader::next()
{
    while (!violated_) {
        const std::span<const uint8_t> waiting = std::span<const uint8_t>(buffer_).subspan(consumed_);
        if (waiting.size() < s7::kTpktHeaderSize) return Unit::NeedMore;
        const std::size_t length = s7::tpktFrameLength(waiting.first(s7::kTpktHeaderSize));
        if (length == 0) break;
        if (waiting.size() < length) return Unit::NeedMore;
        consumed_ += length;

        s7::CotpFrame cotp;
        if (!s7::decodeCotp(waiting.subspan(s7::kTpktHeaderSize, length - s7::kTpktHeaderSize), cotp)) break;
        if (cotp.kind != s7::CotpKind::Data) {
            control_ = cotp;
            control_.payload = {};
            return Unit::Control;
        }
        if (++fragments_ > s7::kMaxFragments || partial_.size() + cotp.payload.size() > s7::kMaxFrameSize)
            break;
        partial_.insert(partial_.end(), cotp.payload.begin(), cotp.payload.end());
        if (!cotp.lastDataUnit) continue;
        pdu_.swap(partial_);
        partial_.clear();
        fragments_ = 0;
        return Unit::Pdu;
    }
    violated_ = true;
    return Unit::Violation;
}

void IsoStreamReader::reset()
{
    buffer_.clear();
    consumed_ = 0;
    partial_.clear();
    fragments_ = 0;
    pdu_.clear();
    control_ = {};
    violated_ = false;
}

}  // namespace orva::plc
