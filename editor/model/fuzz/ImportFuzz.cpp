// Fuzz target of the importer: any bytes as a configuration file. The importer must neither
// crash nor hang, and what it saves must read back to the very same file (the normal form).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

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

std::string saved(std::string_view bytes, bool& recognised)
{
    SilentUi ui;
    EditorModel model(ui);
    recognised = model.importXmlBytes(bytes);
    std::ostringstream out;
    model.writeXml(out);
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    bool recognised = false;
    const std::string first = saved(std::string_view(reinterpret_cast<const char*>(data), size), recognised);
    if (!recognised) return 0;
    bool again = false;
    const std::string second = saved(first, again);
    if (!again || second != first) {
        std::fprintf(stderr, "saved file does not read back to itself:\n%s\n---\n%s\n", first.c_str(),
                     second.c_str());
        std::abort();
    }
    return 0;
}
