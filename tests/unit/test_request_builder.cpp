#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

#include "search/request_builder.h"

using namespace quillow;

namespace {

// Dog Pile's fixed runs, as the engine expects them.
const QString kWebRun = QStringLiteral(
    "/1/20/1/-/1/0/1/1/1/1/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/");
const QString kPicturesRun = QStringLiteral("/1/20/1/-/1/0/1/1/1/1/-/-/-/-/-/-/-/");
const QString kDogPile = QStringLiteral("https://www.dogpile.com/info.dogpl/search/");

// What a form decoder makes of a value: "+" is a blank.
QString formDecoded(QString value) {
    return QUrl::fromPercentEncoding(value.replace(QLatin1Char('+'), QLatin1Char(' ')).toLatin1());
}

}  // namespace

class TestRequestBuilder : public QObject {
    Q_OBJECT
private slots:
    void everyRow_data();
    void everyRow();
    void blanksAndEmptyWords();
    void unsafeCharactersEncoded_data();
    void unsafeCharactersEncoded();
    void wordsSurviveTheRoundTrip_data();
    void wordsSurviveTheRoundTrip();
};

void TestRequestBuilder::everyRow_data() {
    QTest::addColumn<int>("engine");
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("address");
    const QString w = QStringLiteral("red+fox");
    const QString dw = QStringLiteral("red%2Bfox");
    QTest::newRow("Dog Pile web") << 0 << 0 << kDogPile + "web/" + dw + kWebRun + dw;
    QTest::newRow("Dog Pile pictures") << 0 << 1 << kDogPile + "images/" + dw + kPicturesRun + dw;
    QTest::newRow("Google web") << 1 << 0 << "https://www.google.com/search?hl=en&ie=UTF-8&q=" + w;
    QTest::newRow("Google pictures")
        << 1 << 1 << "https://images.google.com/images?hl=en&lr=&ie=UTF-8&q=" + w;
    QTest::newRow("Yahoo web") << 2 << 0
                               << "https://search.yahoo.com/search?p=" + w +
                                      "&ei=UTF-8&fr=fp-tab-web-t&n=20&fl=0&x=wrt";
    QTest::newRow("Yahoo pictures") << 2 << 1
                                    << "https://images.search.yahoo.com/search/images?p=" + w +
                                           "&ei=UTF-8&fr=fp-tab-img-t&cop=mss&tab=3";
    // Any kind but web pages is pictures; an unknown engine builds nothing.
    QTest::newRow("kind 2") << 1 << 2
                            << "https://images.google.com/images?hl=en&lr=&ie=UTF-8&q=" + w;
    QTest::newRow("engine 3") << 3 << 0 << QString();
}

void TestRequestBuilder::everyRow() {
    QFETCH(int, engine);
    QFETCH(int, method);
    QFETCH(QString, address);
    QCOMPARE(kWebRun.size(), 78);
    QCOMPARE(kPicturesRun.size(), 36);
    QCOMPARE(searchRequestAddress(engine, method, QStringLiteral("red fox")), address);
}

void TestRequestBuilder::blanksAndEmptyWords() {
    QCOMPARE(encodeSearchWords(Google, QStringLiteral(" a  b ")), QStringLiteral("+a++b+"));
    QCOMPARE(encodeSearchWords(Yahoo, QStringLiteral(" a  b ")), QStringLiteral("+a++b+"));
    QCOMPARE(encodeSearchWords(DogPile, QStringLiteral(" a  b ")),
             QStringLiteral("%2Ba%2B%2Bb%2B"));
    // Empty words still make a request; Dog Pile's path then has "//".
    QCOMPARE(searchRequestAddress(Google, WebPages, QString()),
             QStringLiteral("https://www.google.com/search?hl=en&ie=UTF-8&q="));
    QCOMPARE(searchRequestAddress(DogPile, WebPages, QString()), kDogPile + "web/" + kWebRun);
}

