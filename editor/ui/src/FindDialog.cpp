#include "editor/ui/FindDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orva::editor::ui {

FindDialog::FindDialog(EditorModel& model, Select select, QWidget* parent)
    : QDialog(parent), model_(model), select_(std::move(select))
{
    setWindowTitle(QStringLiteral("Find Item"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Type the name of the item to find"), this));
    txtFind_ = new QLineEdit(this);
    txtFind_->setObjectName(QStringLiteral("txtFind"));
    layout->addWidget(txtFind_);
    auto* buttons = new QHBoxLayout;
    auto* find = new QPushButton(QStringLiteral("Find"), this);
    find->setObjectName(QStringLiteral("cmdFind"));
    find->setDefault(true);
    auto* next = new QPushButton(QStringLiteral("Find Next"), this);
    next->setObjectName(QStringLiteral("cmdNext"));
    auto* cancel = new QPushButton(QStringLiteral("Exit"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addWidget(find);
    buttons->addWidget(next);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(find, &QPushButton::clicked, this,
            [this] { reveal(model_.find(txtFind_->text().toStdString())); });
    connect(next, &QPushButton::clicked, this,
            [this] { reveal(model_.findNext(txtFind_->text().toStdString())); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    model_.openFind();
    txtFind_->setFocus();
}

void FindDialog::reveal(std::optional<std::string> key)
{
    if (key) select_(*key);
}

}  // namespace orva::editor::ui
