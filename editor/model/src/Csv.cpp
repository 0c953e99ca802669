#include "editor/Csv.h"

#include "XmlText.h"

namespace orva::editor {

namespace {

bool validUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(text, pos, c);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

std::string latin1ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

char separatorOf(std::string_view text)
{
    bool quoted = false;
    bool comma = false;
    bool semicolon = false;
    for (const char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        comma = comma || c == ',';
        semicolon = semicolon || c == ';';
    }
    return semicolon && !comma ? ';' : ',';
}

}  // namespace

CsvTable parseCsv(std::string_view bytes)
{
    CsvTable table;
    std::string converted;
    std::string_view text = bytes;
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    if (!validUtf8(text)) {
        converted = latin1ToUtf8(text);
        text = converted;
    }
    table.separator = separatorOf(text);

    CsvRecord record;
    std::string field;
    bool quoted = false;     // inside a quoted field
    bool wasQuoted = false;  // the current field was quoted
    bool anyText = false;    // the record holds something besides separators
    int line = 1;
    record.line = 1;
    const auto endField = [&] {
        record.fields.push_back(std::move(field));
        field.clear();
        wasQuoted = false;
    };
    std::size_t width = 0;  // fields of the first record, so that later ones are sized at once
    const auto endRecord = [&] {
        endField();
        if (anyText) {
            if (table.records.empty()) width = record.fields.size();
            table.records.push_back(std::move(record));
        }
        record = CsvRecord{};
        record.fields.reserve(width);
        anyText = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field.push_back('"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == '\n') ++line;
                field.push_back(c);
            }
            continue;
        }
        if (c == '"' && field.empty() && !wasQuoted) {
            quoted = wasQuoted = anyText = true;
        } else if (c == table.separator) {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endRecord();
            ++line;
            record.line = line;
        } else {
            // Text after a closing quote is kept as it stands, as spreadsheets do.
            field.push_back(c);
            if (c != ' ' && c != '\t') anyText = true;
        }
    }
    if (quoted) {
        table.error = "line " + std::to_string(record.line) + ": a quoted field is not closed";
        return table;
    }
    if (!field.empty() || !record.fields.empty() || anyText) endRecord();
    return table;
}

std::string csvField(std::string_view text, char separator)
{
    // Both separators are quoted, so that a field reads the same in either dialect.
    const bool needsQuotes =
        text.find_first_of(std::string{'"', '\r', '\n', ',', ';', separator}) != std::string_view::npos ||
        (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!needsQuotes) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

}  // namespace orva::editor
