#pragma once
// Reading one object from its element of a configuration file.

#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "editor/Objects.h"

namespace orva::editor {

// The element's character data (its text and CDATA children, joined).
std::string textOf(const pugi::xml_node& element);

// The dotted path of branch names from `tags` down to `element`, each followed by a full stop;
// empty for `tags` itself. Names are read in upper case.
std::string XmlPathOf(pugi::xml_node element, const pugi::xml_node& tags);

void SetByXml(clsPLC& plc, const pugi::xml_node& element, ServerKind kind);
void SetByXml(clsItem& item, const pugi::xml_node& element, const pugi::xml_node& tags,
              std::string_view plcName);
void build(clsBranch& branch, const pugi::xml_node& element, const pugi::xml_node& tags,
           std::string_view plcName);

}  // namespace orva::editor
