// Takes the pictures of the editor shown in the documentation: the main window with a
// configuration open, the item dialog, and the check of tags against a simulated PLC (one that
// answers, with one data block refused, and one that is stopped). Run it under a display
// (xvfb-run works):
//   kalder_screenshots CONFIGURATION.xml OUTPUT_FOLDER
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <optional>
#include <string>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/DialogRunner.h"
#include "editor/ui/FrmEditing.h"
#include "editor/ui/GuiUserInterface.h"
#include "editor/ui/TagCheckDialog.h"
#include "plcsim/PlcSimulator.h"

namespace {

using namespace orva::editor;
using namespace orva::editor::ui;

// Shows each dialog, lets it paint, saves its picture and closes it.
class PictureRunner final : public DialogRunner {
public:
    QString folder;
    QString picture = QStringLiteral("kalder-item-dialog.png");
    int run(QDialog& dialog) override
    {
        dialog.show();
        settle();
        // The check reads on a thread of its own; the picture shows its results.
        if (auto* check = qobject_cast<TagCheckDialog*>(&dialog)) {
            QElapsedTimer waited;
            waited.start();
            while (!check->finished() && waited.elapsed() < 30000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                QThread::msleep(10);
            }
        }
        settle();
        dialog.grab().save(folder + QStringLiteral("/") + picture);
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

// A configuration of two PLCs, one simulated and answering, one stopped, checked as the user
// checks it from Tools.
bool checkPicture(FrmEditing& window, PictureRunner& runner, UserInterface& ui)
{
    orva::plcsim::SimulatorOptions options;
    options.dataBlocks = {{10, 64}, {20, 16}};
    orva::plcsim::PlcSimulator plc(options);
    orva::plcsim::PlcSimulator stopped;
    if (!plc.start() || !stopped.start()) return false;
    const std::string deadEndpoint = stopped.endpoint();
    stopped.stop();
    const uint8_t memory[] = {0x05, 0xDC, 0x24, 0x00, 0x42, 0x48, 0x00, 0x00, 'P',  'U',  'M',
                              'P',  '-',  '1',  0x00, 0x00, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09};
    plc.writeMemory(10, 0, memory);
    orva::plcsim::Faults faults;
    faults.accessError = 0x05;
    faults.accessErrorBlock = 20;
    plc.setFaults(faults);

    EditorModel model(ui);
    model.newConfiguration(ServerKind::Tornel, "Tornel.xml");
    for (const auto& [name, address] :
         {std::pair{"Line1", plc.endpoint()}, std::pair{"Line2", deadEndpoint}}) {
        PlcForm form = model.newPlcForm();
        form.name = name;
        form.address = address;
        model.applyPlcForm("", form, false);
    }
    model.addBranch("Line1", "DRIVES");
    const auto add = [&](const char* parent, const char* name, const char* type, int byte, int block, int bit,
                         int elements, const char* comment) {
        ItemForm form;
        form.name = name;
        EditorModel::changeDataType(form, type);
        form.address = std::to_string(byte);
        form.block = std::to_string(block);
        form.bit = std::to_string(bit);
        form.elements = std::to_string(elements);
        form.comment = comment;
        model.AddItemToColl(parent, form, false);
    };
    add("Line1.DRIVES", "Speed", "signed 16 bit", 0, 10, 0, 0, "Motor speed in rpm");
    add("Line1.DRIVES", "Running", "boolean", 2, 10, 5, 0, "Motor running");
    add("Line1.DRIVES", "Temperature", "32 bit float", 4, 10, 0, 0, "Winding temperature");
    add("Line1.DRIVES", "Tag", "string", 8, 10, 0, 6, "Name plate");
    add("Line1.DRIVES", "Faults", "unsigned 16 bit array", 16, 10, 0, 3, "Last fault codes");
    add("Line1", "Setpoint", "signed 32 bit", 0, 20, 0, 0, "Block 20 is refused by the PLC");
    add("Line1", "Mode", "unsigned 8 bit", 4, 20, 0, 0, "");
    add("Line2", "Level", "signed 16 bit", 0, 10, 0, 0, "");
    add("Line2", "Flow", "32 bit float", 2, 10, 0, 0, "");
    const QString file = QDir(runner.folder).filePath(QStringLiteral("kalder-check-tags.xml"));
    if (!model.CreateXML(file.toStdString())) return false;
    window.openFile(file.toStdString());
    QFile::remove(file);
    window.tree()->expandAll();
    window.selectNode("");
    runner.picture = QStringLiteral("kalder-check-tags.png");
    window.checkTimeouts = {std::chrono::milliseconds(1000), std::chrono::milliseconds(1000)};
    window.onCheckTags();
    window.model().gbCfgSaved = true;
    return true;
}

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
    return checkPicture(window, runner, ui) ? 0 : 1;
}
