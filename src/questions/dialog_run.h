#pragma once

#include <QtGlobal>

namespace quillow {

// Counts a page's dialogs that follow one another closely. A dialog that
// comes within kGapMs of the previous one's close continues the run, any
// other starts a new one; from the kOfferStopAt-th dialog of a run on, the
// user is offered to stop the page's dialogs. The gap is measured from the
// close, so the time the user takes to read a dialog does not count:
// `while (true) alert()` offers the stop on its third dialog however slowly
// the user answers.
class DialogRun {
public:
    static constexpr qint64 kGapMs = 3000;
    static constexpr int kOfferStopAt = 3;

    // A dialog comes at nowMs; true when it is to offer the stop.
    bool arrive(qint64 nowMs);
    void closed(qint64 nowMs) { lastClosed_ = nowMs; }

private:
    int length_ = 0;
    qint64 lastClosed_ = -1;  // none yet
};

}  // namespace quillow
