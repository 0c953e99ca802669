// Kalder, the configuration editor of the S7 OPC servers. On the command line it converts a
// configuration file into the normal form the editor saves; otherwise it opens its main window.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "common/ProgramInfo.h"
#include "editor/EditorModel.h"

#ifdef ORVA_KALDER_WINDOWS
#include <QApplication>

#include "editor/ui/DialogRunner.h"
#include "editor/ui/FrmEditing.h"
#include "editor/ui/GuiUserInterface.h"
#endif

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
        "Usage: Kalder                    open the editor's window\n"
        "       Kalder --convert IN OUT   read the configuration IN and write it to OUT as Save does\n"
        "       Kalder --help             show this text\n"
        "       Kalder --version          show the version\n");
}

int convert(const std::string& in, const std::string& out)
{
    ConsoleUi ui;
    EditorModel model(ui);
    if (!model.openConfiguration(in)) return 1;
    if (!model.CreateXML(out)) return 1;
    return ui.problems == 0 ? 0 : 1;
}

#ifdef ORVA_KALDER_WINDOWS
int runWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ORVA Automation"));
    QApplication::setApplicationName(QStringLiteral("Kalder"));
    QApplication::setDesktopFileName(QStringLiteral("kalder"));
    ui::DialogRunner runner;
    ui::GuiUserInterface gui(runner);
    ui::FrmEditing window(gui);
    window.show();
    return QApplication::exec();
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs(orva::versionText("Kalder").c_str(), stdout);
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
#ifdef ORVA_KALDER_WINDOWS
    return runWindow(argc, argv);
#else
    std::fprintf(stderr, "Kalder: built without windows; use --convert IN OUT (see --help)\n");
    return 1;
#endif
}
