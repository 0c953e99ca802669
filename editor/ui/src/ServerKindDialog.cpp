#include "editor/ui/ServerKindDialog.h"

#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace orva::editor::ui {

ServerKindDialog::ServerKindDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select Siemens S7 interface"));
    auto* layout = new QVBoxLayout(this);
    const auto option = [&](const char* name, const char* caption) {
        auto* button = new QRadioButton(QString::fromUtf8(caption), this);
        button->setObjectName(QString::fromUtf8(name));
        layout->addWidget(button);
        return button;
    };
    optS7_ = option("optS7", "Siemens S7 SAPI");
    optMPI_ = option("optMPI", "Siemens S7 MPI");
    optTcpIpS7_ = option("optTcpIpS7", "Tcp/Ip S7");
    optMpiE_ = option("optMpiE", "Serial MPI Emulated");
    optS7_->setChecked(true);
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("cmdOk"));
    ok->setDefault(true);
    layout->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

config::ServerKind ServerKindDialog::kind() const
{
    if (optS7_->isChecked()) return config::ServerKind::Vardel;
    if (optMPI_->isChecked()) return config::ServerKind::Pennat;
    if (optTcpIpS7_->isChecked()) return config::ServerKind::Tornel;
    if (optMpiE_->isChecked()) return config::ServerKind::Lorvik;
    return config::ServerKind::Vardel;
}

}  // namespace orva::editor::ui
