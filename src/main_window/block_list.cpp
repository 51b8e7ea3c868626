#include "main_window/block_list.h"

namespace quillow::blocklist {

const QString kAdServerFragment = QStringLiteral("adserv.quillow-blocked.test");

const QStringList kKnownPopupAddresses = {
    QStringLiteral("http://matches.lovelink-popups.test/match/mutual-match_popup.jsp?"
                   "id=48151623&sid=7&supp=0&test=0&uid=48151623"),
    QStringLiteral("http://portal.adpage-popups.test/imageport/ad.html"),
    QStringLiteral("http://www.popunder-home.test/"),
    QStringLiteral("http://banners.adscript-popups.test/banner.php?typ=42"),
};

bool isAdServer(const QString &url) {
    return url.toLower().contains(kAdServerFragment);
}

bool isKnownPopupAddress(const QString &url) {
    return kKnownPopupAddresses.contains(url);
}

}  // namespace quillow::blocklist
