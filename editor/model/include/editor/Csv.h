#pragma once
// Comma-separated values as spreadsheets write and read them: fields separated by "," or ";",
// quoted with '"' when they hold the separator, a quote or a line break, quotes doubled inside.
// Text is UTF-8 (a leading byte-order mark is skipped); a file that is not valid UTF-8 is read
// as ISO-8859-1, what older spreadsheets write in western locales.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::editor {

struct CsvRecord {
    int line = 0;  // line of the file where the record begins, from 1
    std::vector<std::string> fields;
};

struct CsvTable {
    char separator = ',';
    std::vector<CsvRecord> records;    // blank lines left out
    std::optional<std::string> error;  // why the file could not be read as a whole
};

// Reads the whole file; the separator is the one the first line uses (";" when it holds a
// semicolon outside quotes and no comma, else ",").
CsvTable parseCsv(std::string_view bytes);

// One field as written: quoted when needed.
std::string csvField(std::string_view text, char separator = ',');

// The byte-order mark that tells spreadsheets the file is UTF-8.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace orva::editor
