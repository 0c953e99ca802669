#include "registry/KeyFile.h"

#include <algorithm>

namespace orva::registry {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (isControl(byte)) {
                    out += "\\x";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

// Reads one line of a key file from left to right; every access checks the line's end.
class LineReader {
public:
    explicit LineReader(std::string_view line) : line_(line) {}

    bool atEnd() const { return pos_ >= line_.size(); }
    bool take(char expected)
    {
        if (atEnd() || line_[pos_] != expected) return false;
        ++pos_;
        return true;
    }

    // A quoted string with escapes; false on anything malformed.
    bool quoted(std::string& out)
    {
        if (!take('"')) return false;
        while (!atEnd()) {
            const char c = line_[pos_++];
            if (c == '"') return true;
            if (isControl(static_cast<unsigned char>(c))) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (atEnd()) return false;
            const char e = line_[pos_++];
            switch (e) {
                case '\\':
                    out += '\\';
                    break;
                case '"':
                    out += '"';
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
                case 'x': {
                    if (line_.size() - pos_ < 2) return false;
                    const int hi = hexDigit(line_[pos_]);
                    const int lo = hexDigit(line_[pos_ + 1]);
                    if (hi < 0 || lo < 0) return false;
                    out += static_cast<char>((hi << 4) | lo);
                    pos_ += 2;
                    break;
                }
                default:
                    return false;
            }
        }
        return false;  // no closing quote
    }

private:
    std::string_view line_;
    std::size_t pos_ = 0;
};

bool parseValueLine(std::string_view line, KeyValue& value)
{
    LineReader reader(line);
    if (!reader.take('@') && !reader.quoted(value.name)) return false;
    return reader.take('=') && reader.quoted(value.data) && reader.atEnd();
}

bool validKeyPathText(std::string_view path)
{
    return !path.empty() && std::none_of(path.begin(), path.end(),
                                         [](char c) { return isControl(static_cast<unsigned char>(c)); });
}

}  // namespace

bool namesEqual(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

const KeyValue* KeyFileContents::find(std::string_view name) const
{
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const KeyValue& v) { return namesEqual(v.name, name); });
    return it == values.end() ? nullptr : &*it;
}

void KeyFileContents::set(std::string_view name, std::string_view data)
{
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const KeyValue& v) { return namesEqual(v.name, name); });
    if (it != values.end())
        it->data = std::string(data);
    else
        values.push_back(KeyValue{std::string(name), std::string(data)});
}

bool KeyFileContents::erase(std::string_view name)
{
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const KeyValue& v) { return namesEqual(v.name, name); });
    if (it == values.end()) return false;
    values.erase(it);
    return true;
}

std::optional<KeyFileContents> parseKeyFile(std::string_view text)
{
    if (text.size() > kMaxKeyFileSize) return std::nullopt;
    KeyFileContents contents;
    bool haveHeader = false;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // tolerate CRLF line ends
        if (line.empty() || line.front() == ';') continue;

        if (!haveHeader) {
            if (line.size() < 3 || line.front() != '[' || line.back() != ']') return std::nullopt;
            contents.keyPath = std::string(line.substr(1, line.size() - 2));
            if (!validKeyPathText(contents.keyPath)) return std::nullopt;
            haveHeader = true;
            continue;
        }
        KeyValue value;
        if (!parseValueLine(line, value)) return std::nullopt;
        if (contents.find(value.name) != nullptr) return std::nullopt;  // a name twice: which one is meant?
        contents.values.push_back(std::move(value));
    }
    if (!haveHeader) return std::nullopt;
    return contents;
}

std::string serializeKeyFile(const KeyFileContents& contents)
{
    std::string out =
        "; ORVA registry key. Written atomically by the gateway's programs; keep one value per line.\n";
    out += '[';
    out += contents.keyPath;
    out += "]\n";
    for (const auto& value : contents.values) {
        if (value.name.empty())
            out += '@';
        else
            appendQuoted(out, value.name);
        out += '=';
        appendQuoted(out, value.data);
        out += '\n';
    }
    return out;
}

}  // namespace orva::registry
