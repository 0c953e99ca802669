// Kalder, the configuration editor of the S7 OPC servers. On the command line it converts a
// configuration file into the normal form the editor saves; otherwise it opens its main window.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
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
        "Usage: Kalder [CONFIG]           open the editor's window (with the configuration CONFIG)\n"
        "       Kalder --convert IN OUT   read the configuration IN and write it to OUT as Save does\n"
        "       Kalder --export-csv CONFIG [PLC[/BRANCH...]] OUT.csv\n"
        "                                 write the tags of CONFIG (or of one PLC or branch) as CSV\n"
        "       Kalder --import-csv CONFIG IN.csv OUT\n"
        "                                 add the tags of IN.csv (paths begin with the PLC) and write\n"
        "                                 the result to OUT; nothing is written when a row is refused\n"
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

bool readFile(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// "P1/DRIVES" names the key "P1.DRIVES"; "" the whole configuration.
std::string scopeKey(std::string_view scope)
{
    std::string key(scope);
    std::replace(key.begin(), key.end(), '/', '.');
    return key;
}

int exportCsv(const std::string& config, std::string_view scope, const std::string& out)
{
    ConsoleUi ui;
    EditorModel model(ui);
    if (!model.openConfiguration(config)) return 1;
    const std::string key = scopeKey(scope);
    const TreeNode* node = model.tree.find(key);
    if (node == nullptr || node->kind() == NodeKind::Item) {
        std::cerr << "Kalder: " << config << " has no PLC or branch " << scope << '\n';
        return 1;
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file << model.exportTagsCsv(node->key());
    file.close();
    if (!file) {
        std::cerr << "Kalder: cannot write " << out << '\n';
        return 1;
    }
    return ui.problems == 0 ? 0 : 1;
}

int importCsv(const std::string& config, const std::string& csv, const std::string& out)
{
    ConsoleUi ui;
    EditorModel model(ui);
    if (!model.openConfiguration(config)) return 1;
    if (ui.problems != 0) {
        std::cerr << "Kalder: " << config << " has problems; nothing written\n";
        return 1;
    }
    std::string bytes;
    if (!readFile(csv, bytes)) {
        std::cerr << "Kalder: cannot read " << csv << '\n';
        return 1;
    }
    const TagImportPlan plan = model.planTagImport("", bytes);
    if (!plan.refused.empty()) {
        std::cerr << "Kalder: " << plan.refused.size() << " rows of " << csv << " refused; nothing written\n"
                  << refusalReport(plan);
        return 1;
    }
    if (!plan.rows.empty() && !model.applyTagImport(plan).done) return 1;
    if (!model.CreateXML(out)) return 1;
    std::cout << plan.rows.size() << " tags imported\n";
    return ui.problems == 0 ? 0 : 1;
}

#ifdef ORVA_KALDER_WINDOWS
int runWindow(int argc, char** argv, const char* configPath)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ORVA Automation"));
    QApplication::setApplicationName(QStringLiteral("Kalder"));
    QApplication::setDesktopFileName(QStringLiteral("kalder"));
    ui::DialogRunner runner;
    ui::GuiUserInterface gui(runner);
    ui::FrmEditing window(gui);
    window.show();
    if (configPath != nullptr) window.openFile(QString::fromLocal8Bit(configPath).toStdString());
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
    if (argc >= 2 && std::strcmp(argv[1], "--export-csv") == 0) {
        if (argc == 4) return exportCsv(argv[2], "", argv[3]);
        if (argc == 5) return exportCsv(argv[2], argv[3], argv[4]);
        usage(stderr);
        return 2;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--import-csv") == 0) {
        if (argc != 5) {
            usage(stderr);
            return 2;
        }
        return importCsv(argv[2], argv[3], argv[4]);
    }
    // Options are refused; one argument that is not an option is the configuration to open.
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        usage(stderr);
        return 2;
    }
#ifdef ORVA_KALDER_WINDOWS
    return runWindow(argc, argv, argc == 2 ? argv[1] : nullptr);
#else
    std::fprintf(stderr, "Kalder: built without windows; use --convert IN OUT (see --help)\n");
    return 1;
#endif
}
