// Fuzz target of the tag import: any bytes as a spreadsheet file. Reading must neither crash nor
// hang, every record written back field by field must read back the same, and importing the
// accepted rows must succeed into a configuration that saves and reads back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "editor/Csv.h"
#include "editor/EditorModel.h"

namespace {

using namespace orva::editor;

class SilentUi final : public UserInterface {
public:
    void message(std::string_view, Icon) override {}
    Answer question(std::string_view, Buttons) override { return Answer::No; }
    std::string clipboardText() override { return {}; }
    void clearClipboard() override {}
    std::optional<std::string> chooseFile(const FileChoice&) override { return std::nullopt; }
    bool confirmReplace(const ReplaceTable&) override { return false; }
};

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const CsvTable table = parseCsv(bytes);
    for (const auto& record : table.records) {
        std::string line(kUtf8Bom);
        for (std::size_t f = 0; f < record.fields.size(); ++f) {
            if (f > 0) line += table.separator;
            line += csvField(record.fields[f], table.separator);
        }
        const CsvTable again = parseCsv(line);
        // A record of blanks only is left out as a blank line; any other must come back whole.
        if (!again.records.empty() && again.records.front().fields != record.fields)
            fail("record does not read back");
    }

    SilentUi ui;
    EditorModel model(ui);
    model.newConfiguration(ServerKind::Tornel, "fuzz.xml");
    PlcForm plc = model.newPlcForm();
    plc.name = "P";
    model.applyPlcForm("", plc, false);
    const TagImportPlan plan = model.planTagImport("P", bytes);
    if (!plan.rows.empty() && !model.applyTagImport(plan).done) fail("accepted rows were not imported");
    // Reading a file writes branch names in upper case; from then on the file reads back to itself.
    std::ostringstream saved;
    model.writeXml(saved);
    EditorModel reloaded(ui);
    if (!reloaded.importXmlBytes(saved.str())) fail("imported tags do not save readably");
    std::ostringstream normal;
    reloaded.writeXml(normal);
    EditorModel again(ui);
    if (!again.importXmlBytes(normal.str())) fail("imported tags do not read back");
    std::ostringstream last;
    again.writeXml(last);
    if (last.str() != normal.str()) fail("imported tags do not read back to the same file");
    if (model.undoStack.canUndo()) model.undo();
    return 0;
}
