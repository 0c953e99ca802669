#pragma once
// The toolkit's string: UTF-8 text with the few operations the servers use, and the
// conversions between UTF-8 and the UTF-16 code units of string variants.

#include <cstddef>
#include <string>
#include <string_view>

namespace orva::opc {

class SOCmnString {
public:
    SOCmnString() = default;
    SOCmnString(const char* s) : s_(s ? s : "") {}
    SOCmnString(std::string s) : s_(std::move(s)) {}
    SOCmnString(std::string_view s) : s_(s) {}

    const char* c_str() const noexcept { return s_.c_str(); }
    const std::string& str() const noexcept { return s_; }
    std::string& str() noexcept { return s_; }
    operator std::string_view() const noexcept { return s_; }
    std::size_t getLength() const noexcept { return s_.size(); }
    bool isEmpty() const noexcept { return s_.empty(); }
    void empty() noexcept { s_.clear(); }

    // Replaces every occurrence of from by to; returns the number of replacements.
    int replace(std::string_view from, std::string_view to);
    // printf-style formatting into this string; returns it.
    SOCmnString& format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    SOCmnString& operator+=(std::string_view more)
    {
        s_ += more;
        return *this;
    }
    friend bool operator==(const SOCmnString& a, const SOCmnString& b) { return a.s_ == b.s_; }
    friend bool operator==(const SOCmnString& a, const char* b) { return a.s_ == (b ? b : ""); }

private:
    std::string s_;
};

// Invalid or truncated sequences become U+FFFD; never reads past the input.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace orva::opc
