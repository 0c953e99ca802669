#include "windows/AboutDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "process/WindowIds.h"

namespace orva::windows {
namespace {

// One dialog unit is a quarter of the font's average character width and an eighth of its
// height: 6 x 13 pixels for the classic dialog font.
constexpr double kUnitWidth = 6.0 / 4.0;
constexpr double kUnitHeight = 13.0 / 8.0;

int across(int units)
{
    return static_cast<int>(units * kUnitWidth + 0.5);
}
int down(int units)
{
    return static_cast<int>(units * kUnitHeight + 0.5);
}

}  // namespace

QRect dialogUnits(int x, int y, int width, int height)
{
    return QRect(across(x), down(y), across(width), down(height));
}

QSize dialogUnitSize(int width, int height)
{
    return QSize(across(width), down(height));
}

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

AboutDialog::AboutDialog(const process::ServerIdentity& identity, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(toQString(identity.aboutTitle));
    setFixedSize(dialogUnitSize(193, 109));

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    icon->setGeometry(dialogUnits(11, 17, 21, 20));

    auto* product = new QLabel(toQString(identity.aboutProductLine), this);
    product->setObjectName("productLine");
    product->setGeometry(dialogUnits(40, 10, 150, 16));

    auto* maker = new QLabel(toQString(process::kMakerName), this);
    maker->setObjectName("makerName");
    maker->setGeometry(dialogUnits(40, 34, 150, 10));

    auto* contact = new QLabel(toQString(process::kMakerContact), this);
    contact->setObjectName("makerContact");
    contact->setGeometry(dialogUnits(40, 48, 150, 10));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("okButton");
    ok->setProperty("controlId", process::kOkButtonId);
    ok->setDefault(true);
    ok->setGeometry(dialogUnits(72, 84, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace orva::windows
