#pragma once
// Index ranges of array and string values ("3", "0:2"; dimensions separated by ","). Our
// variables have one dimension: arrays count elements, strings count characters (code points of
// their UTF-8 text).

#include <cstdint>
#include <string_view>
#include <vector>

#include "opcua/Types.h"

namespace orva::opcua {

struct NumericRange {
    struct Bounds {
        uint32_t first = 0;
        uint32_t last = 0;  // inclusive
        bool operator==(const Bounds&) const = default;
    };
    std::vector<Bounds> dimensions;  // empty: no range, the whole value

    bool isSet() const { return !dimensions.empty(); }
    // Elements (or characters) a one-dimensional range selects.
    uint32_t count() const { return dimensions.empty() ? 0 : dimensions[0].last - dimensions[0].first + 1; }
};

// Parses a client's index range; empty text is no range. BadIndexRangeInvalid for anything but
// unsigned decimal indexes, "a:b" with a < b, and dimensions separated by ",".
StatusCode parseNumericRange(std::string_view text, NumericRange& out);

// Cuts a value read or sampled to the range: the selected elements of an array, the selected
// characters of a string. Bounds past the end are cut to the end; BadIndexRangeNoData when the
// range starts past the end, when it has more dimensions than the value, and for other values
// (scalars that are no string, null).
StatusCode applyRange(const NumericRange& range, Variant& value);

// Checks what a ranged write carries before it goes to the device: an array of exactly count()
// elements for an array, a string of exactly count() characters for a string. Returns
// BadIndexRangeNoData for a range of more than one dimension and BadIndexRangeDataMismatch when
// the value does not fill the range; whether the range lies within the tag is the device's answer.
StatusCode checkRangedWrite(const NumericRange& range, const Variant& value);

// Characters of UTF-8 text (bytes that do not start a sequence are counted as characters of
// their own, so malformed text is never cut inside a sequence it does not have).
size_t characterCount(std::string_view text);

}  // namespace orva::opcua
