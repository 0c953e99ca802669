#include "editor/ui/GuiUserInterface.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include "QtText.h"
#include "editor/ui/DialogRunner.h"
#include "editor/ui/ReplaceTextDialog.h"

namespace orva::editor::ui {

int DialogRunner::run(QDialog& dialog)
{
    return dialog.exec();
}

namespace {

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Exclamation:
            return QMessageBox::Warning;
        case Icon::Critical:
            return QMessageBox::Critical;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// A question that Escape and the window's close button leave without an answer: the safe reply
// to "save?" or "delete?" is "not now", never the No button that Qt would take for it.
class QuestionBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Cancel)) {
            reject();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override { QDialog::closeEvent(event); }
};

}  // namespace

std::string qtNameFilter(std::string_view filter)
{
    const auto bar = filter.find('|');
    if (bar == std::string_view::npos) return std::string(filter);
    std::string description(filter.substr(0, bar));
    while (!description.empty() && description.back() == ' ')
        description.pop_back();
    return description + " (" + std::string(filter.substr(bar + 1)) + ")";
}

void GuiUserInterface::message(std::string_view text, Icon icon)
{
    QMessageBox box(boxIcon(icon), QApplication::applicationName(), qs(text), QMessageBox::Ok, parent_);
    runner_.run(box);
}

void GuiUserInterface::error(ErrorCode code, std::string_view routine, std::string_view detail)
{
    // The one-line message as it always reads, with what the model knows more below it.
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), qs(formatError(code, routine)),
                    QMessageBox::Ok, parent_);
    if (!detail.empty()) box.setInformativeText(qs(detail));
    runner_.run(box);
}

Answer GuiUserInterface::question(std::string_view text, Buttons buttons)
{
    QMessageBox::StandardButtons standard = QMessageBox::Yes | QMessageBox::No;
    if (buttons == Buttons::YesNoCancel) standard |= QMessageBox::Cancel;
    QuestionBox box(QMessageBox::Question, QApplication::applicationName(), qs(text), standard, parent_);
    runner_.run(box);
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            // Closed without a button: the whole operation is called off.
            return Answer::Cancel;
    }
}

std::string GuiUserInterface::clipboardText()
{
    return QGuiApplication::clipboard()->text().toStdString();
}

void GuiUserInterface::clearClipboard()
{
    QGuiApplication::clipboard()->clear();
}

std::optional<std::string> GuiUserInterface::chooseFile(const FileChoice& choice)
{
    QFileDialog dialog(parent_, qs(choice.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(qs(qtNameFilter(choice.filter)));
    if (choice.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The suffix of the filter's pattern ("*.xml", "*.csv") completes a name typed without one.
        const std::string& filter = choice.filter;
        const auto star = filter.rfind("*.");
        dialog.setDefaultSuffix(star == std::string::npos ? QStringLiteral("xml")
                                                          : qs(std::string_view(filter).substr(star + 2)));
        // A chosen file that exists is replaced only when the user confirms it.
        dialog.selectFile(qs(choice.proposedName));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (runner_.run(dialog) != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

bool GuiUserInterface::confirmReplace(const ReplaceTable& table)
{
    ReplaceTextDialog dialog(table, parent_);
    runner_.run(dialog);
    return dialog.answer();
}

void GuiUserInterface::importProgress(int value)
{
    if (progress_) progress_(value);
}

}  // namespace orva::editor::ui
