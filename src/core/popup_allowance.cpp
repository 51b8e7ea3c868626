#include "core/popup_allowance.h"

namespace quillow {

bool PopupAllowance::allow(qint64 nowMs) {
    while (!asked_.empty() && nowMs - asked_.front() >= kSpanMs)
        asked_.pop_front();
    const bool allowed = int(asked_.size()) < kWindows;
    asked_.push_back(nowMs);
    if (int(asked_.size()) > kWindows)
        asked_.pop_front();
    return allowed;
}

}  // namespace quillow