void TestRequestBuilder::unsafeCharactersEncoded_data() {
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("query");    // Google and Yahoo
    QTest::addColumn<QString>("dogPile");  // its escapes escaped once more
    QTest::newRow("hash") << "C# tutorial"
                          << "C%23+tutorial"
                          << "C%2523%2Btutorial";
    QTest::newRow("ampersand") << "AT&T"
                               << "AT%26T"
                               << "AT%2526T";
    QTest::newRow("plus is not a blank") << "a+b"
                                         << "a%2Bb"
                                         << "a%252Bb";
    QTest::newRow("percent") << "100%"
                             << "100%25"
                             << "100%2525";
    QTest::newRow("structure") << "?/=;"
                               << "%3F%2F%3D%3B"
                               << "%253F%252F%253D%253B";
    QTest::newRow("controls") << "a\tb\r\n"
                              << "a%09b%0D%0A"
                              << "a%2509b%250D%250A";
    QTest::newRow("non-ASCII") << QStringLiteral("café") << "caf%C3%A9"
                               << "caf%25C3%25A9";
    QTest::newRow("beyond the BMP") << QStringLiteral("\U0001F600") << "%F0%9F%98%80"
                                    << "%25F0%259F%2598%2580";
    QTest::newRow("left alone") << "Az09-._~"
                                << "Az09-._~"
                                << "Az09-._~";
}

void TestRequestBuilder::unsafeCharactersEncoded() {
    QFETCH(QString, words);
    QFETCH(QString, query);
    QFETCH(QString, dogPile);
    QCOMPARE(encodeSearchWords(Google, words), query);
    QCOMPARE(encodeSearchWords(Yahoo, words), query);
    QCOMPARE(encodeSearchWords(DogPile, words), dogPile);
}

void TestRequestBuilder::wordsSurviveTheRoundTrip_data() {
    QTest::addColumn<QString>("words");
    QTest::newRow("query syntax") << QStringLiteral("a=b&c=d#e?f");
    QTest::newRow("plus and percent") << QStringLiteral("1+1 = 2 %41");
    QTest::newRow("paths") << QStringLiteral("../x/y;z");
    QTest::newRow("non-ASCII") << QStringLiteral("Straße 日本 \U0001F600");
}

void TestRequestBuilder::wordsSurviveTheRoundTrip() {
    QFETCH(QString, words);
    // The engine reads back exactly the words, and the rest of the address
    // keeps its parts.
    const QUrl google(searchRequestAddress(Google, WebPages, words), QUrl::StrictMode);
    QVERIFY(google.isValid());
    QCOMPARE(google.path(), QStringLiteral("/search"));
    const QUrlQuery googleQuery(google);
    QCOMPARE(googleQuery.queryItems().size(), 3);
    QCOMPARE(formDecoded(googleQuery.queryItemValue("q", QUrl::FullyEncoded)), words);

    const QUrlQuery yahooQuery(QUrl(searchRequestAddress(Yahoo, Pictures, words)));
    QCOMPARE(yahooQuery.queryItems().size(), 5);
    QCOMPARE(formDecoded(yahooQuery.queryItemValue("p", QUrl::FullyEncoded)), words);

    // Dog Pile: one path segment each time, decoded as a path, then as form.
    const QUrl dogPile(searchRequestAddress(DogPile, WebPages, words), QUrl::StrictMode);
    QVERIFY(dogPile.isValid() && !dogPile.hasQuery() && !dogPile.hasFragment());
    const QStringList segments = dogPile.path(QUrl::FullyEncoded).split(QLatin1Char('/'));
    QCOMPARE(segments.size(), 44);
    for (const QString &segment : {segments.at(4), segments.last()})
        QCOMPARE(formDecoded(QUrl::fromPercentEncoding(segment.toLatin1())), words);
}

QTEST_APPLESS_MAIN(TestRequestBuilder)
#include "test_request_builder.moc"
