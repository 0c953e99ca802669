#include "windows/StatusTextView.h"

#include <QPainter>

#include "process/WindowIds.h"

namespace orva::windows {

StatusTextView::StatusTextView(QWidget* parent) : QWidget(parent)
{
    QFont statusFont(QString::fromLatin1(process::kStatusFontFace.data(),
                                         static_cast<qsizetype>(process::kStatusFontFace.size())));
    statusFont.setPixelSize(process::kStatusFontHeight);
    setFont(statusFont);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void StatusTextView::setText(const QString& text)
{
    text_ = text;
    update();
}

void StatusTextView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QRect area = rect();
    area.setTop(area.top() + process::kStatusTextTopOffset);
    // Several lines cannot be centred vertically: they run down from the top, each centred.
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop, text_);
}

}  // namespace orva::windows
