// The block list with any address. The ad-server check finds the host
// fragment in any letter case and anywhere in the address, and more text
// around an address never hides it; the known popup addresses match only
// themselves, exactly.
//
// Input: mode byte, position byte, then the address text.

#include <QStringList>

#include "fuzz_support.h"
#include "main_window/block_list.h"

using namespace quillow;

namespace {

// Letter case flipped for ASCII letters only, chosen by the bits of key.
QString flipAsciiCase(QString s, uint8_t key) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = s.at(i).unicode();
        const bool letter = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
        if (letter && ((key >> (i % 8)) & 1))
            s[i] = QChar(char16_t(u ^ 0x20));
    }
    return s;
}

void checkAdServer(const QString &url, uint8_t mode, uint8_t position) {
    const bool blocked = blocklist::isAdServer(url);
    // Any letter case of the ASCII letters.
    QUILLOW_FUZZ_CHECK(blocklist::isAdServer(flipAsciiCase(url, mode)) == blocked);
    // Full case mappings can turn other characters into the fragment's
    // letters, but never take a match away.
    if (blocked) {
        QUILLOW_FUZZ_CHECK(blocklist::isAdServer(url.toUpper()));
        QUILLOW_FUZZ_CHECK(blocklist::isAdServer(url.toLower()));
    }
    // More text before or after an ad-server address leaves it blocked.
    const qsizetype at = url.isEmpty() ? 0 : position % (url.size() + 1);
    const QString before = url.left(at);
    const QString after = url.mid(at);
    if (blocklist::isAdServer(before) || blocklist::isAdServer(after))
        QUILLOW_FUZZ_CHECK(blocked);
    if (blocked)
        QUILLOW_FUZZ_CHECK(blocklist::isAdServer(after + url + before));
    // The fragment, in any case, put anywhere.
    const QString fragment = flipAsciiCase(blocklist::kAdServerFragment, mode);
    QUILLOW_FUZZ_CHECK(blocklist::isAdServer(before + fragment + after));
}

// A known popup address with one change made by the input matches only if
// the change gave back the same text.
void checkKnownPopup(const QString &url, uint8_t mode, uint8_t position) {
    const bool known = blocklist::isKnownPopupAddress(url);
    if (known) {
        QUILLOW_FUZZ_CHECK(!blocklist::isKnownPopupAddress(url + QLatin1Char('/')));
        QUILLOW_FUZZ_CHECK(!blocklist::isKnownPopupAddress(url.toUpper()));
        QUILLOW_FUZZ_CHECK(!blocklist::isKnownPopupAddress(QLatin1Char(' ') + url));
    }
    const QStringList &all = blocklist::kKnownPopupAddresses;
    const QString original = all.at(mode % all.size());
    QUILLOW_FUZZ_CHECK(blocklist::isKnownPopupAddress(original));
    const qsizetype at = position % (original.size() + 1);
    QString changed = original;
    switch ((mode >> 2) % 3) {
        case 0:  // the input put in
            changed.insert(at, url);
            break;
        case 1:  // part of it replaced by the input
            changed.replace(at, url.size(), url);
            break;
        default:  // part of it cut out, as long as the input
            changed.remove(at, url.size());
            break;
    }
    const bool becameAnother = changed != original && all.contains(changed);
    if (!becameAnother)
        QUILLOW_FUZZ_CHECK(blocklist::isKnownPopupAddress(changed) == (changed == original));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t mode = data[0];
    const uint8_t position = data[1];
    const QString url = quillow::fuzz::text(data + 2, size - 2, mode & 0x80);
    checkAdServer(url, mode, position);
    checkKnownPopup(url, mode, position);
    return 0;
}
