#pragma once
// Undo and redo of the configuration's edits. Each edit the model carries out is one command
// object that can be reverted and applied again; the stack keeps them in order, knows how far
// they have been undone and which position matches the file last saved or opened.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace orva::editor {

class EditorModel;
struct EditResult;

class EditCommand {
public:
    virtual ~EditCommand() = default;
    // What the command did, for the menu: "Delete 12 items".
    virtual std::string text() const = 0;
    virtual EditResult undo(EditorModel& model) = 0;
    virtual EditResult redo(EditorModel& model) = 0;
};

class UndoStack {
public:
    // Adds a command that has just been carried out; the commands undone before it are dropped.
    void push(std::unique_ptr<EditCommand> command);

    bool canUndo() const { return index_ > 0; }
    bool canRedo() const { return index_ < commands_.size(); }
    // "" when there is nothing to undo or redo.
    std::string undoText() const;
    std::string redoText() const;

    // The command to revert or apply next; the position moves past it. Null when there is none.
    EditCommand* stepBack();
    EditCommand* stepForward();

    // Forgets every command; `clean` says whether the state now matches a file.
    void clear(bool clean);
    // The present state matches the file.
    void setClean() { clean_ = static_cast<std::ptrdiff_t>(index_); }
    bool isClean() const { return clean_ == static_cast<std::ptrdiff_t>(index_); }

    std::size_t size() const { return commands_.size(); }
    std::size_t index() const { return index_; }

private:
    std::vector<std::unique_ptr<EditCommand>> commands_;
    std::size_t index_ = 0;      // commands below it are applied
    std::ptrdiff_t clean_ = -1;  // position of the saved state; -1 when none can be reached
};

}  // namespace orva::editor
