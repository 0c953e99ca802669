#pragma once
// "Check Tags": reads every item of the selection once from its PLC on a thread of its own and
// lists each item's value or error text as it arrives, a PLC that cannot be reached once, with a
// progress bar and Cancel. Nothing is written to a PLC.

#include <QDialog>
#include <atomic>
#include <thread>

#include "editor/TagCheck.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace orva::editor::ui {

class TagCheckDialog : public QDialog {
    Q_OBJECT
public:
    TagCheckDialog(TagCheck check, QWidget* parent = nullptr, TagCheck::Timeouts timeouts = {});
    ~TagCheckDialog() override;

    // Starts reading; the dialog shows the results as they come.
    void start();
    bool finished() const { return finished_; }
    QTreeWidget* results() const { return list_; }

private:
    void showItem(const ItemCheck& item);
    void showUnreachable(const QString& plc, const QString& error);
    void showFinished(bool cancelled);
    void onCancel();

    TagCheck check_;
    TagCheck::Timeouts timeouts_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
    bool finished_ = false;
    int done_ = 0;
    int unreachableItems_ = 0;
    int failed_ = 0;
    int unreachablePlcs_ = 0;
    QLabel* summary_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace orva::editor::ui
