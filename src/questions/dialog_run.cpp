#include "questions/dialog_run.h"

namespace quillow {

bool DialogRun::arrive(qint64 nowMs) {
    const bool follows = length_ > 0 && lastClosed_ >= 0 && nowMs - lastClosed_ <= kGapMs;
    length_ = follows ? qMin(length_ + 1, kOfferStopAt) : 1;
    lastClosed_ = -1;
    return length_ >= kOfferStopAt;
}

}  // namespace quillow
