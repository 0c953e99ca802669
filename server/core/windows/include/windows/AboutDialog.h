#pragma once
// "&About ...": the program icon, the product line, the maker's name and contact, and "OK".

#include <QDialog>

#include "process/ServerIdentity.h"

namespace orva::windows {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(const process::ServerIdentity& identity, QWidget* parent = nullptr);
};

// Dialog units of the classic 8-point dialog font, in pixels.
QRect dialogUnits(int x, int y, int width, int height);
QSize dialogUnitSize(int width, int height);

QString toQString(std::string_view text);

}  // namespace orva::windows
