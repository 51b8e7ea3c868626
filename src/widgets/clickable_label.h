#pragma once

#include <QLabel>

namespace quillow {

// A label or picture that reports a left click: a press and a release on it.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

}  // namespace quillow
