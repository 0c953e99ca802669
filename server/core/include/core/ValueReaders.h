#pragma once
// Reading values of the configuration file. A value is present only when the attribute or the
// element has text; an element's text is its first child, which must be text (or CDATA).
// Numbers are unsigned decimals; surrounding blanks are ignored, anything else makes the value
// invalid (it is never cut or wrapped to fit).

#include <cstdint>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "config/VarType.h"

namespace orva::core {

template <class T>
struct NumberValue {
    enum class State { Absent, Valid, Invalid };
    State state = State::Absent;
    T value = 0;
    std::string text;  // the text read (for messages)

    bool absent() const noexcept { return state == State::Absent; }
    bool invalid() const noexcept { return state == State::Invalid; }
    // The value, 0 when absent.
    T orZero() const noexcept { return state == State::Valid ? value : 0; }
};

std::optional<std::string> readTextValue(const pugi::xml_node& node);
std::optional<std::string> readTextValue(const pugi::xml_attribute& attribute);
NumberValue<uint16_t> readNumberValue(const pugi::xml_node& node);
NumberValue<uint16_t> readNumberValue(const pugi::xml_attribute& attribute);
NumberValue<uint32_t> readLongValue(const pugi::xml_attribute& attribute);

// Unsigned decimal within [0, max]; nothing for anything else.
std::optional<uint32_t> parseUnsignedDecimal(std::string_view text, uint32_t max);

// The vocabularies of data types and access rights (exact, whole-text match).
VarType dataTypeFromName(std::string_view text);
uint32_t accessRightsFromName(std::string_view text);

// Characters (not bytes) of a UTF-8 text.
std::size_t characterCount(std::string_view utf8);

}  // namespace orva::core
