#include "main_window/layout.h"

#include "widgets/twips.h"

namespace quillow {

namespace {
// The progress bar's top-left corner, back from the client area's
// bottom-right one.
constexpr QPoint kProgressFromCorner(207, 19);
constexpr QPoint kAddressPlace(232, 56);
constexpr int kAddressRightMargin = 240;
// The page and the favorites frame start below the toolbar frames and leave
// room for the status bar.
constexpr int kPageTop = 80;
constexpr int kPageBottomReserve = 100;
// The favorites list inside its frame, in twips; its height follows the
// whole window's height.
constexpr int kFavoritesListLeft = 100;
constexpr int kFavoritesListTop = 800;
constexpr int kFavoritesListHeightReserve = 3000;
}  // namespace

LayoutPlan planLayout(const LayoutInput &in) {
    LayoutPlan plan;
    if (in.outer.height() < kMinimumOuter.height() || in.outer.width() < kMinimumOuter.width()) {
        plan.tooSmall = true;
        return plan;
    }
    const int cw = in.client.width();
    const int pageHeight = in.client.height() - kPageBottomReserve;
    plan.progressBar = QRect(QPoint(cw, in.client.height()) - kProgressFromCorner, in.progressSize);
    plan.addressBox = QRect(kAddressPlace, QSize(cw - kAddressRightMargin, in.addressHeight));
    const int pageLeft = in.favoritesShown ? in.favoritesWidth : 0;
    if (in.favoritesShown) {
        plan.favoritesFrame = QRect(0, kPageTop, in.favoritesWidth, pageHeight);
        plan.favoritesList =
            QRect(twips(kFavoritesListLeft), twips(kFavoritesListTop), in.favoritesListWidth,
                  twips(in.outer.height() * kTwipsPerPixel - kFavoritesListHeightReserve));
    }
    plan.page = QRect(pageLeft, kPageTop, cw - pageLeft, pageHeight);
    // The page ends above the find bar, which it would otherwise hide its
    // last lines under.
    if (in.findBarHeight > 0) {
        plan.findBar =
            QRect(pageLeft, in.floor - in.findBarHeight, cw - pageLeft, in.findBarHeight);
        plan.page.setHeight(qMax(0, plan.findBar.top() - kPageTop));
    }
    return plan;
}

QPoint cascadedPlace(const QRect &from, const QSize &size, const QRect &screen) {
    const QPoint step(kCascadeStep, kCascadeStep);
    QPoint place = from.topLeft() + step;
    if (!screen.contains(QRect(place, size)))
        place = screen.topLeft();
    return place == from.topLeft() ? place + step : place;
}

}  // namespace quillow
