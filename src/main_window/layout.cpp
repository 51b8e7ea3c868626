#include "main_window/layout.h"

#include "main_window/twips.h"

namespace quillow {

LayoutPlan planLayout(const LayoutInput &in) {
    LayoutPlan plan;
    if (in.outer.height() < kMinimumOuter.height() || in.outer.width() < kMinimumOuter.width()) {
        plan.tooSmall = true;
        return plan;
    }
    const int cw = in.client.width();
    const int ch = in.client.height();
    plan.pageload = QRect(QPoint(cw - 207, ch - 19), in.progressSize);
    plan.addressbar = QRect(232, 56, cw - 240, in.addressHeight);
    if (in.favoritesShown) {
        const int fw = in.favoritesWidth;
        plan.favfr = QRect(0, 80, fw, ch - 100);
        // The list's height follows the whole window's height, in twips.
        plan.favemenu = QRect(twips(100), twips(800), in.favoritesListWidth,
                              twips(in.outer.height() * 15 - 3000));
        plan.browser = QRect(fw, 80, cw - fw, ch - 100);
    } else {
        plan.browser = QRect(0, 80, cw, ch - 100);
    }
    return plan;
}

}  // namespace quillow
