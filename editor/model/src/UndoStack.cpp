#include "editor/UndoStack.h"

namespace orva::editor {

void UndoStack::push(std::unique_ptr<EditCommand> command)
{
    if (clean_ > static_cast<std::ptrdiff_t>(index_))
        clean_ = -1;  // the saved state is dropped with the tail
    commands_.resize(index_);
    commands_.push_back(std::move(command));
    index_ = commands_.size();
}

std::string UndoStack::undoText() const
{
    return canUndo() ? commands_[index_ - 1]->text() : std::string();
}

std::string UndoStack::redoText() const
{
    return canRedo() ? commands_[index_]->text() : std::string();
}

EditCommand* UndoStack::stepBack()
{
    if (!canUndo()) return nullptr;
    return commands_[--index_].get();
}

EditCommand* UndoStack::stepForward()
{
    if (!canRedo()) return nullptr;
    return commands_[index_++].get();
}

void UndoStack::clear(bool clean)
{
    commands_.clear();
    index_ = 0;
    clean_ = clean ? 0 : -1;
}

}  // namespace orva::editor
