#include "editor/ui/ItemDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "QtText.h"
#include "config/DataTypes.h"
#include "editor/Text.h"
#include "editor/ui/KeyFilter.h"

namespace orva::editor::ui {

namespace {

// The types the editor offers, in the order of its type list.
QStringList offeredDataTypeNames()
{
    QStringList names;
    for (const auto& type : config::offeredDataTypes())
        names << QString::fromUtf8(type.displayName.data(), static_cast<qsizetype>(type.displayName.size()));
    return names;
}

const QStringList kAccessRights = {"READ", "WRITE", "READWRITE"};

// Restores the normal pointer however the group add ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

ItemDialog::ItemDialog(EditorModel& model, std::string selectedKey, bool modify, Apply apply, QWidget* parent)
    : QDialog(parent),
      model_(model),
      selectedKey_(std::move(selectedKey)),
      modify_(modify),
      apply_(std::move(apply))
{
    setWindowTitle(QStringLiteral("Item Properties"));
    auto* layout = new QVBoxLayout(this);
    mainPart_ = new QWidget(this);
    auto* grid = new QGridLayout(mainPart_);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    const auto addRow = [&](QLabel* label, QWidget* field) {
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
    };
    const auto edit = [&](const char* name, const char* caption, QLabel** labelOut = nullptr) {
        auto* box = new QLineEdit(mainPart_);
        box->setObjectName(QString::fromUtf8(name));
        auto* label = new QLabel(QString::fromUtf8(caption), mainPart_);
        label->setBuddy(box);
        addRow(label, box);
        if (labelOut != nullptr) *labelOut = label;
        return box;
    };
    txtItemName_ = edit("txtItemName", "Item Name");
    txtComment_ = edit("txtComment", "Comment");
    cmbDataType_ = new QComboBox(mainPart_);
    cmbDataType_->setObjectName(QStringLiteral("cmbDataType"));
    cmbDataType_->addItems(offeredDataTypeNames());
    addRow(new QLabel(QStringLiteral("Data Type"), mainPart_), cmbDataType_);
    txtAddress_ = edit("txtAddress", "Data Byte");
    txtBit_ = edit("txtBit", "Bit number", &lblBit_);
    txtBlock_ = edit("txtBlock", "Data Block");
    txtElements_ = edit("txtElements", "Number of Elements", &lblElements_);
    cmbAccessRight_ = new QComboBox(mainPart_);
    cmbAccessRight_->setObjectName(QStringLiteral("cmbAccessRight"));
    cmbAccessRight_->addItems(kAccessRights);
    addRow(new QLabel(QStringLiteral("Access Right"), mainPart_), cmbAccessRight_);
    layout->addWidget(mainPart_);

    KeyFilter::install(*txtItemName_, &EditorModel::itemNameKeyFilter);
    for (QLineEdit* box : {txtAddress_, txtBit_, txtElements_})
        KeyFilter::install(*box, &EditorModel::numberKeyFilter);

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromUtf8(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    cmdAdd_ = button("cmdAdd", QStringLiteral("Add and Increment"));
    cmdGroup_ = button("cmdGroup", QStringLiteral("Add Group...."));
    cmdOk_ = button("cmdOk", modify_ ? QStringLiteral("Confirm Modify") : QStringLiteral("Add and Exit"));
    cmdCancel_ = button("cmdCancel", QStringLiteral("Exit"));
    cmdOk_->setDefault(true);
    layout->addLayout(buttons);

    countFrame_ = new QGroupBox(QStringLiteral("INSERT NUMBER OF ITEMS TO ADD"), this);
    countFrame_->setObjectName(QStringLiteral("fraNumber"));
    auto* frameLayout = new QHBoxLayout(countFrame_);
    txtNumbItems_ = new QLineEdit(countFrame_);
    txtNumbItems_->setObjectName(QStringLiteral("txtNumbItems"));
    KeyFilter::install(*txtNumbItems_, &EditorModel::numberKeyFilter);
    cmdOkNumber_ = new QPushButton(QStringLiteral("OK"), countFrame_);
    cmdOkNumber_->setObjectName(QStringLiteral("cmdOkNumber"));
    cmdOkNumber_->setAutoDefault(false);
    frameLayout->addWidget(txtNumbItems_);
    frameLayout->addWidget(cmdOkNumber_);
    countFrame_->hide();
    layout->addWidget(countFrame_);

    // The form is shown before the type's change handler is connected, so that opening keeps the
    // item's own bit and element values.
    showForm(modify_ ? model_.itemFormFor(selectedKey_) : model_.newItemForm());
    cmdAdd_->setEnabled(!modify_);
    cmdGroup_->setEnabled(!modify_);
    connect(cmbDataType_, &QComboBox::currentTextChanged, this, &ItemDialog::dataTypeChanged);
    connect(cmdAdd_, &QPushButton::clicked, this, &ItemDialog::addAndIncrement);
    connect(cmdOk_, &QPushButton::clicked, this, &ItemDialog::addAndExit);
    connect(cmdGroup_, &QPushButton::clicked, this, &ItemDialog::openGroup);
    connect(cmdOkNumber_, &QPushButton::clicked, this, &ItemDialog::confirmGroup);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
    txtItemName_->setFocus();
    txtItemName_->selectAll();
}

ItemForm ItemDialog::readForm() const
{
    ItemForm form;
    form.name = txtItemName_->text().toStdString();
    form.comment = txtComment_->text().toStdString();
    form.dataType = cmbDataType_->currentText().toStdString();
    form.address = txtAddress_->text().toStdString();
    form.bit = txtBit_->text().toStdString();
    form.block = txtBlock_->text().toStdString();
    form.elements = txtElements_->text().toStdString();
    form.accessRight = cmbAccessRight_->currentText().toStdString();
    form.bitEnabled = txtBit_->isEnabled();
    form.elementsEnabled = txtElements_->isEnabled();
    return form;
}

void ItemDialog::showForm(const ItemForm& form)
{
    const QSignalBlocker block(cmbDataType_);
    txtItemName_->setText(qs(form.name));
    txtComment_->setText(qs(form.comment));
    const int type = cmbDataType_->findText(qs(form.dataType));
    cmbDataType_->setCurrentIndex(type >= 0 ? type : cmbDataType_->findText(QStringLiteral("signed 16 bit")));
    txtAddress_->setText(qs(form.address));
    txtBit_->setText(qs(form.bit));
    txtBlock_->setText(qs(form.block));
    txtElements_->setText(qs(form.elements));
    const int access = cmbAccessRight_->findText(qs(form.accessRight));
    cmbAccessRight_->setCurrentIndex(access >= 0 ? access : 2);
    const bool bit = isBooleanType(form.dataType);
    const bool elements = hasElements(form.dataType);
    txtBit_->setEnabled(bit);
    lblBit_->setEnabled(bit);
    txtElements_->setEnabled(elements);
    lblElements_->setEnabled(elements);
}

void ItemDialog::dataTypeChanged(const QString& type)
{
    ItemForm form = readForm();
    EditorModel::changeDataType(form, type.toStdString());
    showForm(form);
}

void ItemDialog::addAndIncrement()
{
    ItemForm form = readForm();
    const EditResult result = model_.addAndIncrement(selectedKey_, form);
    apply_(result);
    if (result.done) showForm(form);
}

void ItemDialog::addAndExit()
{
    const EditResult result = model_.AddItemToColl(selectedKey_, readForm(), modify_);
    apply_(result);
    // A confirmed modification closes the dialog as well: the item it showed has been replaced.
    if (result.done) accept();
}

void ItemDialog::openGroup()
{
    mainPart_->setEnabled(false);
    cmdAdd_->setEnabled(false);
    cmdGroup_->setEnabled(false);
    cmdOk_->setEnabled(false);
    txtNumbItems_->setText(QStringLiteral("1"));
    // Enter confirms the count while the frame is shown.
    cmdOkNumber_->setDefault(true);
    countFrame_->show();
    txtNumbItems_->setFocus();
    txtNumbItems_->selectAll();
}

void ItemDialog::confirmGroup()
{
    const std::string count = txtNumbItems_->text().toStdString();
    if (!isNumeric(count)) {
        model_.ui().message("Number of items is not valid.", Icon::None);
        return;
    }
    countFrame_->hide();
    {
        const WaitCursor wait;
        ItemForm form = readForm();
        const EditResult result = model_.addGroup(selectedKey_, form, count);
        apply_(result);
        showForm(form);
    }
    mainPart_->setEnabled(true);
    cmdAdd_->setEnabled(true);
    cmdGroup_->setEnabled(true);
    cmdOk_->setEnabled(true);
    cmdOk_->setDefault(true);
    txtItemName_->setFocus();
}

}  // namespace orva::editor::ui
