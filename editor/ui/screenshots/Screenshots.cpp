// Takes the pictures of the editor shown in the documentation: the main window with a
// configuration open, and the item dialog. Run it under a display (xvfb-run works):
//   kalder_screenshots CONFIGURATION.xml OUTPUT_FOLDER
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <optional>
#include <string>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/DialogRunner.h"
#include "editor/ui/FrmEditing.h"
#include "editor/ui/GuiUserInterface.h"

namespace {

using namespace orva::editor;
using namespace orva::editor::ui;

// Shows each dialog, lets it paint, saves its picture and closes it.
class PictureRunner final : public DialogRunner {
public:
    QString folder;
    int run(QDialog& dialog) override
    {
        dialog.show();
        settle();
        dialog.grab().save(folder + QStringLiteral("/kalder-item-dialog.png"));
        dialog.reject();
        return dialog.result();
    }
    static void settle()
    {
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
};

class PictureUi final : public GuiUserInterface {
public:
    using GuiUserInterface::GuiUserInterface;
    std::string file;
    std::optional<std::string> chooseFile(const FileChoice&) override { return file; }
    void message(std::string_view text, Icon) override
    {
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: kalder_screenshots CONFIGURATION.xml OUTPUT_FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ORVA Automation"));
    QApplication::setApplicationName(QStringLiteral("Kalder"));
    PictureRunner runner;
    runner.folder = QString::fromLocal8Bit(argv[2]);
    PictureUi ui(runner);
    ui.file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath().toStdString();
    FrmEditing window(ui);
    window.show();
    PictureRunner::settle();
    window.mnuOpenCfg_Click();
    if (!window.model().gbCfgOpen) return 1;
    window.tree()->expandAll();
    window.selectNode("Line1.DRIVES");
    PictureRunner::settle();
    if (!window.grab().save(runner.folder + QStringLiteral("/kalder-main-window.png"))) return 1;
    // The item dialog as it opens to add an item to the branch.
    window.mnuAddItem_Click();
    window.model().gbCfgSaved = true;
    return 0;
}
