#include "widgets/paint_batcher.h"

namespace quillow {

PaintBatcher::PaintBatcher(QObject *parent) : QObject(parent) {
    frame_.setSingleShot(true);
    frame_.setInterval(kFrameMs);
    connect(&frame_, &QTimer::timeout, this, &PaintBatcher::paintHeld);
}

void PaintBatcher::hold(QWidget *w) {
    if (!w->updatesEnabled())
        return;  // held already, or by someone else
    w->setUpdatesEnabled(false);
    held_.append(w);
    if (!frame_.isActive())
        frame_.start();
}

void PaintBatcher::paintHeld() {
    // Enabling updates again repaints each widget once.
    for (const QPointer<QWidget> &w : std::exchange(held_, {}))
        if (w)
            w->setUpdatesEnabled(true);
}

}  // namespace quillow
