#pragma once
// The branch dialog: one name box, adding a branch below the selected node or renaming the
// selected branch.

#include <QDialog>

#include "editor/EditorModel.h"

class QLineEdit;

namespace orva::editor::ui {

class BranchDialog : public QDialog {
    Q_OBJECT
public:
    BranchDialog(EditorModel& model, std::string selectedKey, bool modify, QWidget* parent = nullptr);
    const EditResult& result() const { return result_; }

private:
    void apply();

    EditorModel& model_;
    std::string selectedKey_;
    bool modify_;
    QLineEdit* txtName_;
    EditResult result_;
};

}  // namespace orva::editor::ui
