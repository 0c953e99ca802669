#include "mpi/Framing.h"

namespace orva::mpi {

std::vector<uint8_t> encodeBlock(std::span<const uint8_t> payload)
{
    std::vector<uint8_t> out;
    out.reserve(payload.size() + payload.size() / 8 + 3);
    uint8_t check = 0;
    const auto put = [&](uint8_t b) {
        out.push_back(b);
        check ^= b;
    };
    for (const uint8_t b : payload) {
        put(b);
        if (b == kDle) put(kDle);
    }
    put(kDle);
    put(kEtx);
    out.push_back(check);
    return out;
}

void BlockDecoder::reset()
{
    state_ = State::Receiving;
    payload_.clear();
    check_ = 0;
    afterDle_ = false;
    awaitingBcc_ = false;
}

size_t BlockDecoder::feed(std::span<const uint8_t> bytes)
{
    size_t used = 0;
    while (used < bytes.size() && state_ == State::Receiving) {
        const uint8_t b = bytes[used++];
        if (awaitingBcc_) {
            state_ = b == check_ ? State::Complete : State::BadCheck;
            break;
        }
        check_ ^= b;
        if (afterDle_) {
            afterDle_ = false;
            if (b == kEtx) {
                awaitingBcc_ = true;
            } else if (b == kDle) {
                if (payload_.size() >= kMaxPayload) {
                    state_ = State::TooLong;
                } else {
                    payload_.push_back(kDle);
                }
            } else {
                state_ = State::Malformed;
            }
        } else if (b == kDle) {
            afterDle_ = true;
        } else if (payload_.size() >= kMaxPayload) {
            state_ = State::TooLong;
        } else {
            payload_.push_back(b);
        }
    }
    return used;
}

}  // namespace orva::mpi
