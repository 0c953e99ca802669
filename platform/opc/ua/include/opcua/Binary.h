#pragma once
// The OPC UA binary encoding: little-endian primitives and the built-in types. The reader is
// bounds-checked; any malformed input leaves it in a failed state and every later read yields
// zero values, so decoders check ok() once at the end.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/Types.h"

namespace orva::opcua {

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : out_(out) {}

    void u8(uint8_t v) { out_.push_back(v); }
    void boolean(bool v) { u8(v ? 1 : 0); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    void i8(int8_t v) { u8(static_cast<uint8_t>(v)); }
    void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
    void f32(float v);
    void f64(double v);
    void string(std::string_view s);  // length-prefixed; use nullString() for a null string
    void nullString() { i32(-1); }
    void byteString(std::string_view s) { string(s); }
    void bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void dateTime(DateTime t) { i64(t); }
    void guid(const Guid& g);
    void nodeId(const NodeId& id);
    void expandedNodeId(const ExpandedNodeId& id);
    void qualifiedName(const QualifiedName& q);
    void localizedText(const LocalizedText& t);
    void extensionObject(const ExtensionObject& e);
    void statusCode(StatusCode s) { u32(s); }
    void variant(const Variant& v);
    void dataValue(const DataValue& d);
    void emptyDiagnosticInfo() { u8(0); }
    void arrayLength(size_t n) { i32(static_cast<int32_t>(n)); }
    void emptyArray() { i32(0); }
    void nullArray() { i32(-1); }

    size_t size() const { return out_.size(); }
    void patchU32(size_t at, uint32_t v);
    std::vector<uint8_t>& buffer() { return out_; }

private:
    void scalar(BuiltinType t, const Scalar& s);
    std::vector<uint8_t>& out_;
};

class Reader {
public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}

    bool ok() const { return ok_; }
    void fail() { ok_ = false; }
    size_t position() const { return pos_; }
    size_t remaining() const { return ok_ ? data_.size() - pos_ : 0; }
    bool atEnd() const { return remaining() == 0; }

    uint8_t u8();
    bool boolean() { return u8() != 0; }
    uint16_t u16();
    uint32_t u32();
    uint64_t u64();
    int8_t i8() { return static_cast<int8_t>(u8()); }
    int16_t i16() { return static_cast<int16_t>(u16()); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    int64_t i64() { return static_cast<int64_t>(u64()); }
    float f32();
    double f64();
    std::string string();  // null and empty both give ""
    std::string byteString() { return string(); }
    DateTime dateTime() { return i64(); }
    Guid guid();
    NodeId nodeId();
    ExpandedNodeId expandedNodeId();
    QualifiedName qualifiedName();
    LocalizedText localizedText();
    ExtensionObject extensionObject();
    StatusCode statusCode() { return u32(); }
    Variant variant();
    DataValue dataValue();
    void diagnosticInfo();  // decoded and dropped
    std::span<const uint8_t> take(size_t n);
    void skip(size_t n) { take(n); }

    // Array length: -1 (null) gives 0. Fails when the array cannot fit the bytes left, taking each
    // element to need at least minElementSize bytes, so a forged length never allocates much.
    size_t arrayLength(size_t minElementSize = 1);

    template <class T, class F>
    std::vector<T> array(F readOne, size_t minElementSize = 1)
    {
        const size_t n = arrayLength(minElementSize);
        std::vector<T> out;
        out.reserve(n);
        for (size_t i = 0; i < n && ok_; ++i)
            out.push_back(readOne(*this));
        return out;
    }

private:
    bool need(size_t n);
    Scalar scalar(BuiltinType t);
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool ok_ = true;
    int depth_ = 0;  // nesting of variants, data values and diagnostic infos
};

}  // namespace orva::opcua
