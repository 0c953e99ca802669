#pragma once
// "PLC Properties", with the redundancy dialog behind its picture (Tornel only).

#include <QDialog>

#include "editor/EditorModel.h"

class QLineEdit;

namespace orva::editor::ui {

class DialogRunner;

class PlcDialog : public QDialog {
    Q_OBJECT
public:
    PlcDialog(EditorModel& model, DialogRunner& runner, std::string selectedKey, bool modify,
              QWidget* parent = nullptr);
    const EditResult& result() const { return result_; }
    // The values the dialog carries, redundancy included.
    const PlcForm& form() const { return form_; }

private:
    void apply();
    void openRedundancy();
    void readControls();

    EditorModel& model_;
    DialogRunner& runner_;
    std::string selectedKey_;
    bool modify_;
    PlcForm form_;
    QLineEdit* txtName_;
    QLineEdit* txtAddress_;
    QLineEdit* txtSlot_;
    QLineEdit* txtRack_;
    QLineEdit* txtSource_;
    EditResult result_;
};

}  // namespace orva::editor::ui
