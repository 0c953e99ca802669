#pragma once
// Text as it goes into the configuration file: markup characters escaped, and the editor's
// UTF-8 text turned into the file's one-byte-per-character ISO-8859-1.

#include <string>
#include <string_view>

namespace orva::editor {

std::string Tabs(int n);

// Element content: &, <, > and characters that XML would not keep as they are (carriage
// return, control characters) become references; text without them is unchanged.
std::string escapeText(std::string_view text);

// Attribute values: as element content, plus the quotation mark, tab and line feed.
std::string escapeAttribute(std::string_view text);

// Appends UTF-8 text as ISO-8859-1 bytes; a character beyond U+00FF becomes a character
// reference, and a byte that does not belong to a valid UTF-8 sequence is kept as one character.
void appendLatin1(std::string& out, std::string_view utf8);

// Decodes one UTF-8 sequence at text[pos]; returns its length (0 when invalid) and the code point.
std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint);

}  // namespace orva::editor
