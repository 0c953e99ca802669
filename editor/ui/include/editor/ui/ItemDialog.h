#pragma once
// "Item Properties": adds items one at a time, with advancing addresses or as a group, or
// modifies the selected item. Each add shows at once in the tree through `apply`.

#include <QDialog>
#include <functional>

#include "editor/EditorModel.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace orva::editor::ui {

class ItemDialog : public QDialog {
    Q_OBJECT
public:
    using Apply = std::function<void(const EditResult&)>;
    ItemDialog(EditorModel& model, std::string selectedKey, bool modify, Apply apply,
               QWidget* parent = nullptr);

    ItemForm readForm() const;

private:
    void showForm(const ItemForm& form);
    void dataTypeChanged(const QString& type);
    void addAndIncrement();
    void addAndExit();
    void openGroup();
    void confirmGroup();

    EditorModel& model_;
    std::string selectedKey_;
    bool modify_;
    Apply apply_;
    QWidget* mainPart_;
    QLineEdit* txtItemName_;
    QLineEdit* txtComment_;
    QComboBox* cmbDataType_;
    QLineEdit* txtAddress_;
    QLabel* lblBit_;
    QLineEdit* txtBit_;
    QLineEdit* txtBlock_;
    QLabel* lblElements_;
    QLineEdit* txtElements_;
    QComboBox* cmbAccessRight_;
    QPushButton* cmdAdd_;
    QPushButton* cmdGroup_;
    QPushButton* cmdOk_;
    QPushButton* cmdCancel_;
    QGroupBox* countFrame_;
    QLineEdit* txtNumbItems_;
    QPushButton* cmdOkNumber_;
};

}  // namespace orva::editor::ui
