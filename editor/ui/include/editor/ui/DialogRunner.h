#pragma once
// Runs the editor's modal dialogs. The windows never call QDialog::exec themselves: they hand
// every modal dialog to a runner, so that tests can drive the real dialog's widgets instead of
// blocking in a nested event loop.

class QDialog;

namespace orva::editor::ui {

class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    // Shows the dialog modally and returns its result (QDialog::Accepted or Rejected).
    virtual int run(QDialog& dialog);
};

}  // namespace orva::editor::ui
