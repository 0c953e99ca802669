#pragma once
// Big-endian byte reader and writer shared by every S7 encoder and decoder.
//
// The reader never reads past its span: a read that does not fit marks the reader failed and
// returns zero (or an empty span); every later read fails too, so a decoder may read a whole
// structure and check ok() once.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orva::plc {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return ok_ ? bytes_.size() - pos_ : 0; }
    bool atEnd() const { return remaining() == 0; }

    uint8_t u8() { return static_cast<uint8_t>(readUnsigned(1)); }
    uint16_t u16() { return static_cast<uint16_t>(readUnsigned(2)); }
    uint32_t u24() { return static_cast<uint32_t>(readUnsigned(3)); }
    uint32_t u32() { return static_cast<uint32_t>(readUnsigned(4)); }

    // The next n bytes, or an empty span (and a failed reader) when fewer remain.
    std::span<const uint8_t> bytes(size_t n)
    {
        if (!take(n)) return {};
        return bytes_.subspan(pos_ - n, n);
    }

    bool skip(size_t n) { return take(n); }

private:
    bool take(size_t n)
    {
        if (!ok_ || n > bytes_.size() - pos_) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        return true;
    }

    uint64_t readUnsigned(size_t n)
    {
        if (!take(n)) return 0;
        uint64_t value = 0;
        for (size_t i = pos_ - n; i < pos_; ++i)
            value = (value << 8) | bytes_[i];
        return value;
    }

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Appends big-endian values to a byte vector, up to a fixed limit; writing past the limit or
// patching outside the written bytes marks the writer failed and leaves the bytes unchanged.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out, size_t limit = SIZE_MAX) : out_(out), limit_(limit) {}

    bool ok() const { return ok_; }
    size_t size() const { return out_.size(); }

    void u8(uint8_t v) { writeUnsigned(v, 1); }
    void u16(uint16_t v) { writeUnsigned(v, 2); }
    void u24(uint32_t v) { writeUnsigned(v & 0xFFFFFFu, 3); }
    void u32(uint32_t v) { writeUnsigned(v, 4); }

    void bytes(std::span<const uint8_t> data)
    {
        if (!fits(data.size())) return;
        out_.insert(out_.end(), data.begin(), data.end());
    }

    // Overwrites a 16-bit value written earlier (length fields known only at the end).
    void patchU16(size_t at, uint16_t v)
    {
        if (!ok_ || at > out_.size() || out_.size() - at < 2) {
            ok_ = false;
            return;
        }
        out_[at] = static_cast<uint8_t>(v >> 8);
        out_[at + 1] = static_cast<uint8_t>(v);
    }

private:
    bool fits(size_t n)
    {
        if (!ok_ || out_.size() > limit_ || n > limit_ - out_.size()) {
            ok_ = false;
            return false;
        }
        return true;
    }

    void writeUnsigned(uint64_t v, size_t n)
    {
        if (!fits(n)) return;
        for (size_t i = n; i-- > 0;)
            out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }

    std::vector<uint8_t>& out_;
    size_t limit_;
    bool ok_ = true;
};

}  // namespace orva::plc
