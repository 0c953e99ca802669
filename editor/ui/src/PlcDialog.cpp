#include "editor/ui/PlcDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "editor/ui/DialogRunner.h"
#include "editor/ui/Icons.h"
#include "editor/ui/RedundancyDialog.h"

namespace orva::editor::ui {

PlcDialog::PlcDialog(EditorModel& model, DialogRunner& runner, std::string selectedKey, bool modify,
                     QWidget* parent)
    : QDialog(parent), model_(model), runner_(runner), selectedKey_(std::move(selectedKey)), modify_(modify)
{
    setWindowTitle(QStringLiteral("PLC Properties"));
    form_ = modify_ ? model_.plcFormFor(selectedKey_) : model_.newPlcForm();

    auto* layout = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    const auto box = [&](const char* name, const char* caption, const std::string& text) {
        auto* edit = new QLineEdit(QString::fromStdString(text), this);
        edit->setObjectName(QString::fromUtf8(name));
        fields->addRow(QString::fromUtf8(caption), edit);
        return edit;
    };
    txtName_ = box("txtName", "PLC Name", form_.name);
    txtAddress_ = box("txtAddress", "Address", form_.address);
    txtSlot_ = box("txtSlot", "Slot number", form_.slot);
    txtRack_ = box("txtRack", "Rack Number", form_.rack);
    txtSource_ = box("txtSource", "Source", form_.source);
    layout->addLayout(fields);

    const ServerKind kind = model_.serverType;
    txtRack_->setEnabled(form_.rackEnabled && kind == ServerKind::Tornel);
    txtAddress_->setEnabled(kind != ServerKind::Vardel);
    txtSlot_->setEnabled(kind != ServerKind::Vardel);
    txtSource_->setEnabled(kind == ServerKind::Tornel);

    auto* buttons = new QHBoxLayout;
    auto* picture = new QToolButton(this);
    picture->setObjectName(QStringLiteral("picRedundancy"));
    picture->setIcon(editorIcon("plc"));
    picture->setIconSize(QSize(32, 32));
    picture->setAutoRaise(true);
    picture->setToolTip(QStringLiteral("Communication Software Redundancy"));
    auto* apply = new QPushButton(QStringLiteral("Ok"), this);
    apply->setObjectName(QStringLiteral("cmdApply"));
    apply->setDefault(true);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("cmdExit"));
    buttons->addWidget(picture);
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(exit);
    layout->addLayout(buttons);
    connect(picture, &QToolButton::clicked, this, &PlcDialog::openRedundancy);
    connect(apply, &QPushButton::clicked, this, &PlcDialog::apply);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

void PlcDialog::readControls()
{
    form_.name = txtName_->text().toStdString();
    form_.address = txtAddress_->text().toStdString();
    form_.slot = txtSlot_->text().toStdString();
    form_.rack = txtRack_->text().toStdString();
    form_.source = txtSource_->text().toStdString();
    form_.rackEnabled = txtRack_->isEnabled();
}

void PlcDialog::openRedundancy()
{
    if (model_.serverType != ServerKind::Tornel) return;
    RedundancyDialog dialog(model_, form_, this);
    runner_.run(dialog);
}

void PlcDialog::apply()
{
    readControls();
    result_ = model_.applyPlcForm(selectedKey_, form_, modify_);
    if (result_.done) accept();
}

}  // namespace orva::editor::ui
