#pragma once
// Runs a routine of the model so that a failure inside it ends the routine and is reported in
// the editor's one-line form with the routine's name; what was done before stays done.

#include <new>

#include "editor/EditorModel.h"

namespace orva::editor {

template <class F>
bool EditorModel::guarded(std::string_view routine, F&& body)
{
    try {
        body();
        return true;
    } catch (const EditorError& e) {
        report(e.code, routine, e.detail);
    } catch (const std::bad_alloc&) {
        report(ErrorCode::OutOfMemory, routine);
    }
    return false;
}

}  // namespace orva::editor
