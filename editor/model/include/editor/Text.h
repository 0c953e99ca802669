#pragma once
// Text helpers of the editor: letter case as the editor compares names, number reading in the
// lenient way users type numbers into boxes, and the fixed-width number formats of the list.

#include <cstdint>
#include <string>
#include <string_view>

namespace orva::editor {

// Upper case of ASCII and Latin-1 letters in UTF-8 text; other characters stay as they are.
std::string upperText(std::string_view text);
bool equalNoCase(std::string_view a, std::string_view b);

// Hash and equality of texts without regard to letter case (as upperText), for keyed lookups
// that allocate nothing.
struct NoCaseHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const;
};
struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return equalNoCase(a, b); }
};
bool startsWith(std::string_view text, std::string_view prefix);  // exact

// Removes leading and trailing spaces (only the space character).
std::string trimSpaces(std::string_view text);

// The leading numeric part of the text as a number: blanks, tabs and line feeds are skipped,
// then an optional sign, digits, a decimal point and an exponent (E or D) are read as far as
// they go. Empty text or text without a leading number gives 0.
double leadingNumber(std::string_view text);

// True when the whole text (leading and trailing spaces aside) is one decimal number.
bool isNumeric(std::string_view text);

// The nearest integer (a value exactly halfway goes to the even neighbour), or an Overflow
// error when it lies outside [lo, hi].
int64_t roundInRange(double value, int64_t lo, int64_t hi);

inline constexpr int64_t kInt32Min = INT32_MIN;
inline constexpr int64_t kInt32Max = INT32_MAX;

// Decimal with at least `width` digits, zero-padded ("0000" style formats).
std::string zeroPadded(int64_t value, int width);

}  // namespace orva::editor
