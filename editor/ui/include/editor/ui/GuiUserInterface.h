#pragma once
// The editor's questions and messages as real dialogs: message boxes, file dialogs, the system
// clipboard and the "Replace Text" confirmation. Every dialog goes through a DialogRunner.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "editor/UserInterface.h"

class QWidget;

namespace orva::editor::ui {

class DialogRunner;

class GuiUserInterface : public UserInterface {
public:
    explicit GuiUserInterface(DialogRunner& runner) : runner_(runner) {}

    // The window that owns the dialogs.
    void setParentWidget(QWidget* parent) { parent_ = parent; }
    // Receives the import progress (0 to 99, once per item read).
    void setProgressSink(std::function<void(int)> sink) { progress_ = std::move(sink); }
    DialogRunner& runner() { return runner_; }

    void message(std::string_view text, Icon icon) override;
    void error(ErrorCode code, std::string_view routine, std::string_view detail) override;
    Answer question(std::string_view text, Buttons buttons) override;
    std::string clipboardText() override;
    void clearClipboard() override;
    std::optional<std::string> chooseFile(const FileChoice& choice) override;
    bool confirmReplace(const ReplaceTable& table) override;
    void importProgress(int value) override;

protected:
    QWidget* parentWidget() const { return parent_; }

private:
    DialogRunner& runner_;
    QWidget* parent_ = nullptr;
    std::function<void(int)> progress_;
};

// "configuration files |*.xml" as a Qt name filter: "configuration files (*.xml)".
std::string qtNameFilter(std::string_view filter);

}  // namespace orva::editor::ui
