// The editor's images, drawn here so that they look alike at every size and need no files.
#include "editor/ui/Icons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>
#include <string>

namespace orva::editor::ui {

namespace {

// Every image is drawn on a 32 x 32 canvas and scaled by the painter for other sizes.
using Draw = std::function<void(QPainter&)>;

const QColor kInk(40, 40, 48);

void page(QPainter& p, QColor fill, QPointF offset = {})
{
    QPainterPath path;
    path.moveTo(offset + QPointF(7, 3));
    path.lineTo(offset + QPointF(20, 3));
    path.lineTo(offset + QPointF(26, 9));
    path.lineTo(offset + QPointF(26, 29));
    path.lineTo(offset + QPointF(7, 29));
    path.closeSubpath();
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(fill);
    p.drawPath(path);
    p.drawLine(offset + QPointF(20, 3), offset + QPointF(20, 9));
    p.drawLine(offset + QPointF(20, 9), offset + QPointF(26, 9));
}

void folder(QPainter& p, QColor fill)
{
    QPainterPath path;
    path.moveTo(3, 8);
    path.lineTo(12, 8);
    path.lineTo(15, 11);
    path.lineTo(29, 11);
    path.lineTo(29, 27);
    path.lineTo(3, 27);
    path.closeSubpath();
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(fill);
    p.drawPath(path);
}

void plc(QPainter& p)
{
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(150, 160, 170));
    p.drawRoundedRect(QRectF(3, 6, 26, 21), 2, 2);
    p.setBrush(QColor(90, 100, 110));
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(6 + i * 6, 10, 4, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 200, 60));
    p.drawEllipse(QPointF(8, 8.5), 1.2, 1.2);
}

void tag(QPainter& p, QColor fill)
{
    QPainterPath path;
    path.moveTo(4, 10);
    path.lineTo(20, 10);
    path.lineTo(28, 16);
    path.lineTo(20, 22);
    path.lineTo(4, 22);
    path.closeSubpath();
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(fill);
    p.drawPath(path);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(20, 16), 2, 2);
}

// A rounded badge with a short label: one per data type.
void badge(QPainter& p, QColor fill, const QString& label)
{
    p.setPen(QPen(fill.darker(150), 1.5));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2, 5, 28, 22), 5, 5);
    QFont font(QStringLiteral("Sans"));
    font.setBold(true);
    font.setPixelSize(label.size() > 2 ? 11 : 14);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 5, 28, 22), Qt::AlignCenter, label);
}

void cross(QPainter& p, QColor colour, QRectF box)
{
    p.setPen(QPen(colour, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
}

void plus(QPainter& p, QColor colour, QPointF centre)
{
    p.setPen(QPen(colour, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre - QPointF(5, 0), centre + QPointF(5, 0));
    p.drawLine(centre - QPointF(0, 5), centre + QPointF(0, 5));
}

void clipboard(QPainter& p)
{
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(190, 140, 80));
    p.drawRoundedRect(QRectF(5, 5, 20, 25), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 9, 14, 18));
    p.setBrush(QColor(120, 120, 130));
    p.drawRoundedRect(QRectF(10, 3, 10, 5), 1.5, 1.5);
}

void lines(QPainter& p, QRectF box, int count)
{
    p.setPen(QPen(kInk, 1.5));
    const qreal step = box.height() / count;
    for (int i = 0; i < count; ++i)
        p.drawLine(QPointF(box.left(), box.top() + step * (i + 0.5)),
                   QPointF(box.right(), box.top() + step * (i + 0.5)));
}

void grid(QPainter& p, int cells, qreal size, qreal gap)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(80, 130, 210));
    const qreal start = (32 - (cells * size + (cells - 1) * gap)) / 2;
    for (int r = 0; r < cells; ++r)
        for (int c = 0; c < cells; ++c)
            p.drawRect(QRectF(start + c * (size + gap), start + r * (size + gap), size, size));
}

