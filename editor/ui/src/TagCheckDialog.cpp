#include "editor/ui/TagCheckDialog.h"
#include "QtText.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orva::editor::ui {

TagCheckDialog::TagCheckDialog(TagCheck check, QWidget* parent, TagCheck::Timeouts timeouts)
    : QDialog(parent), check_(std::move(check)), timeouts_(timeouts)
{
    setObjectName(QStringLiteral("frmCheckTags"));
    setWindowTitle(QStringLiteral("Check Tags"));
    auto* layout = new QVBoxLayout(this);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("lblCheck"));
    layout->addWidget(summary_);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("lstCheck"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({QStringLiteral("Item"), QStringLiteral("Value or error")});
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    layout->addWidget(list_, 1);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("prgCheck"));
    progress_->setRange(0, static_cast<int>(std::max<std::size_t>(check_.itemCount(), 1)));
    progress_->setValue(0);
    layout->addWidget(progress_);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(cancelButton_, 0, Qt::AlignRight);
    connect(cancelButton_, &QPushButton::clicked, this, &TagCheckDialog::onCancel);
    resize(640, 420);
    summary_->setText(QStringLiteral("Reading %1 items of %2 PLCs once; nothing is written.")
                          .arg(check_.itemCount())
                          .arg(check_.plcs().size()));
}

TagCheckDialog::~TagCheckDialog()
{
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

void TagCheckDialog::start()
{
    if (worker_.joinable()) return;
    if (check_.itemCount() == 0) {
        showFinished(false);
        return;
    }
    worker_ = std::thread([this] {
        // Results reach the dialog through its event queue; calls pending when it closes are dropped.
        check_.run(
            cancel_,
            [this](const ItemCheck& item) {
                QMetaObject::invokeMethod(
                    this, [this, item] { showItem(item); }, Qt::QueuedConnection);
            },
            [this](const std::string& plc, const std::string& error) {
                QMetaObject::invokeMethod(
                    this, [this, plc = qs(plc), error = qs(error)] { showUnreachable(plc, error); },
                    Qt::QueuedConnection);
            },
            timeouts_);
        const bool cancelled = cancel_.load();
        QMetaObject::invokeMethod(
            this, [this, cancelled] { showFinished(cancelled); }, Qt::QueuedConnection);
    });
}

void TagCheckDialog::showItem(const ItemCheck& item)
{
    auto* row = new QTreeWidgetItem(list_, {qs(item.key), qs(item.text)});
    if (!item.ok) {
        row->setForeground(1, QBrush(Qt::darkRed));
        ++failed_;
    }
    progress_->setValue(++done_ + unreachableItems_);
}

void TagCheckDialog::showUnreachable(const QString& plc, const QString& error)
{
    auto* row =
        new QTreeWidgetItem(list_, {QStringLiteral("PLC ") + plc, QStringLiteral("Not reachable: ") + error});
    row->setForeground(0, QBrush(Qt::darkRed));
    row->setForeground(1, QBrush(Qt::darkRed));
    ++unreachablePlcs_;
    QFont bold = row->font(0);
    bold.setBold(true);
    row->setFont(0, bold);
    // Its items count as done: they are not read, and not listed one by one.
    for (const auto& checked : check_.plcs())
        if (qs(checked.name) == plc) unreachableItems_ += static_cast<int>(checked.items.size());
    progress_->setValue(done_ + unreachableItems_);
}

void TagCheckDialog::showFinished(bool cancelled)
{
    if (worker_.joinable()) worker_.join();
    finished_ = true;
    progress_->setValue(progress_->maximum());
    QString text = cancelled ? QStringLiteral("Cancelled after %1 items").arg(done_)
                             : QStringLiteral("%1 items checked").arg(done_);
    text += QStringLiteral(", %1 with an error").arg(failed_);
    if (unreachablePlcs_ > 0) text += QStringLiteral("; %1 PLCs not reachable").arg(unreachablePlcs_);
    summary_->setText(text + QLatin1Char('.'));
    cancelButton_->setText(QStringLiteral("Close"));
    cancelButton_->setEnabled(true);
}

void TagCheckDialog::onCancel()
{
    if (finished_) {
        accept();
        return;
    }
    cancel_ = true;
    cancelButton_->setEnabled(false);
    summary_->setText(QStringLiteral("Cancelling..."));
}

}  // namespace orva::editor::ui
