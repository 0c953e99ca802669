#pragma once
// A user interface with scripted answers that records what the editor showed.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "editor/UserInterface.h"

namespace orva::editor::test {

class ScriptedUi final : public UserInterface {
public:
    std::vector<std::string> messages;
    std::vector<std::string> details;
    std::vector<std::string> questions;
    std::deque<Answer> answers;  // used in order; Yes when empty
    std::string clipboard;
    bool clipboardCleared = false;
    std::optional<std::string> chosenFile;
    bool replaceAnswer = true;
    std::vector<ReplaceTable> tables;
    std::vector<int> progress;

    void message(std::string_view text, Icon) override { messages.emplace_back(text); }
    Answer question(std::string_view text, Buttons) override
    {
        questions.emplace_back(text);
        if (answers.empty()) return Answer::Yes;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::string clipboardText() override { return clipboard; }
    void clearClipboard() override
    {
        clipboard.clear();
        clipboardCleared = true;
    }
    std::optional<std::string> chooseFile(const FileChoice&) override { return chosenFile; }
    bool confirmReplace(const ReplaceTable& table) override
    {
        tables.push_back(table);
        return replaceAnswer;
    }
    void error(ErrorCode code, std::string_view routine, std::string_view detail) override
    {
        details.emplace_back(detail);
        UserInterface::error(code, routine, detail);
    }
    void importProgress(int value) override { progress.push_back(value); }

    std::string lastMessage() const { return messages.empty() ? std::string() : messages.back(); }
};

}  // namespace orva::editor::test
