#pragma once
// "Find Item": finds tree nodes by the beginning of their text; stays open beside the main window.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "editor/EditorModel.h"

class QLineEdit;

namespace orva::editor::ui {

class FindDialog : public QDialog {
    Q_OBJECT
public:
    using Select = std::function<void(const std::string& key)>;
    FindDialog(EditorModel& model, Select select, QWidget* parent = nullptr);

private:
    void reveal(std::optional<std::string> key);

    EditorModel& model_;
    Select select_;
    QLineEdit* txtFind_;
};

}  // namespace orva::editor::ui
