#pragma once
// The images the tree, the list and the toolbar name, drawn for the editor: "config", "plc",
// "branch", "item", one per data type ("boolean", "unsigned 16 bit", ... "string") and one per
// toolbar key ("new", "open", "save", ...).

#include <QIcon>
#include <string_view>

namespace orva::editor::ui {

QIcon editorIcon(std::string_view name);

}  // namespace orva::editor::ui
