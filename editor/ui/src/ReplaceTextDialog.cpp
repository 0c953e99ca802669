#include "editor/ui/ReplaceTextDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace orva::editor::ui {

ReplaceTextDialog::ReplaceTextDialog(const ReplaceTable& table, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Replace Text"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QTableWidget(static_cast<int>(table.rows.size()) + 1, 3, this);
    grid->setObjectName(QStringLiteral("grdReplace"));
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const auto cell = [&](int row, int column, const std::string& text) {
        grid->setItem(row, column, new QTableWidgetItem(QString::fromStdString(text)));
    };
    cell(0, 0, table.oldTitle);
    cell(0, 2, table.newTitle);
    for (int c = 0; c < 3; ++c)
        if (QTableWidgetItem* title = grid->item(0, c)) {
            QFont font = title->font();
            font.setBold(true);
            title->setFont(font);
        }
    int row = 1;
    for (const auto& [oldValue, newValue] : table.rows) {
        cell(row, 0, oldValue);
        cell(row, 1, "<---");
        cell(row, 2, newValue);
        ++row;
    }
    grid->resizeColumnsToContents();
    grid->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(grid);
    auto* buttons = new QHBoxLayout;
    auto* yes = new QPushButton(QStringLiteral("YES"), this);
    yes->setObjectName(QStringLiteral("cmdYes"));
    auto* no = new QPushButton(QStringLiteral("NO"), this);
    no->setObjectName(QStringLiteral("cmdNo"));
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    layout->addLayout(buttons);
    connect(yes, &QPushButton::clicked, this, [this] {
        answer_ = true;
        accept();
    });
    connect(no, &QPushButton::clicked, this, [this] {
        answer_ = false;
        reject();
    });
    resize(520, 320);
}

}  // namespace orva::editor::ui
