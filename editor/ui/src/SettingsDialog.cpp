#include "editor/ui/SettingsDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orva::editor::ui {

namespace {

QComboBox* list(QWidget* parent, const char* name, const QStringList& entries, const std::string& value)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromUtf8(name));
    combo->addItems(entries);
    const QString current = QString::fromStdString(value);
    // A value read from a file that the list does not offer is kept, not replaced.
    if (combo->findText(current) < 0 && !current.isEmpty()) combo->addItem(current);
    combo->setCurrentText(current);
    return combo;
}

}  // namespace

SettingsDialog::SettingsDialog(EditorModel& model, QWidget* parent) : QDialog(parent), model_(model)
{
    setWindowTitle(QStringLiteral("Global settings"));
    const SettingsForm form = model_.settingsForm();
    auto* layout = new QVBoxLayout(this);

    auto* fraIface = new QGroupBox(this);
    fraIface->setObjectName(QStringLiteral("fraIface"));
    auto* ifaceFields = new QFormLayout(fraIface);
    txtIface_ = new QLineEdit(QString::fromStdString(form.iface), fraIface);
    txtIface_->setObjectName(QStringLiteral("txtIface"));
    ifaceFields->addRow(QStringLiteral("Interface Name"), txtIface_);
    layout->addWidget(fraIface);

    auto* fraMpi = new QGroupBox(this);
    fraMpi->setObjectName(QStringLiteral("fraMpi"));
    auto* mpiFields = new QFormLayout(fraMpi);
    cmbPort_ = list(fraMpi, "cmbPort", {"COM1", "COM2", "COM3", "COM4"}, form.port);
    cmbBaud_ = list(fraMpi, "cmbBaud", {"2400", "9600", "19200", "38400", "57600", "115200"}, form.baud);
    cmbParity_ = list(fraMpi, "cmbParity", {"NO", "EVEN", "ODD"}, form.parity);
    cmbData_ = list(fraMpi, "cmbData", {"8", "7", "6", "5"}, form.dataBits);
    cmbStop_ = list(fraMpi, "cmbStop", {"1", "2"}, form.stopBits);
    txtMaster_ = new QLineEdit(QString::fromStdString(form.master), fraMpi);
    txtMaster_->setObjectName(QStringLiteral("txtMaster"));
    auto* dataStop = new QHBoxLayout;
    dataStop->addWidget(cmbData_);
    dataStop->addWidget(cmbStop_);
    mpiFields->addRow(QStringLiteral("Port Name"), cmbPort_);
    mpiFields->addRow(QStringLiteral("Baud rate (b/s)"), cmbBaud_);
    mpiFields->addRow(QStringLiteral("Parity"), cmbParity_);
    mpiFields->addRow(QStringLiteral("Data e Stop bits"), dataStop);
    mpiFields->addRow(QStringLiteral("Master Id"), txtMaster_);
    layout->addWidget(fraMpi);

    if (model_.serverType == ServerKind::Lorvik)
        fraIface->hide();
    else
        fraMpi->hide();

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("cmdOk"));
    ok->setDefault(true);
    auto* quit = new QPushButton(QStringLiteral("Exit"), this);
    quit->setObjectName(QStringLiteral("cmdQuit"));
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(quit);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &SettingsDialog::apply);
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsDialog::apply()
{
    if (model_.serverType == ServerKind::Pennat) return;
    SettingsForm form = model_.settingsForm();
    form.iface = txtIface_->text().toStdString();
    form.port = cmbPort_->currentText().toStdString();
    form.baud = cmbBaud_->currentText().toStdString();
    form.parity = cmbParity_->currentText().toStdString();
    form.dataBits = cmbData_->currentText().toStdString();
    form.stopBits = cmbStop_->currentText().toStdString();
    form.master = txtMaster_->text().toStdString();
    if (model_.applySettings(form)) accept();
}

}  // namespace orva::editor::ui
