#pragma once

#include <QtGlobal>

namespace quillow {

// The page magnification one step in or out from current (direction +1 or
// -1): the next of the steps browsers offer, 25 % to 500 %, staying at the
// ends. A factor between steps goes to the nearest step that way.
qreal nextZoomFactor(qreal current, int direction);

}  // namespace quillow
