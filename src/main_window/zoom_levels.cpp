#include "main_window/zoom_levels.h"

#include <iterator>

namespace quillow {

namespace {
constexpr qreal kSteps[] = {0.25, 0.33, 0.5,  0.67, 0.75, 0.8, 0.9, 1.0, 1.1,
                            1.25, 1.5,  1.75, 2.0,  2.5,  3.0, 4.0, 5.0};
// Factors this close count as the same step (the engine rounds them).
constexpr qreal kSame = 0.005;
}  // namespace

qreal nextZoomFactor(qreal current, int direction) {
    if (direction > 0) {
        for (const qreal step : kSteps)
            if (step > current + kSame)
                return step;
        return std::end(kSteps)[-1];
    }
    for (auto it = std::rbegin(kSteps); it != std::rend(kSteps); ++it)
        if (*it < current - kSame)
            return *it;
    return kSteps[0];
}

}  // namespace quillow
