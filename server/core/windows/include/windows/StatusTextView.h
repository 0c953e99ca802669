#pragma once
// The main window's client area: the status text, one line per PLC, in Arial 16 px, centred
// horizontally and drawn from 10 pixels below the top.

#include <QString>
#include <QWidget>

namespace orva::windows {

class StatusTextView : public QWidget {
    Q_OBJECT
public:
    explicit StatusTextView(QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);  // repaints the whole area

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

}  // namespace orva::windows
