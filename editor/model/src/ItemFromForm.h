#pragma once
// The item that the item dialog's fields describe, as the dialog and the tag import create it.

#include <memory>
#include <string>

#include "editor/Forms.h"
#include "editor/Objects.h"

namespace orva::editor {

std::shared_ptr<clsItem> SetByForm(const ItemForm& form, std::string key);

}  // namespace orva::editor
