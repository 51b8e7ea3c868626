#pragma once

#include <QGroupBox>

namespace quillow {

// A frame on black with a green caption that sits on its border line, as
// the designed places of the controls inside expect (the default look puts
// the line below the caption, through the first row of contents).
class BlackFrame : public QGroupBox {
    Q_OBJECT
public:
    BlackFrame(const QString &objectName, const QString &caption, const QRect &place,
               QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Fills w with black, as the designed windows and frames are.
void paintBlack(QWidget *w);

// Sets the colour of the text, and where background is valid the colour of
// the fill, for every role a label, button or text box draws with.
void setColours(QWidget *w, const QColor &text, const QColor &background = QColor());

}  // namespace quillow
