#pragma once

#include <QRect>

namespace quillow {

// Designed positions are in twips; at 96 dpi fifteen make one pixel.
inline constexpr int kTwipsPerPixel = 15;

constexpr int twips(int t) {
    constexpr int half = kTwipsPerPixel / 2;
    return t >= 0 ? (t + half) / kTwipsPerPixel : -((-t + half) / kTwipsPerPixel);
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

}  // namespace quillow
