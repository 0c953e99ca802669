#include "editor/ui/RedundancyDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orva::editor::ui {

RedundancyDialog::RedundancyDialog(EditorModel& model, PlcForm& plc, QWidget* parent)
    : QDialog(parent), model_(model), plc_(plc)
{
    setWindowTitle(QStringLiteral("Communication Software Redundancy"));
    const RedundancyForm form = model_.redundancyFormFor(plc_);
    auto* layout = new QVBoxLayout(this);
    chkRed_ = new QCheckBox(QStringLiteral("Use redundancy on this PLC"), this);
    chkRed_->setObjectName(QStringLiteral("chkRed"));
    chkRed_->setChecked(form.chkRed);
    layout->addWidget(chkRed_);
    auto* fields = new QFormLayout;
    const auto box = [&](const char* name, const char* caption, const std::string& text) {
        auto* edit = new QLineEdit(QString::fromStdString(text), this);
        edit->setObjectName(QString::fromUtf8(name));
        fields->addRow(QString::fromUtf8(caption), edit);
        boxes_.push_back(edit);
    };
    box("txtAddress", "Secondary CPU Address", form.address);
    box("txtSource", "Secondary CPU Source", form.source);
    box("txtBlock", "Status e Command Data Block", form.block);
    box("txtStatusByte", "Status Word Data Byte", form.statusByte);
    box("txtStatusBit", "Status Word Data Bit", form.statusBit);
    box("txtCmdByte", "Command Word Data Byte", form.cmdByte);
    box("txtCmdBit", "Command Word Data Bit", form.cmdBit);
    layout->addLayout(fields);
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    layout->addWidget(ok, 0, Qt::AlignRight);
    enableBoxes(form.chkRed);
    connect(chkRed_, &QCheckBox::toggled, this, &RedundancyDialog::enableBoxes);
    connect(ok, &QPushButton::clicked, this, &RedundancyDialog::apply);
}

void RedundancyDialog::enableBoxes(bool enabled)
{
    for (QLineEdit* edit : boxes_)
        edit->setEnabled(enabled);
}

void RedundancyDialog::apply()
{
    RedundancyForm form;
    form.chkRed = chkRed_->isChecked();
    const auto text = [&](std::size_t i) { return boxes_[i]->text().toStdString(); };
    form.address = text(0);
    form.source = text(1);
    form.block = text(2);
    form.statusByte = text(3);
    form.statusBit = text(4);
    form.cmdByte = text(5);
    form.cmdBit = text(6);
    if (model_.applyRedundancy(form, plc_)) accept();
}

}  // namespace orva::editor::ui
