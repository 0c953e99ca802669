#include "KeyPath.h"

#include <string>

namespace orva::registry::detail {
namespace {

constexpr std::size_t kMaxFileNameLength = 255;
constexpr std::size_t kMaxKeyPathLength = 1024;
constexpr char kHex[] = "0123456789ABCDEF";

bool keptAsIs(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '{' || c == '}' || c == '_' || c == '-' ||
           c == '.';
}

// One component as a file name: lower case, unusual bytes as %XX, never "." or ".." or hidden.
std::string encodeComponent(std::string_view component)
{
    std::string out;
    for (std::size_t i = 0; i < component.size(); ++i) {
        char c = component[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (keptAsIs(c) && !(i == 0 && c == '.')) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

}  // namespace

std::filesystem::path keyFileBelow(const std::filesystem::path& root, std::string_view keyPath)
{
    if (keyPath.empty() || keyPath.size() > kMaxKeyPathLength) return {};
    std::filesystem::path file = root;
    std::size_t start = 0;
    while (true) {
        const std::size_t sep = keyPath.find('\\', start);
        const std::string_view component =
            keyPath.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start);
        if (component.empty()) return {};
        for (const char c : component)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {};
        std::string name = encodeComponent(component);
        if (sep == std::string_view::npos) {
            name += kKeyFileSuffix;
            if (name.size() > kMaxFileNameLength) return {};
            return file / name;
        }
        if (name.size() > kMaxFileNameLength) return {};
        file /= name;
        start = sep + 1;
    }
}

std::filesystem::path subKeyFolder(const std::filesystem::path& keyFile)
{
    std::string text = keyFile.string();
    if (text.size() >= kKeyFileSuffix.size()) text.resize(text.size() - kKeyFileSuffix.size());
    return text;
}

}  // namespace orva::registry::detail
