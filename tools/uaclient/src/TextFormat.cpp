#include "TextFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>

namespace orva::uaclient {

using namespace orva::opcua;

NodeId parseNodeId(const std::string& text)
{
    std::string rest = text;
    uint16_t ns = 0;
    bool explicitNs = false;
    if (rest.rfind("ns=", 0) == 0) {
        const auto semi = rest.find(';');
        if (semi != std::string::npos) {
            unsigned value = 0;
            const auto [p, ec] = std::from_chars(rest.data() + 3, rest.data() + semi, value);
            if (ec == std::errc{} && p == rest.data() + semi && value <= 0xFFFF) {
                ns = static_cast<uint16_t>(value);
                explicitNs = true;
                rest = rest.substr(semi + 1);
            }
        }
    }
    if (rest.rfind("i=", 0) == 0) {
        uint32_t value = 0;
        const auto [p, ec] = std::from_chars(rest.data() + 2, rest.data() + rest.size(), value);
        if (ec == std::errc{} && p == rest.data() + rest.size()) return NodeId::num(value, ns);
    }
    if (rest.rfind("s=", 0) == 0) return NodeId::str(rest.substr(2), explicitNs ? ns : 1);
    return NodeId::str(text, 1);
}

std::optional<Endpoint> parseEndpoint(const std::string& url, std::string& error)
{
    const std::string scheme = "opc.tcp://";
    if (url.rfind(scheme, 0) != 0) {
        error = "endpoint must start with opc.tcp://";
        return std::nullopt;
    }
    std::string rest = url.substr(scheme.size());
    rest = rest.substr(0, rest.find('/'));
    Endpoint e;
    std::string portText;
    if (!rest.empty() && rest[0] == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos) {
            error = "bad IPv6 address in " + url;
            return std::nullopt;
        }
        e.host = rest.substr(1, close - 1);
        if (close + 1 < rest.size() && rest[close + 1] == ':') portText = rest.substr(close + 2);
    } else {
        const auto colon = rest.rfind(':');
        e.host = rest.substr(0, colon);
        if (colon != std::string::npos) portText = rest.substr(colon + 1);
    }
    if (!portText.empty()) {
        unsigned port = 0;
        const auto [p, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc{} || p != portText.data() + portText.size() || port == 0 || port > 65535) {
            error = "bad port in " + url;
            return std::nullopt;
        }
        e.port = static_cast<uint16_t>(port);
    }
    const bool loopback = e.host == "localhost" || e.host == "::1" || e.host.rfind("127.", 0) == 0;
    if (!loopback) {
        error = "uaclient talks to servers on this machine only (127.0.0.0/8, ::1, localhost)";
        return std::nullopt;
    }
    return e;
}

namespace {
// Control characters (a PLC string's zero padding, for one) are shown as \xNN, so that a line of
// output stays one line of plain text.
std::string printableText(const std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string scalarText(BuiltinType t, const Scalar& s)
{
    if (std::holds_alternative<std::monostate>(s)) return "null";
    switch (t) {
        case BuiltinType::Boolean:
            return std::get<int64_t>(s) != 0 ? "true" : "false";
        case BuiltinType::DateTimeType:
            return formatTime(std::get<int64_t>(s));
        case BuiltinType::StatusCodeType:
            return formatStatus(static_cast<StatusCode>(std::get<uint64_t>(s)));
        case BuiltinType::Float: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.7g", std::get<double>(s));
            return buf;
        }
        case BuiltinType::Double: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.15g", std::get<double>(s));
            return buf;
        }
        default:
            break;
    }
    if (const auto* i = std::get_if<int64_t>(&s)) return std::to_string(*i);
    if (const auto* u = std::get_if<uint64_t>(&s)) return std::to_string(*u);
    if (const auto* str = std::get_if<std::string>(&s)) {
        if (t == BuiltinType::ByteString) return "<" + std::to_string(str->size()) + " bytes>";
        return printableText(*str);
    }
    if (const auto* n = std::get_if<NodeId>(&s)) return n->toString();
    if (const auto* e = std::get_if<ExpandedNodeId>(&s)) return e->id.toString();
    if (const auto* q = std::get_if<QualifiedName>(&s)) return std::to_string(q->ns) + ":" + q->name;
    if (const auto* l = std::get_if<LocalizedText>(&s)) return l->text;
    if (const auto* x = std::get_if<ExtensionObject>(&s))
        return "<structure " + x->typeId.toString() + ", " + std::to_string(x->body.size()) + " bytes>";
    if (std::holds_alternative<Guid>(s))
        return NodeId{0, NodeId::Kind::Guid, 0, {}, std::get<Guid>(s)}.toString().substr(2);
    return "?";
}
}  // namespace

