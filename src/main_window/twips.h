#pragma once

#include <QRect>

namespace quillow {

// Designed positions are in twips; at 96 dpi fifteen make one pixel.
constexpr int twips(int t) {
    return t >= 0 ? (t + 7) / 15 : -((-t + 7) / 15);
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

}  // namespace quillow
