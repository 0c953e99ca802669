#pragma once
// "Select Siemens S7 interface": the server kind of a new configuration.

#include <QDialog>

#include "config/ServerKind.h"

class QRadioButton;

namespace orva::editor::ui {

class ServerKindDialog : public QDialog {
    Q_OBJECT
public:
    explicit ServerKindDialog(QWidget* parent = nullptr);
    // The kind of the first option found selected, in the order of the options.
    config::ServerKind kind() const;

private:
    QRadioButton* optS7_;
    QRadioButton* optMPI_;
    QRadioButton* optTcpIpS7_;
    QRadioButton* optMpiE_;
};

}  // namespace orva::editor::ui
