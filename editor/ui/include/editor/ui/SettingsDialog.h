#pragma once
// "Global settings": the interface name (Tornel, Vardel) or the serial settings (Lorvik).

#include <QDialog>

#include "editor/EditorModel.h"

class QComboBox;
class QLineEdit;

namespace orva::editor::ui {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(EditorModel& model, QWidget* parent = nullptr);

private:
    void apply();

    EditorModel& model_;
    QLineEdit* txtIface_;
    QComboBox* cmbPort_;
    QComboBox* cmbBaud_;
    QComboBox* cmbParity_;
    QComboBox* cmbData_;
    QComboBox* cmbStop_;
    QLineEdit* txtMaster_;
};

}  // namespace orva::editor::ui
