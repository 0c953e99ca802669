#include "mqtt/JsonWriteRequest.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <variant>

namespace orva::mqtt {
namespace {

// A JSON scalar of a write value.
using Scalar = std::variant<bool, double, std::string>;

// A bounds-checked reader over the payload; every read checks the position first.
class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    bool atEnd()
    {
        skipSpace();
        return pos_ == text_.size();
    }

    bool consume(char c)
    {
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool expect(char c)
    {
        if (consume(c)) return true;
        return fail(std::string("expected '") + c + "'");
    }
    char peek()
    {
        skipSpace();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }

    bool string(std::string& out)
    {
        if (!expect('"')) return false;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) break;
            const char e = text_[pos_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    char32_t code = 0;
                    if (!hex4(code)) return false;
                    if (code >= 0xD800 && code <= 0xDBFF) {
                        char32_t low = 0;
                        if (pos_ + 1 >= text_.size() || text_[pos_] != '\\' || text_[pos_ + 1] != 'u')
                            return fail("lone surrogate");
                        pos_ += 2;
                        if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return fail("lone surrogate");
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xDC00 && code <= 0xDFFF) {
                        return fail("lone surrogate");
                    }
                    appendUtf8(out, code);
                    break;
                }
                default:
                    return fail("bad escape");
            }
        }
        return fail("unterminated string");
    }

    bool number(double& out)
    {
        skipSpace();
        const std::size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
        while (pos_ < text_.size() &&
               std::string_view("0123456789.eE+-").find(text_[pos_]) != std::string_view::npos)
            ++pos_;
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        const auto [end, error] = std::from_chars(first, last, out);
        if (first == last || error != std::errc() || end != last || !std::isfinite(out))
            return fail("bad number");
        return true;
    }

    bool literal(std::string_view word)
    {
        skipSpace();
        if (text_.substr(pos_, word.size()) != word) return fail("bad literal");
        pos_ += word.size();
        return true;
    }

    bool fail(std::string why)
    {
        if (error_.empty()) error_ = std::move(why) + " at byte " + std::to_string(pos_);
        return false;
    }

private:
    void skipSpace()
    {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }
    bool hex4(char32_t& code)
    {
        if (text_.size() - pos_ < 4) return fail("short \\u escape");
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= static_cast<char32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= static_cast<char32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= static_cast<char32_t>(c - 'A' + 10);
            else
                return fail("bad \\u escape");
        }
        return true;
    }
    static void appendUtf8(std::string& out, char32_t c)
    {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;
};

// Skips any JSON value (objects and arrays nested at most `depth` deep).
bool skipValue(Parser& p, int depth)
{
    const char c = p.peek();
    if (c == '{' || c == '[') {
        if (depth == 0) return p.fail("nested too deeply");
        const char close = c == '{' ? '}' : ']';
        p.consume(c);
        if (p.consume(close)) return true;
        do {
            if (c == '{') {
                std::string key;
                if (!p.string(key) || !p.expect(':')) return false;
            }
            if (!skipValue(p, depth - 1)) return false;
        } while (p.consume(','));
        return p.expect(close);
    }
    if (c == '"') {
        std::string ignored;
        return p.string(ignored);
    }
    if (c == 't') return p.literal("true");
    if (c == 'f') return p.literal("false");
    if (c == 'n') return p.literal("null");
    double ignored = 0;
    return p.number(ignored);
}

// A scalar, or nothing (the parser unchanged) when the value is no scalar.
std::optional<Scalar> scalar(Parser& p)
{
    const char c = p.peek();
    if (c == '"') {
        std::string s;
        if (!p.string(s)) return std::nullopt;
        return Scalar{std::move(s)};
    }
    if (c == 't') return p.literal("true") ? std::optional<Scalar>{true} : std::nullopt;
    if (c == 'f') return p.literal("false") ? std::optional<Scalar>{false} : std::nullopt;
    if (c == '-' || (c >= '0' && c <= '9')) {
        double d = 0;
        if (!p.number(d)) return std::nullopt;
        return Scalar{d};
    }
    return std::nullopt;
}