const QHash<QString, Draw>& drawings()
{
    static const QHash<QString, Draw> table = [] {
        QHash<QString, Draw> t;
        const QColor blue(80, 130, 210);
        t["config"] = [](QPainter& p) {
            page(p, QColor(235, 240, 250));
            lines(p, QRectF(10, 12, 13, 14), 4);
        };
        t["plc"] = plc;
        t["branch"] = [](QPainter& p) { folder(p, QColor(240, 200, 90)); };
        t["item"] = [blue](QPainter& p) { tag(p, blue); };
        t["boolean"] = [](QPainter& p) { badge(p, QColor(40, 150, 70), "B"); };
        t["unsigned 8 bit"] = [](QPainter& p) { badge(p, QColor(60, 110, 200), "U8"); };
        t["unsigned 16 bit"] = [](QPainter& p) { badge(p, QColor(60, 110, 200), "U16"); };
        t["unsigned 32 bit"] = [](QPainter& p) { badge(p, QColor(60, 110, 200), "U32"); };
        t["signed 8 bit"] = [](QPainter& p) { badge(p, QColor(130, 80, 190), "I8"); };
        t["signed 16 bit"] = [](QPainter& p) { badge(p, QColor(130, 80, 190), "I16"); };
        t["signed 32 bit"] = [](QPainter& p) { badge(p, QColor(130, 80, 190), "I32"); };
        t["32 bit float"] = [](QPainter& p) { badge(p, QColor(210, 110, 40), "F32"); };
        t["string"] = [](QPainter& p) { badge(p, QColor(110, 110, 120), "abc"); };
        t["new"] = [](QPainter& p) {
            page(p, Qt::white);
            plus(p, QColor(40, 150, 70), QPointF(16, 19));
        };
        t["open"] = [](QPainter& p) {
            folder(p, QColor(240, 200, 90));
            p.setPen(QPen(QColor(40, 150, 70), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(16, 24), QPointF(16, 14));
            p.drawLine(QPointF(16, 14), QPointF(12, 18));
            p.drawLine(QPointF(16, 14), QPointF(20, 18));
        };
        t["save"] = [blue](QPainter& p) {
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(blue);
            p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(9, 4, 14, 9));
            p.setBrush(QColor(200, 200, 210));
            p.drawRect(QRectF(8, 18, 16, 10));
        };
        t["close"] = [](QPainter& p) {
            page(p, Qt::white);
            cross(p, QColor(200, 50, 40), QRectF(12, 14, 9, 9));
        };
        t["setts"] = [](QPainter& p) {
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(QColor(150, 155, 165));
            p.translate(16, 16);
            for (int i = 0; i < 8; ++i) {
                p.drawRect(QRectF(-2.5, -14, 5, 6));
                p.rotate(45);
            }
            p.drawEllipse(QPointF(0, 0), 9, 9);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(0, 0), 3.5, 3.5);
        };
        t["copy"] = [](QPainter& p) {
            page(p, QColor(230, 230, 235), QPointF(-3, -2));
            page(p, Qt::white, QPointF(3, 2));
        };
        t["cut"] = [](QPainter& p) {
            p.setPen(QPen(kInk, 2));
            p.drawLine(QPointF(9, 4), QPointF(21, 20));
            p.drawLine(QPointF(23, 4), QPointF(11, 20));
            p.setBrush(QColor(200, 50, 40));
            p.drawEllipse(QPointF(9, 24), 4, 4);
            p.drawEllipse(QPointF(23, 24), 4, 4);
        };
        t["paste"] = clipboard;
        t["delete"] = [](QPainter& p) { cross(p, QColor(200, 50, 40), QRectF(7, 7, 18, 18)); };
        t["icon"] = [](QPainter& p) { grid(p, 2, 11, 4); };
        t["smallicon"] = [](QPainter& p) { grid(p, 3, 7, 3); };
        t["list"] = [](QPainter& p) {
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(80, 130, 210));
            for (int col = 0; col < 2; ++col)
                for (int row = 0; row < 4; ++row) {
                    p.drawRect(QRectF(3 + col * 15, 5 + row * 6, 4, 4));
                    p.drawLine(QPointF(9 + col * 15, 7 + row * 6), QPointF(15 + col * 15, 7 + row * 6));
                }
        };
        t["report"] = [](QPainter& p) {
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3, 5, 26, 22));
            p.setBrush(QColor(80, 130, 210));
            p.drawRect(QRectF(3, 5, 26, 5));
            lines(p, QRectF(3, 12, 26, 15), 3);
            p.drawLine(QPointF(12, 5), QPointF(12, 27));
        };
        t["find"] = [](QPainter& p) {
            p.setPen(QPen(kInk, 2.5));
            p.setBrush(QColor(200, 225, 250));
            p.drawEllipse(QPointF(13, 13), 8, 8);
            p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(19, 19), QPointF(27, 27));
        };
        t["exit"] = [](QPainter& p) {
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(QColor(170, 120, 70));
            p.drawRect(QRectF(6, 3, 14, 26));
            p.setPen(QPen(QColor(200, 50, 40), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(14, 16), QPointF(28, 16));
            p.drawLine(QPointF(28, 16), QPointF(23, 11));
            p.drawLine(QPointF(28, 16), QPointF(23, 21));
        };
        t["pastename"] = [](QPainter& p) {
            clipboard(p);
            QFont font(QStringLiteral("Sans"));
            font.setBold(true);
            font.setPixelSize(13);
            p.setFont(font);
            p.setPen(QColor(60, 110, 200));
            p.drawText(QRectF(8, 9, 14, 18), Qt::AlignCenter, QStringLiteral("A"));
        };
        t["pastecomment"] = [](QPainter& p) {
            clipboard(p);
            p.setPen(QPen(QColor(60, 110, 200), 1.5));
            lines(p, QRectF(10, 11, 10, 14), 4);
        };
        return t;
    }();
    return table;
}

QPixmap render(const Draw& draw, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(size / 32.0, size / 32.0);
    draw(painter);
    return pixmap;
}

}  // namespace

QIcon editorIcon(std::string_view name)
{
    static QHash<QString, QIcon> cache;
    const QString key = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    const auto cached = cache.constFind(key);
    if (cached != cache.constEnd()) return *cached;
    QIcon icon;
    const auto found = drawings().constFind(key);
    if (found != drawings().constEnd())
        for (const int size : {16, 24, 32, 48})
            icon.addPixmap(render(*found, size));
    cache.insert(key, icon);
    return icon;
}

}  // namespace orva::editor::ui
