// The search request builder with any words, engine and kind of result: an
// address is built for the three engines only; it is a well-formed https
// address of plain ASCII that the browser component takes unchanged; the
// words change nothing in it but their own places; and the engine reads the
// words back exactly (words that UTF-8 can carry, that is).
//
// Input: engine byte, kind byte, text mode byte, then the words.

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include "fuzz_support.h"
#include "search/request_builder.h"

using namespace quillow;

namespace {

int engineFrom(uint8_t b) {
    if (b < 192)
        return b % 3;
    return (b & 1) ? 3 + b : -b;  // none of the three
}

int methodFrom(uint8_t b) {
    if (b < 128)
        return b % 2;
    return int(int8_t(b)) * 1000;  // any kind but 0 means pictures
}

// What a form decoder makes of a value: "+" is a blank.
QString formDecoded(QString value) {
    return QUrl::fromPercentEncoding(value.replace(QLatin1Char('+'), QLatin1Char(' ')).toLatin1());
}

bool isUnreserved(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
           u == '.' || u == '_' || u == '~';
}

bool isUpperHex(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F');
}

// Unreserved characters, escapes of two upper-case hex digits, and "+"
// where allowed.
bool isEncodedWords(const QString &s, bool plusAllowed) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (isUnreserved(c) || (plusAllowed && c == QLatin1Char('+')))
            continue;
        if (c != QLatin1Char('%') || i + 2 >= s.size() || !isUpperHex(s.at(i + 1)) ||
            !isUpperHex(s.at(i + 2)))
            return false;
        i += 2;
    }
    return true;
}

void checkQueryEngine(const QUrl &url, const QUrl &reference, const QString &key,
                      const QString &words, bool wellFormed) {
    QUILLOW_FUZZ_CHECK(url.path() == reference.path());
    const QUrlQuery query(url);
    const QUrlQuery referenceQuery(reference);
    const auto items = query.queryItems(QUrl::FullyEncoded);
    const auto referenceItems = referenceQuery.queryItems(QUrl::FullyEncoded);
    QUILLOW_FUZZ_CHECK(items.size() == referenceItems.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        QUILLOW_FUZZ_CHECK(items.at(i).first == referenceItems.at(i).first);
        if (items.at(i).first != key)
            QUILLOW_FUZZ_CHECK(items.at(i).second == referenceItems.at(i).second);
    }
    if (wellFormed)
        QUILLOW_FUZZ_CHECK(formDecoded(query.queryItemValue(key, QUrl::FullyEncoded)) == words);
}

// Dog Pile reads the words from two path segments, decoded as a path and
// then as a form.
void checkDogPile(const QUrl &url, const QUrl &reference, const QString &words, bool wellFormed) {
    QUILLOW_FUZZ_CHECK(!url.hasQuery());
    const QStringList segments = url.path(QUrl::FullyEncoded).split(QLatin1Char('/'));
    const QStringList referenceSegments =
        reference.path(QUrl::FullyEncoded).split(QLatin1Char('/'));
    QUILLOW_FUZZ_CHECK(segments.size() == referenceSegments.size());
    QUILLOW_FUZZ_CHECK(segments.size() > 5);
    const qsizetype first = 4;
    const qsizetype last = segments.size() - 1;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i == first || i == last) {
            if (wellFormed)
                QUILLOW_FUZZ_CHECK(
                    formDecoded(QUrl::fromPercentEncoding(segments.at(i).toLatin1())) == words);
        } else {
            QUILLOW_FUZZ_CHECK(segments.at(i) == referenceSegments.at(i));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    const int engine = engineFrom(data[0]);
    const int method = methodFrom(data[1]);
    const QString words = quillow::fuzz::text(data + 3, size - 3, data[2] & 1);
    const bool wellFormed = quillow::fuzz::isWellFormed(words);

    const QString address = searchRequestAddress(engine, method, words);
    if (engine < DogPile || engine > Yahoo) {
        QUILLOW_FUZZ_CHECK(address.isEmpty());
        return 0;
    }

    const QString encoded = encodeSearchWords(engine, words);
    QUILLOW_FUZZ_CHECK(isEncodedWords(encoded, engine != DogPile));

    // Printable ASCII without blanks, so nothing in it is left to be encoded
    // on the way to the engine.
    for (const QChar c : address)
        QUILLOW_FUZZ_CHECK(c.unicode() > 0x20 && c.unicode() < 0x7f);
    const QUrl url(address, QUrl::StrictMode);
    QUILLOW_FUZZ_CHECK(url.isValid());
    QUILLOW_FUZZ_CHECK(url.scheme() == QLatin1String("https"));
    QUILLOW_FUZZ_CHECK(!url.hasFragment());
    // The browser component turns the text into an address this way.
    QUILLOW_FUZZ_CHECK(QUrl::fromUserInput(address, QString(), QUrl::AssumeLocalFile)
                           .toString(QUrl::FullyEncoded) == address);

    const QUrl reference(searchRequestAddress(engine, method, QString()), QUrl::StrictMode);
    QUILLOW_FUZZ_CHECK(url.host() == reference.host());
    if (engine == DogPile)
        checkDogPile(url, reference, words, wellFormed);
    else
        checkQueryEngine(url, reference,
                         engine == Google ? QStringLiteral("q") : QStringLiteral("p"), words,
                         wellFormed);
    return 0;
}
