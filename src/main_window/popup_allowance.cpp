#include "main_window/popup_allowance.h"

namespace quillow {

bool PopupAllowance::allow(qint64 nowMs) {
    while (!opened_.empty() && nowMs - opened_.front() >= kSpanMs)
        opened_.pop_front();
    if (int(opened_.size()) >= kWindows)
        return false;
    opened_.push_back(nowMs);
    return true;
}

}  // namespace quillow
