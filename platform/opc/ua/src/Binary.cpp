#include "opcua/Binary.h"

#include <bit>
#include <cstring>

namespace orva::opcua {

namespace {
constexpr int kMaxDepth = 16;
// The maximum length of a single string or byte string; longer ones are rejected outright.
constexpr size_t kMaxStringLength = 16u * 1024 * 1024;
}  // namespace

void Writer::u16(uint16_t v)
{
    out_.push_back(static_cast<uint8_t>(v));
    out_.push_back(static_cast<uint8_t>(v >> 8));
}

void Writer::u32(uint32_t v)
{
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    out_.insert(out_.end(), b, b + 4);
}

void Writer::u64(uint64_t v)
{
    u32(static_cast<uint32_t>(v));
    u32(static_cast<uint32_t>(v >> 32));
}

void Writer::f32(float v)
{
    u32(std::bit_cast<uint32_t>(v));
}
void Writer::f64(double v)
{
    u64(std::bit_cast<uint64_t>(v));
}

void Writer::string(std::string_view s)
{
    i32(static_cast<int32_t>(s.size()));
    out_.insert(out_.end(), s.begin(), s.end());
}

void Writer::patchU32(size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out_[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void Writer::guid(const Guid& g)
{
    u32(g.data1);
    u16(g.data2);
    u16(g.data3);
    out_.insert(out_.end(), g.data4.begin(), g.data4.end());
}

namespace {
// Writes the identifier part of a node id after an encoding byte whose upper bits are flags.
void writeNodeId(Writer& w, const NodeId& id, uint8_t flags)
{
    switch (id.kind) {
        case NodeId::Kind::Numeric:
            if (id.ns == 0 && id.numeric <= 0xFF) {
                w.u8(0x00 | flags);
                w.u8(static_cast<uint8_t>(id.numeric));
            } else if (id.ns <= 0xFF && id.numeric <= 0xFFFF) {
                w.u8(0x01 | flags);
                w.u8(static_cast<uint8_t>(id.ns));
                w.u16(static_cast<uint16_t>(id.numeric));
            } else {
                w.u8(0x02 | flags);
                w.u16(id.ns);
                w.u32(id.numeric);
            }
            break;
        case NodeId::Kind::String:
            w.u8(0x03 | flags);
            w.u16(id.ns);
            w.string(id.text);
            break;
        case NodeId::Kind::Guid:
            w.u8(0x04 | flags);
            w.u16(id.ns);
            w.guid(id.guid);
            break;
        case NodeId::Kind::Opaque:
            w.u8(0x05 | flags);
            w.u16(id.ns);
            w.byteString(id.text);
            break;
    }
}
}  // namespace

void Writer::nodeId(const NodeId& id)
{
    writeNodeId(*this, id, 0);
}

void Writer::expandedNodeId(const ExpandedNodeId& id)
{
    uint8_t flags = 0;
    if (!id.namespaceUri.empty()) flags |= 0x80;
    if (id.serverIndex != 0) flags |= 0x40;
    writeNodeId(*this, id.id, flags);
    if (flags & 0x80) string(id.namespaceUri);
    if (flags & 0x40) u32(id.serverIndex);
}

void Writer::qualifiedName(const QualifiedName& q)
{
    u16(q.ns);
    string(q.name);
}

void Writer::localizedText(const LocalizedText& t)
{
    const uint8_t mask = (t.locale.empty() ? 0 : 0x01) | (t.text.empty() ? 0 : 0x02);
    u8(mask);
    if (mask & 0x01) string(t.locale);
    if (mask & 0x02) string(t.text);
}

void Writer::extensionObject(const ExtensionObject& e)
{
    nodeId(e.typeId);
    u8(e.encoding);
    if (e.encoding != 0) byteString(e.body);
}

void Writer::scalar(BuiltinType t, const Scalar& s)
{
    const auto i = [&] { return std::holds_alternative<int64_t>(s) ? std::get<int64_t>(s) : 0; };
    const auto u = [&] { return std::holds_alternative<uint64_t>(s) ? std::get<uint64_t>(s) : 0; };
    const auto d = [&] { return std::holds_alternative<double>(s) ? std::get<double>(s) : 0.0; };
    static const std::string emptyString;
    const auto& str = std::holds_alternative<std::string>(s) ? std::get<std::string>(s) : emptyString;
    switch (t) {
        case BuiltinType::Boolean:
            boolean(i() != 0);
            break;
        case BuiltinType::SByte:
            i8(static_cast<int8_t>(i()));
            break;
        case BuiltinType::Byte:
            u8(static_cast<uint8_t>(u()));
            break;
        case BuiltinType::Int16:
            i16(static_cast<int16_t>(i()));
            break;
        case BuiltinType::UInt16:
            u16(static_cast<uint16_t>(u()));
            break;
        case BuiltinType::Int32:
            i32(static_cast<int32_t>(i()));
            break;
        case BuiltinType::UInt32:
            u32(static_cast<uint32_t>(u()));
            break;
        case BuiltinType::Int64:
            i64(i());
            break;
        case BuiltinType::UInt64:
            u64(u());
            break;
        case BuiltinType::Float:
            f32(static_cast<float>(d()));
            break;
        case BuiltinType::Double:
            f64(d());
            break;
        case BuiltinType::DateTimeType:
            dateTime(i());
            break;
        case BuiltinType::StatusCodeType:
            u32(static_cast<uint32_t>(u()));
            break;
        case BuiltinType::String:
        case BuiltinType::ByteString:
        case BuiltinType::XmlElement:
            string(str);
            break;
        case BuiltinType::Guid:
            guid(std::holds_alternative<Guid>(s) ? std::get<Guid>(s) : Guid{});
            break;
        case BuiltinType::NodeId:
            nodeId(std::holds_alternative<NodeId>(s) ? std::get<NodeId>(s) : NodeId{});
            break;
        case BuiltinType::ExpandedNodeId:
            expandedNodeId(std::holds_alternative<ExpandedNodeId>(s) ? std::get<ExpandedNodeId>(s)
                                                                     : ExpandedNodeId{});
            break;
        case BuiltinType::QualifiedName:
            qualifiedName(std::holds_alternative<QualifiedName>(s) ? std::get<QualifiedName>(s)
                                                                   : QualifiedName{});
            break;
        case BuiltinType::LocalizedText:
            localizedText(std::holds_alternative<LocalizedText>(s) ? std::get<LocalizedText>(s)
                                                                   : LocalizedText{});
            break;
        case BuiltinType::ExtensionObject:
            extensionObject(std::holds_alternative<ExtensionObject>(s) ? std::get<ExtensionObject>(s)
                                                                       : ExtensionObject{});
            break;
        case BuiltinType::DataValue:
            u8(0);
            break;  // an empty data value
        case BuiltinType::Variant:
            u8(0);
            break;  // a null variant
        case BuiltinType::DiagnosticInfo:
            u8(0);
            break;  // an empty diagnostic info
        case BuiltinType::Null:
            break;
    }
}

void Writer::variant(const Variant& v)
{
    if (v.type == BuiltinType::Null) {
        u8(0);
        return;
    }
    uint8_t mask = static_cast<uint8_t>(v.type);
    if (v.isArray) mask |= 0x80;
    if (v.isArray && !v.dimensions.empty()) mask |= 0x40;
    u8(mask);
    if (!v.isArray) {
        scalar(v.type, v.scalar);
        return;
    }
    arrayLength(v.array.size());
    for (const auto& e : v.array)
        scalar(v.type, e);
    if (mask & 0x40) {
        arrayLength(v.dimensions.size());
        for (const int32_t d : v.dimensions)
            i32(d);
    }
}

void Writer::dataValue(const DataValue& d)
{
    uint8_t mask = 0;
    if (d.hasValue) mask |= 0x01;
    if (d.status != status::Good) mask |= 0x02;
    if (d.sourceTimestamp != 0) mask |= 0x04;
    if (d.serverTimestamp != 0) mask |= 0x08;
    u8(mask);
    if (mask & 0x01) variant(d.value);
    if (mask & 0x02) statusCode(d.status);
    if (mask & 0x04) dateTime(d.sourceTimestamp);
    if (mask & 0x08) dateTime(d.serverTimestamp);
}

// ---------------------------------------------------------------------------------------------

bool Reader::need(size_t n)
{
    if (!ok_ || data_.size() - pos_ < n) {
        ok_ = false;
        return false;
    }
    return true;
}

std::span<const uint8_t> Reader::take(size_t n)
{
    if (!need(n)) return {};
    const auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
}

uint8_t Reader::u8()
{
    if (!need(1)) return 0;
    return data_[pos_++];
}

uint16_t Reader::u16()
{
    if (!need(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

uint32_t Reader::u32()
{
    if (!need(4)) return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | data_[pos_ + i];
    pos_ += 4;
    return v;
}

uint64_t Reader::u64()
{
    const uint64_t lo = u32();
    const uint64_t hi = u32();
    return lo | (hi << 32);
}

float Reader::f32()
{
    return std::bit_cast<float>(u32());
}
double Reader::f64()
{
    return std::bit_cast<double>(u64());
}

std::string Reader::string()
{
    const int32_t len = i32();
    if (!ok_ || len <= 0) {
        if (len < -1) ok_ = false;
        return {};
    }
    if (static_cast<size_t>(len) > kMaxStringLength || !need(static_cast<size_t>(len))) {
        ok_ = false;
        return {};
    }
    std::string s(reinterpret_cast<const char*>(data_.data() + pos_), static_cast<size_t>(len));
    pos_ += static_cast<size_t>(len);
    return s;
}

size_t Reader::arrayLength(size_t minElementSize)
{
    const int32_t len = i32();
    if (!ok_ || len <= 0) {
        if (len < -1) ok_ = false;
        return 0;
    }
    const size_t n = static_cast<size_t>(len);
    if (minElementSize > 0 && n > remaining() / minElementSize) {
        ok_ = false;
        return 0;
    }
    return n;
}

Guid Reader::guid()
{
    Guid g;
    g.data1 = u32();
    g.data2 = u16();
    g.data3 = u16();
    const auto b = take(8);
    if (ok_) std::memcpy(g.data4.data(), b.data(), 8);
    return g;
}

namespace {
NodeId readNodeIdBody(Reader& r, uint8_t encoding)
{
    NodeId id;
    switch (encoding & 0x0F) {
        case 0x00:
            id.numeric = r.u8();
            break;
        case 0x01:
            id.ns = r.u8();
            id.numeric = r.u16();
            break;
        case 0x02:
            id.ns = r.u16();
            id.numeric = r.u32();
            break;
        case 0x03:
            id.ns = r.u16();
            id.kind = NodeId::Kind::String;
            id.text = r.string();
            break;
        case 0x04:
            id.ns = r.u16();
            id.kind = NodeId::Kind::Guid;
            id.guid = r.guid();
            break;
        case 0x05:
            id.ns = r.u16();
            id.kind = NodeId::Kind::Opaque;
            id.text = r.byteString();
            break;
        default:
            r.fail();
    }
    return id;
}
}  // namespace

NodeId Reader::nodeId()
{
    const uint8_t encoding = u8();
    if (encoding & 0xC0) {  // the expanded flags are not allowed in a plain node id
        ok_ = false;
        return {};
    }
    return readNodeIdBody(*this, encoding);
}

ExpandedNodeId Reader::expandedNodeId()
{
    const uint8_t encoding = u8();
    ExpandedNodeId e;
    e.id = readNodeIdBody(*this, encoding);
    if (encoding & 0x80) e.namespaceUri = string();
    if (encoding & 0x40) e.serverIndex = u32();
    return e;
}

QualifiedName Reader::qualifiedName()
{
    QualifiedName q;
    q.ns = u16();
    q.name = string();
    return q;
}

LocalizedText Reader::localizedText()
{
    LocalizedText t;
    const uint8_t mask = u8();
    if (mask & ~0x03) ok_ = false;
    if (mask & 0x01) t.locale = string();
    if (mask & 0x02) t.text = string();
    return t;
}

ExtensionObject Reader::extensionObject()
{
    ExtensionObject e;
    e.typeId = nodeId();
    e.encoding = u8();
    if (e.encoding > 2) ok_ = false;
    if (e.encoding != 0) e.body = byteString();
    return e;
}

Scalar Reader::scalar(BuiltinType t)
{
    switch (t) {
        case BuiltinType::Boolean:
            return int64_t{u8() != 0};
        case BuiltinType::SByte:
            return int64_t{i8()};
        case BuiltinType::Byte:
            return uint64_t{u8()};
        case BuiltinType::Int16:
            return int64_t{i16()};
        case BuiltinType::UInt16:
            return uint64_t{u16()};
        case BuiltinType::Int32:
            return int64_t{i32()};
        case BuiltinType::UInt32:
            return uint64_t{u32()};
        case BuiltinType::Int64:
            return i64();
        case BuiltinType::UInt64:
            return u64();
        case BuiltinType::Float:
            return double{f32()};
        case BuiltinType::Double:
            return f64();
        case BuiltinType::DateTimeType:
            return dateTime();
        case BuiltinType::StatusCodeType:
            return uint64_t{u32()};
        case BuiltinType::String:
        case BuiltinType::ByteString:
        case BuiltinType::XmlElement:
            return string();
        case BuiltinType::Guid:
            return guid();
        case BuiltinType::NodeId:
            return nodeId();
        case BuiltinType::ExpandedNodeId:
            return expandedNodeId();
        case BuiltinType::QualifiedName:
            return qualifiedName();
        case BuiltinType::LocalizedText:
            return localizedText();
        case BuiltinType::ExtensionObject:
            return extensionObject();
        case BuiltinType::DataValue:
            dataValue();
            return {};
        case BuiltinType::Variant:
            variant();
            return {};
        case BuiltinType::DiagnosticInfo:
            diagnosticInfo();
            return {};
        case BuiltinType::Null:
            return {};
    }
    ok_ = false;
    return {};
}

Variant Reader::variant()
{
    Variant v;
    if (++depth_ > kMaxDepth) ok_ = false;
    const uint8_t mask = u8();
    const uint8_t type = mask & 0x3F;
    if (!ok_ || type > static_cast<uint8_t>(BuiltinType::DiagnosticInfo)) {
        ok_ = false;
        --depth_;
        return {};
    }
    v.type = static_cast<BuiltinType>(type);
    if (mask & 0x80) {
        v.isArray = true;
        const size_t n = arrayLength(1);
        v.array.reserve(n);
        for (size_t i = 0; i < n && ok_; ++i)
            v.array.push_back(scalar(v.type));
        if (mask & 0x40) {
            v.dimensions = array<int32_t>([](Reader& r) { return r.i32(); }, 4);
            size_t product = 1;
            for (const int32_t d : v.dimensions) {
                if (d < 0) ok_ = false;
                product *= static_cast<size_t>(d < 0 ? 0 : d);
                if (product > v.array.size()) break;
            }
            if (product != v.array.size() || v.dimensions.empty()) ok_ = false;
        }
    } else {
        if (mask & 0x40) ok_ = false;
        if (v.type != BuiltinType::Null) v.scalar = scalar(v.type);
    }
    --depth_;
    if (!ok_) return {};
    return v;
}

DataValue Reader::dataValue()
{
    DataValue d;
    if (++depth_ > kMaxDepth) ok_ = false;
    const uint8_t mask = u8();
    if (mask & 0xC0) ok_ = false;
    if (mask & 0x01) {
        d.hasValue = true;
        d.value = variant();
    }
    if (mask & 0x02) d.status = statusCode();
    if (mask & 0x04) d.sourceTimestamp = dateTime();
    if (mask & 0x10) u16();
    if (mask & 0x08) d.serverTimestamp = dateTime();
    if (mask & 0x20) u16();
    --depth_;
    return d;
}

void Reader::diagnosticInfo()
{
    if (++depth_ > kMaxDepth) ok_ = false;
    const uint8_t mask = u8();
    if (mask & 0x80) ok_ = false;
    if (mask & 0x01) i32();
    if (mask & 0x02) i32();
    if (mask & 0x04) i32();
    if (mask & 0x08) i32();
    if (mask & 0x10) string();
    if (mask & 0x20) statusCode();
    if ((mask & 0x40) && ok_) diagnosticInfo();
    --depth_;
}

}  // namespace orva::opcua