// Whole numbers as the narrowest of I4 and UI4 that holds them, others as R8, so the toolkit's
// conversion to the tag's type sees the value as written.
void setNumber(opc::SOCmnVariant& v, double d)
{
    if (std::trunc(d) == d && d >= INT32_MIN && d <= INT32_MAX)
        v.setI4(static_cast<int32_t>(d));
    else if (std::trunc(d) == d && d >= 0 && d <= UINT32_MAX)
        v.setUI4(static_cast<uint32_t>(d));
    else
        v.setR8(d);
}

opc::SOCmnVariant arrayValue(const std::vector<Scalar>& elements)
{
    opc::SOCmnVariant v;
    if (elements.empty()) return v;
    const std::size_t kind = elements.front().index();
    for (const Scalar& e : elements)
        if (e.index() != kind) return v;  // mixed arrays have no element type
    if (kind == 0) {
        v.initArray(orva::VT_BOOL, elements.size());
        for (std::size_t i = 0; i < elements.size(); ++i)
            v.setArrayBool(i, std::get<bool>(elements[i]));
    } else if (kind == 1) {
        v.initArray(orva::VT_R8, elements.size());
        for (std::size_t i = 0; i < elements.size(); ++i)
            v.setArrayDouble(i, std::get<double>(elements[i]));
    } else {
        v.initArray(orva::VT_BSTR, elements.size());
        for (std::size_t i = 0; i < elements.size(); ++i)
            v.setArrayString(i, opc::utf8ToUtf16(std::get<std::string>(elements[i])));
    }
    return v;
}

// One write value; false only when the payload itself is broken.
bool writeValue(Parser& p, opc::SOCmnVariant& out)
{
    const char c = p.peek();
    if (c == '[') {
        p.consume('[');
        std::vector<Scalar> elements;
        bool scalarsOnly = true;
        if (!p.consume(']')) {
            do {
                const char e = p.peek();
                if (e == '[' || e == '{' || e == 'n') {
                    scalarsOnly = false;
                    if (!skipValue(p, 2)) return false;
                    continue;
                }
                auto s = scalar(p);
                if (!s) return p.fail("bad array element");
                if (elements.size() >= kMaxArrayElements) return p.fail("array too long");
                elements.push_back(std::move(*s));
            } while (p.consume(','));
            if (!p.expect(']')) return false;
        }
        if (scalarsOnly) out = arrayValue(elements);
        return true;
    }
    if (c == '{' || c == 'n') return skipValue(p, 2);
    auto s = scalar(p);
    if (!s) return p.fail("bad value");
    if (const bool* b = std::get_if<bool>(&*s))
        out.setBool(*b);
    else if (const double* d = std::get_if<double>(&*s))
        setNumber(out, *d);
    else
        out.setStringUtf8(std::get<std::string>(*s));
    return true;
}

}  // namespace

JsonWriteRequest decodeJsonWriteRequest(std::string_view payload)
{
    JsonWriteRequest request;
    if (payload.size() > kMaxWritePayload) {
        request.error = "payload larger than " + std::to_string(kMaxWritePayload) + " bytes";
        return request;
    }
    Parser p(payload);
    const auto refuse = [&] {
        request.entries.clear();
        request.error = p.failed() ? p.error() : "not a JSON object";
        return request;
    };
    if (!p.expect('{')) return refuse();
    if (!p.consume('}')) {
        do {
            WriteEntry entry;
            if (!p.string(entry.itemId) || !p.expect(':') || !writeValue(p, entry.value)) return refuse();
            if (request.entries.size() >= kMaxWriteItems) {
                p.fail("more than " + std::to_string(kMaxWriteItems) + " items");
                return refuse();
            }
            request.entries.push_back(std::move(entry));
        } while (p.consume(','));
        if (!p.expect('}')) return refuse();
    }
    if (!p.atEnd()) {
        p.fail("trailing bytes");
        return refuse();
    }
    return request;
}

}  // namespace orva::mqtt
