#pragma once

#include <QtGlobal>
#include <deque>

namespace quillow {

// How many windows pages may open without a click of the user's while
// popups are allowed: a few in a short time, in the whole program, so that
// a page (or the windows it opens, opening more) cannot fill the memory
// with windows. Every request counts, the refused ones too, so a storm is
// refused for as long as it lasts; after kSpanMs of quiet pages may open a
// few again. Windows the user's clicks open are never counted.
class PopupAllowance {
public:
    static constexpr int kWindows = 3;
    static constexpr qint64 kSpanMs = 10000;

    // Whether a window asked for at nowMs (a steady clock) may open.
    bool allow(qint64 nowMs);

private:
    std::deque<qint64> asked_;  // the last few requests, oldest first
};

}  // namespace quillow
