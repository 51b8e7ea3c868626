// favorites.dat as the program reads and writes it. Whatever bytes the file
// holds: nothing but line ends is dropped, what is written back reads as the
// same entries, and a file read in two parts (as the list reads one that is
// too big to take whole) comes back with the same entries.

#include <QByteArray>
#include <QList>

#include "favorites/favorites_format.h"
#include "fuzz_support.h"

namespace fav = quillow::favorites;

namespace {

using Entries = QList<QByteArray>;

// A file exactly as serialize writes it: every line ends with CR LF and no
// other carriage return is in it.
bool writtenByUs(const QByteArray &file) {
    return file.isEmpty() || (file.endsWith("\r\n") && file.count('\r') == file.count("\r\n"));
}

// The list keeps the entries of the whole lines it read and copies the bytes
// after them unchanged when it saves.
void checkReadInTwoParts(const QByteArray &file, const Entries &entries, qsizetype cut) {
    const qsizetype whole = fav::wholeLinesLength(file.left(cut));
    QUILLOW_FUZZ_CHECK(whole >= 0 && whole <= cut);
    const Entries head = fav::parse(file.left(whole));
    const QByteArray rest = file.mid(whole);
    QUILLOW_FUZZ_CHECK(head + fav::parse(rest) == entries);
    QUILLOW_FUZZ_CHECK(fav::parse(fav::serialize(head) + rest) == entries);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    const Entries entries = fav::parse(file);

    // Only the line ends go: every carriage return and the line feed that
    // directly follows one. Each carriage return ends one entry, and bytes
    // after the last line end make one more.
    qsizetype kept = 0;
    for (const QByteArray &e : entries) {
        QUILLOW_FUZZ_CHECK(!e.contains('\r'));
        kept += e.size();
    }
    QUILLOW_FUZZ_CHECK(kept == file.size() - file.count('\r') - file.count("\r\n"));
    const qsizetype lastCr = file.lastIndexOf('\r');
    const qsizetype afterLastLineEnd =
        lastCr < 0 ? 0 : lastCr + (file.mid(lastCr, 2) == "\r\n" ? 2 : 1);
    QUILLOW_FUZZ_CHECK(entries.size() ==
                       file.count('\r') + (afterLastLineEnd < file.size() ? 1 : 0));

    // Written back: the same entries, CR LF after each, and writing again
    // changes nothing.
    const QByteArray written = fav::serialize(entries);
    QUILLOW_FUZZ_CHECK(written.size() == kept + 2 * entries.size());
    QUILLOW_FUZZ_CHECK(fav::parse(written) == entries);
    QUILLOW_FUZZ_CHECK(fav::serialize(fav::parse(written)) == written);
    if (writtenByUs(file))
        QUILLOW_FUZZ_CHECK(written == file);

    // Read in two parts, cut at a few places, the first byte choosing one.
    const qsizetype n = file.size();
    for (qsizetype cut : {qsizetype(0), n / 3, n / 2, n - 1, n, n > 0 ? data[0] % (n + 1) : 0})
        if (cut >= 0)
            checkReadInTwoParts(file, entries, cut);
    return 0;
}
