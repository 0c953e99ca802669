#include "editor/ui/BranchDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orva::editor::ui {

BranchDialog::BranchDialog(EditorModel& model, std::string selectedKey, bool modify, QWidget* parent)
    : QDialog(parent), model_(model), selectedKey_(std::move(selectedKey)), modify_(modify)
{
    setWindowTitle(QStringLiteral("Branch"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Branch Name"), this));
    txtName_ = new QLineEdit(this);
    txtName_->setObjectName(QStringLiteral("txtName"));
    std::string name = model_.newBranchName();
    if (modify_)
        if (const TreeNode* node = model_.tree.find(selectedKey_)) name = node->text();
    txtName_->setText(QString::fromStdString(name));
    txtName_->selectAll();
    layout->addWidget(txtName_);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("cmdOk"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &BranchDialog::apply);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void BranchDialog::apply()
{
    const std::string name = txtName_->text().toStdString();
    result_ = modify_ ? model_.renameBranch(selectedKey_, name) : model_.addBranch(selectedKey_, name);
    if (result_.done) accept();
}

}  // namespace orva::editor::ui
