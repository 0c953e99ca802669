#pragma once
// "Replace Text": old and new values side by side before a bulk rename or re-comment.

#include <QDialog>

#include "editor/UserInterface.h"

namespace orva::editor::ui {

class ReplaceTextDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReplaceTextDialog(const ReplaceTable& table, QWidget* parent = nullptr);
    bool answer() const { return answer_; }

private:
    bool answer_ = false;
};

}  // namespace orva::editor::ui
