#include "core/ValueReaders.h"

#include "config/AccessRights.h"
#include "config/DataTypes.h"

namespace orva::core {

std::optional<std::string> readTextValue(const pugi::xml_node& node)
{
    // Text leading an element is kept in the element itself (the parser embeds it).
    const char* value = node.type() == pugi::node_element ? node.value() : nullptr;
    const pugi::xml_node first = node.first_child();
    if ((!value || !*value) && first &&
        (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata))
        value = first.value();
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> readTextValue(const pugi::xml_attribute& attribute)
{
    if (!attribute || !*attribute.value()) return std::nullopt;
    return std::string(attribute.value());
}

std::optional<uint32_t> parseUnsignedDecimal(std::string_view text, uint32_t max)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > max) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

namespace {

template <class T>
NumberValue<T> toNumber(const std::optional<std::string>& text, uint32_t max)
{
    NumberValue<T> n;
    if (!text) return n;
    n.text = *text;
    if (auto v = parseUnsignedDecimal(*text, max)) {
        n.state = NumberValue<T>::State::Valid;
        n.value = static_cast<T>(*v);
    } else {
        n.state = NumberValue<T>::State::Invalid;
    }
    return n;
}

}  // namespace

NumberValue<uint16_t> readNumberValue(const pugi::xml_node& node)
{
    return toNumber<uint16_t>(readTextValue(node), UINT16_MAX);
}

NumberValue<uint16_t> readNumberValue(const pugi::xml_attribute& attribute)
{
    return toNumber<uint16_t>(readTextValue(attribute), UINT16_MAX);
}

NumberValue<uint32_t> readLongValue(const pugi::xml_attribute& attribute)
{
    return toNumber<uint32_t>(readTextValue(attribute), UINT32_MAX);
}

VarType dataTypeFromName(std::string_view text)
{
    return config::dataTypeFromName(text);
}

uint32_t accessRightsFromName(std::string_view text)
{
    return config::accessRightsFromName(text);
}

std::size_t characterCount(std::string_view utf8)
{
    std::size_t count = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}

}  // namespace orva::core
