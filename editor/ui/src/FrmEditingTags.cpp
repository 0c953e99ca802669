// Tags in and out of spreadsheets, and the check of items against their PLCs.
#include <QFileInfo>
#include <fstream>
#include <iterator>

#include "editor/ui/DialogRunner.h"
#include "editor/ui/FrmEditing.h"
#include "editor/ui/GuiUserInterface.h"
#include "editor/ui/TagCheckDialog.h"

namespace orva::editor::ui {

namespace {

const std::string kCsvFilter = "CSV files |*.csv";

// The refused rows, at most `shown` of them, for a message box.
std::string shortReport(const TagImportPlan& plan, std::size_t shown = 20)
{
    TagImportPlan first;
    for (std::size_t i = 0; i < plan.refused.size() && i < shown; ++i)
        first.refused.push_back(plan.refused[i]);
    std::string text = refusalReport(first);
    if (plan.refused.size() > shown) text += "and " + std::to_string(plan.refused.size() - shown) + " more\n";
    return text;
}

}  // namespace

void FrmEditing::onExportTags()
{
    if (!model_.isOpen) return;
    // The selected PLC or branch; an item stands for its branch, the root for everything.
    const TreeNode* scope = model_.tree.find(selectedNodeKey());
    if (scope == nullptr) scope = &model_.tree.root();
    if (scope->kind() == NodeKind::Item) scope = scope->parent();
    const std::string proposed =
        (scope->kind() == NodeKind::Config
             ? QFileInfo(QString::fromStdString(model_.filePath)).completeBaseName().toStdString()
             : scope->text()) +
        ".csv";
    const auto path = ui_.chooseFile(FileChoice{true, "Export Tags", kCsvFilter, proposed});
    if (!path) return;
    std::ofstream out(*path, std::ios::binary | std::ios::trunc);
    out << model_.exportTagsCsv(scope->key());
    out.close();
    if (!out) ui_.message("The tags could not be written to " + *path + ".", Icon::Exclamation);
}

void FrmEditing::onImportTags()
{
    if (!model_.isOpen) return;
    const TreeNode* target = model_.tree.find(selectedNodeKey());
    if (target == nullptr) target = &model_.tree.root();
    if (target->kind() == NodeKind::Item) target = target->parent();
    const auto path = ui_.chooseFile(FileChoice{false, "Import Tags", kCsvFilter, {}});
    if (!path) return;
    std::ifstream in(*path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
        ui_.message("The file " + *path + " could not be read.", Icon::Exclamation);
        return;
    }
    const TagImportPlan plan = model_.planTagImport(target->key(), bytes);
    // Nothing changes before the user has seen what is refused.
    if (!plan.refused.empty()) {
        if (plan.rows.empty()) {
            ui_.message("No tags imported. Refused:\n" + shortReport(plan), Icon::Exclamation);
            return;
        }
        const std::string question = std::to_string(plan.refused.size()) + " rows are refused:\n" +
                                     shortReport(plan) + "Import the " + std::to_string(plan.rows.size()) +
                                     " other rows?";
        if (ui_.question(question, Buttons::YesNo) != Answer::Yes) return;
    }
    if (plan.rows.empty()) {
        ui_.message("The file holds no tags.", Icon::None);
        return;
    }
    applyEdit(model_.applyTagImport(plan));
}

void FrmEditing::onCheckTags()
{
    if (!model_.isOpen || model_.serverType != ServerKind::Tornel) return;
    const Selection current = selection();
    std::vector<std::string> keys =
        current.listHasFocus && !current.rows.empty() ? current.rows : std::vector<std::string>{current.node};
    TagCheckDialog dialog(TagCheck::forNodes(model_, keys), this, checkTimeouts);
    dialog.start();
    runner_.run(dialog);
}

}  // namespace orva::editor::ui
