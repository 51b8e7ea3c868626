#include "widgets/paint_batcher.h"

namespace quillow {

PaintBatcher::PaintBatcher(QObject *parent) : QObject(parent) {
    frame_.setSingleShot(true);
    connect(&frame_, &QTimer::timeout, this, &PaintBatcher::paintHeld);
}

void PaintBatcher::hold(QWidget *w) {
    if (!w->updatesEnabled())
        return;  // held already, or by someone else
    w->setUpdatesEnabled(false);
    held_.append(w);
    if (frame_.isActive())
        return;
    const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kBusyGapMs;
    frame_.start(int(qMax<qint64>(kFrameMs, kBusyGapMs - since)));
}

void PaintBatcher::paintHeld() {
    sincePaint_.start();
    // Enabling updates again repaints each widget once.
    for (const QPointer<QWidget> &w : std::exchange(held_, {}))
        if (w)
            w->setUpdatesEnabled(true);
}

}  // namespace quillow
