#pragma once
// Lets through only the typed characters a filter accepts, as the editor's item name and
// number boxes do. Characters that arrive otherwise (pasting) are left to the field checks.

#include <QObject>

class QLineEdit;

namespace orva::editor::ui {

class KeyFilter : public QObject {
    Q_OBJECT
public:
    using Filter = bool (*)(char);
    KeyFilter(Filter filter, QObject* parent) : QObject(parent), filter_(filter) {}

    // Installs a filter owned by the box.
    static void install(QLineEdit& box, Filter filter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Filter filter_;
};

}  // namespace orva::editor::ui
