#pragma once

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace quillow {

// Gives a control the desktop's own colours instead of those it would take
// over from a black window or frame.
inline void useDesktopColours(QWidget *w) {
    QPalette p = QApplication::palette();
    p.setResolveMask(~QPalette::ResolveMask(0));
    w->setPalette(p);
}

}  // namespace quillow