std::string formatValue(const Variant& v)
{
    if (v.isNull()) return "null";
    if (!v.isArray) return scalarText(v.type, v.scalar);
    std::string out = "[";
    for (size_t i = 0; i < v.array.size(); ++i) {
        if (i > 0) out += ", ";
        out += scalarText(v.type, v.array[i]);
    }
    return out + "]";
}

std::string formatStatus(StatusCode s)
{
    static const std::pair<StatusCode, const char*> names[] = {
        {status::Good, "Good"},
        {status::Uncertain, "Uncertain"},
        {status::Bad, "Bad"},
        {status::BadOutOfService, "BadOutOfService"},
        {status::BadDeviceFailure, "BadDeviceFailure"},
        {status::BadCommunicationError, "BadCommunicationError"},
        {status::BadNodeIdUnknown, "BadNodeIdUnknown"},
        {status::BadAttributeIdInvalid, "BadAttributeIdInvalid"},
        {status::BadNotReadable, "BadNotReadable"},
        {status::BadNotWritable, "BadNotWritable"},
        {status::BadTypeMismatch, "BadTypeMismatch"},
        {status::BadTooManyOperations, "BadTooManyOperations"},
        {status::BadSessionIdInvalid, "BadSessionIdInvalid"},
        {status::BadShutdown, "BadShutdown"},
        {status::BadTimeout, "BadTimeout"},
        {status::BadServiceUnsupported, "BadServiceUnsupported"},
        {status::BadTooManySessions, "BadTooManySessions"},
        {status::BadWaitingForInitialData, "BadWaitingForInitialData"},
    };
    for (const auto& [code, name] : names)
        if (code == s) return name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", s);
    return buf;
}

std::string formatTime(DateTime t)
{
    if (t == 0) return "-";
    constexpr int64_t kEpoch = 116444736000000000LL;
    const int64_t ticks = t - kEpoch;
    const std::time_t seconds = static_cast<std::time_t>(ticks / 10'000'000);
    const int millis = static_cast<int>((ticks % 10'000'000) / 10'000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis < 0 ? 0 : millis);
    return buf;
}

namespace {
std::optional<Scalar> parseScalar(std::string text, BuiltinType t)
{
    while (!text.empty() && text.front() == ' ')
        text.erase(text.begin());
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    const auto integer = [&](int64_t lo, int64_t hi) -> std::optional<Scalar> {
        int64_t v = 0;
        const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc{} || p != text.data() + text.size() || v < lo || v > hi) return std::nullopt;
        return Scalar{v};
    };
    const auto unsignedInt = [&](uint64_t hi) -> std::optional<Scalar> {
        uint64_t v = 0;
        const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc{} || p != text.data() + text.size() || v > hi) return std::nullopt;
        return Scalar{v};
    };
    switch (t) {
        case BuiltinType::Boolean:
            if (text == "true" || text == "1") return Scalar{int64_t{1}};
            if (text == "false" || text == "0") return Scalar{int64_t{0}};
            return std::nullopt;
        case BuiltinType::SByte:
            return integer(-128, 127);
        case BuiltinType::Int16:
            return integer(-32768, 32767);
        case BuiltinType::Int32:
            return integer(INT32_MIN, INT32_MAX);
        case BuiltinType::Int64:
            return integer(INT64_MIN, INT64_MAX);
        case BuiltinType::Byte:
            return unsignedInt(255);
        case BuiltinType::UInt16:
            return unsignedInt(65535);
        case BuiltinType::UInt32:
            return unsignedInt(UINT32_MAX);
        case BuiltinType::UInt64:
            return unsignedInt(UINT64_MAX);
        case BuiltinType::Float:
        case BuiltinType::Double: {
            std::istringstream in(text);
            double d = 0;
            if (!(in >> d) || !in.eof() || !std::isfinite(d)) return std::nullopt;
            return Scalar{d};
        }
        case BuiltinType::String:
            return Scalar{text};
        default:
            return std::nullopt;
    }
}
}  // namespace

std::optional<Variant> parseValue(const std::string& text, BuiltinType type, bool isArray)
{
    if (!isArray) {
        // Strings keep their spaces.
        if (type == BuiltinType::String) return Variant::string(text);
        const auto s = parseScalar(text, type);
        if (!s) return std::nullopt;
        return Variant::of(type, *s);
    }
    std::vector<Scalar> elements;
    std::string body = text;
    if (!body.empty() && body.front() == '[') body.erase(body.begin());
    if (!body.empty() && body.back() == ']') body.pop_back();
    std::istringstream in(body);
    std::string part;
    while (std::getline(in, part, ',')) {
        const auto s = parseScalar(part, type);
        if (!s) return std::nullopt;
        elements.push_back(*s);
    }
    return Variant::arrayOf(type, std::move(elements));
}

}  // namespace orva::uaclient
