#pragma once
// Which names the key scheme and the file format can carry.

#include <optional>
#include <string>
#include <string_view>

#include "editor/EditorModel.h"

namespace orva::editor {

// Names typed or pasted by the user: the message for the first problem, or nothing.
std::optional<std::string> enteredNameProblem(ObjectKind kind, std::string_view name);

// Names read from a file: only what would break keys or the file is refused.
bool importedNameAcceptable(ObjectKind kind, std::string_view name);

}  // namespace orva::editor
