#pragma once

#include <QRect>
#include <QSize>

namespace quillow {

// What the layout pass reads of the main window, in pixels.
struct LayoutInput {
    QSize client;  // the area below the menu bar, status bar included
    QSize outer;   // the whole window with its frame
    bool favoritesShown = false;
    int favoritesWidth = 0;      // the favorites frame's current width
    QSize progressSize;          // the progress bar keeps its size
    int addressHeight = 0;       // the address box keeps its height
    int favoritesListWidth = 0;  // the favorites list keeps its width
    int floor = 0;               // the status bar's top edge
    int findBarHeight = 0;       // the find bar's while it is open, else 0
};

// Where the layout pass puts things. When the window is smaller than its
// minimum, nothing is placed and the window is to be set to kMinimumOuter.
struct LayoutPlan {
    bool tooSmall = false;
    QRect progressBar;
    QRect addressBox;
    QRect favoritesFrame;  // only when the favorites are shown
    QRect favoritesList;   // inside the frame, only when the favorites are shown
    QRect page;
    QRect findBar;  // only while it is open: on the status bar, the page above it
};

inline constexpr QSize kMinimumOuter(394, 222);  // 5910 x 3330 twips

LayoutPlan planLayout(const LayoutInput &in);

// How far right and down a new main window goes from the one it came from.
inline constexpr int kCascadeStep = 30;

// Where a new main window of size (its frame included) goes: a step right
// of and below from, the window it came from, or at the top-left corner of
// screen (the room the desktop leaves) when it would reach past the
// screen's right or lower edge there; never exactly over from.
QPoint cascadedPlace(const QRect &from, const QSize &size, const QRect &screen);

}  // namespace quillow
