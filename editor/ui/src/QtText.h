#pragma once
// The model keeps its texts as UTF-8 std::string; Qt wants QString.
#include <QString>
#include <string_view>

namespace orva::editor::ui {

inline QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace orva::editor::ui
