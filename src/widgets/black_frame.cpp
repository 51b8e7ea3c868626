#include "widgets/black_frame.h"

#include <QPainter>

namespace quillow {

void paintBlack(QWidget *w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::black);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void setColours(QWidget *w, const QColor &text, const QColor &background) {
    QPalette p = w->palette();
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, text);
    if (background.isValid()) {
        p.setColor(QPalette::Window, background);
        p.setColor(QPalette::Button, background);  // what buttons fill with
        w->setAutoFillBackground(true);
    }
    w->setPalette(p);
}

BlackFrame::BlackFrame(const QString &objectName, const QString &caption, const QRect &place,
                       QWidget *parent)
    : QGroupBox(caption, parent) {
    setObjectName(objectName);
    setGeometry(place);
    // Only the frame itself: the controls inside keep their own colours.
    paintBlack(this);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(0, 255, 0));
    setPalette(p);
}

void BlackFrame::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int line = metrics.height() / 2;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(QRect(0, line, width() - 1, height() - 1 - line));
    const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, title());
}

}  // namespace quillow
