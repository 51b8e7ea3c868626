#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace quillow {

// Paints the widgets it is given at most once per frame, however often
// their texts and values change meanwhile. In a window that shows a web
// page every repaint composes the whole window anew (in software on many
// desktops), so a page's stream of status, progress and popup counts
// costs one composition a frame instead of one each. While changes keep
// coming, frames are kept kBusyGapMs apart: ten a second is as fast as
// anyone reads changing text, and a storm of popups then costs the window
// next to nothing. The widgets take their new state at once; only the
// painting waits.
class PaintBatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kFrameMs = 16;
    static constexpr int kBusyGapMs = 100;

    explicit PaintBatcher(QObject *parent = nullptr);

    // Call before changing w: its painting waits for the end of the frame.
    void hold(QWidget *w);

private:
    void paintHeld();

    QTimer frame_;
    QElapsedTimer sincePaint_;
    QList<QPointer<QWidget>> held_;
};

}  // namespace quillow
