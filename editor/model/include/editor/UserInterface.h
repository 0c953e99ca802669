#pragma once
// What the editor asks of the person using it: messages, questions, the system clipboard's
// text, file choices and the confirmation grid of bulk renaming. The windows implement it with
// real dialogs; tests and the command line implement it with scripted answers.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "editor/Errors.h"

namespace orva::editor {

enum class Answer { Yes, No, Cancel };
enum class Buttons { YesNo, YesNoCancel };
enum class Icon { None, Information, Exclamation, Critical };

struct FileChoice {
    bool save = false;         // a save dialog (else an open dialog)
    std::string title;         // "Open as existing configuration", "Save configuration"
    std::string filter;        // "configuration files |*.xml"
    std::string proposedName;  // for a save dialog, e.g. "Tornel.xml"
};

// The "Replace Text" confirmation: two column titles and one (old, new) pair per row.
struct ReplaceTable {
    std::string oldTitle;
    std::string newTitle;
    std::vector<std::pair<std::string, std::string>> rows;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A message box with an OK button.
    virtual void message(std::string_view text, Icon icon) = 0;
    virtual Answer question(std::string_view text, Buttons buttons) = 0;
    virtual std::string clipboardText() = 0;
    virtual void clearClipboard() = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> chooseFile(const FileChoice& choice) = 0;
    // True when the user answered "YES".
    virtual bool confirmReplace(const ReplaceTable& table) = 0;

    // An unexpected failure of a routine; `detail` says more where the model knows more (the
    // element or key concerned). Shown by default in the one-line form, without the detail.
    virtual void error(ErrorCode code, std::string_view routine, std::string_view /*detail*/)
    {
        message(formatError(code, routine), Icon::Critical);
    }

    // Called once for every item read by an import, with a counter running from 0 to 99.
    virtual void importProgress(int /*value*/) {}
};

// Nobody in front of the editor (benchmarks, fuzz targets, programs driving the model): every
// question gets the one answer, messages are kept, the clipboard is a plain text.
class UnattendedUi final : public UserInterface {
public:
    explicit UnattendedUi(Answer answer) : answer_(answer) {}

    std::vector<std::string> messages;
    std::string clipboard;

    void message(std::string_view text, Icon) override { messages.emplace_back(text); }
    Answer question(std::string_view, Buttons) override { return answer_; }
    std::string clipboardText() override { return clipboard; }
    void clearClipboard() override { clipboard.clear(); }
    std::optional<std::string> chooseFile(const FileChoice&) override { return std::nullopt; }
    bool confirmReplace(const ReplaceTable&) override { return answer_ == Answer::Yes; }

private:
    Answer answer_;
};

}  // namespace orva::editor
