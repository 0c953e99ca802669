#pragma once
// "Communication Software Redundancy": the secondary CPU of a Tornel PLC.

#include <QDialog>

#include "editor/EditorModel.h"

class QCheckBox;
class QLineEdit;

namespace orva::editor::ui {

class RedundancyDialog : public QDialog {
    Q_OBJECT
public:
    // Confirming copies the values into `plc`, the PLC dialog's values.
    RedundancyDialog(EditorModel& model, PlcForm& plc, QWidget* parent = nullptr);

private:
    void apply();
    void enableBoxes(bool enabled);

    EditorModel& model_;
    PlcForm& plc_;
    QCheckBox* chkRed_;
    std::vector<QLineEdit*> boxes_;
};

}  // namespace orva::editor::ui
