// Kalder, the configuration editor of the S7 OPC servers. On the command line it converts a
// configuration file into the normal form the editor saves; the windows come with editor/ui.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "editor/EditorModel.h"

namespace {

using namespace orva::editor;

// Answers no question and writes every message to stderr, counting them.
class ConsoleUi final : public UserInterface {
public:
    int problems = 0;

    void message(std::string_view text, Icon) override
    {
        ++problems;
        std::cerr << "Kalder: " << text << '\n';
    }
    Answer question(std::string_view, Buttons) override { return Answer::No; }
    std::string clipboardText() override { return {}; }
    void clearClipboard() override {}
    std::optional<std::string> chooseFile(const FileChoice&) override { return std::nullopt; }
    bool confirmReplace(const ReplaceTable&) override { return false; }
    void error(ErrorCode code, std::string_view routine, std::string_view detail) override
    {
        ++problems;
        std::cerr << "Kalder:" << formatError(code, routine);
        if (!detail.empty()) std::cerr << " (" << detail << ')';
        std::cerr << '\n';
    }
};

void usage(std::FILE* to)
{
    std::fprintf(
        to,
        "Usage: Kalder --convert IN OUT   read the configuration IN and write it to OUT as Save does\n"
        "       Kalder --help             show this text\n");
}

int convert(const std::string& in, const std::string& out)
{
    ConsoleUi ui;
    EditorModel model(ui);
    if (!model.openConfiguration(in)) return 1;
    if (!model.CreateXML(out)) return 1;
    return ui.problems == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--convert") == 0) {
        if (argc != 4) {
            usage(stderr);
            return 2;
        }
        return convert(argv[2], argv[3]);
    }
    if (argc > 1) {
        usage(stderr);
        return 2;
    }
    std::fprintf(stderr,
                 "Kalder: the editor's windows are not built yet; use --convert IN OUT (see --help)\n");
    return 1;
}
