#include "editor/ui/KeyFilter.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace orva::editor::ui {

void KeyFilter::install(QLineEdit& box, Filter filter)
{
    box.installEventFilter(new KeyFilter(filter, &box));
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    // Shortcuts (copy, paste, select all) and keys without text pass untouched.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    if (text.isEmpty()) return false;
    const char16_t c = text.front().unicode();
    if (c == 0x7F) return false;  // delete
    if (c < 0x20) return false;   // backspace, tab, enter: editing and moving, never typed into the box
    if (c > 0x7E) return true;    // outside the characters any filter lets through
    return !filter_(static_cast<char>(c));
}

}  // namespace orva::editor::ui
