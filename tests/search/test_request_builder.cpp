// The search engines' request addresses and how the words are encoded.
// That the engines read the words back is the fuzz target's
// (fuzz/fuzz_request_builder.cpp).

#include <QtTest>

#include "search/request_builder.h"

using namespace Qt::StringLiterals;
using namespace quillow;

namespace {

// Dog Pile's fixed runs, as the engine expects them.
const QString kWebRun = QStringLiteral(
    "/1/20/1/-/1/0/1/1/1/1/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/-/");
const QString kPicturesRun = u"/1/20/1/-/1/0/1/1/1/1/-/-/-/-/-/-/-/"_s;
const QString kDogPile = u"https://www.dogpile.com/info.dogpl/search/"_s;

}  // namespace

class TestRequestBuilder : public QObject {
    Q_OBJECT
private slots:
    void everyRow_data() {
        QTest::addColumn<int>("engine");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("address");
        const QString w = u"red+fox"_s;
        const QString dw = u"red%2Bfox"_s;
        const QString google = u"https://www.google.com/search?hl=en&ie=UTF-8&q="_s;
        const QString googlePictures = u"https://images.google.com/images?hl=en&lr=&ie=UTF-8&q="_s;
        QTest::newRow("Dog Pile web")
            << 0 << 0 << "red fox" << kDogPile + "web/" + dw + kWebRun + dw;
        QTest::newRow("Dog Pile pictures")
            << 0 << 1 << "red fox" << kDogPile + "images/" + dw + kPicturesRun + dw;
        QTest::newRow("Google web") << 1 << 0 << "red fox" << google + w;
        QTest::newRow("Google pictures") << 1 << 1 << "red fox" << googlePictures + w;
        QTest::newRow("Yahoo web") << 2 << 0 << "red fox"
                                   << "https://search.yahoo.com/search?p=" + w +
                                          "&ei=UTF-8&fr=fp-tab-web-t&n=20&fl=0&x=wrt";
        QTest::newRow("Yahoo pictures") << 2 << 1 << "red fox"
                                        << "https://images.search.yahoo.com/search/images?p=" + w +
                                               "&ei=UTF-8&fr=fp-tab-img-t&cop=mss&tab=3";
        // Any kind but web pages is pictures; an unknown engine builds nothing.
        QTest::newRow("kind 2") << 1 << 2 << "red fox" << googlePictures + w;
        QTest::newRow("engine 3") << 3 << 0 << "red fox" << QString();
        // Empty words still make a request; Dog Pile's path then has "//".
        QTest::newRow("Google, no words") << 1 << 0 << "" << google;
        QTest::newRow("Dog Pile, no words") << 0 << 0 << "" << kDogPile + "web/" + kWebRun;
    }
    void everyRow() {
        QFETCH(int, engine);
        QFETCH(int, method);
        QFETCH(QString, words);
        QFETCH(QString, address);
        QCOMPARE(searchRequestAddress(engine, method, words), address);
    }

    void wordsEncoded_data() {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("query");    // Google and Yahoo
        QTest::addColumn<QString>("dogPile");  // its escapes escaped once more
        const char *const rows[][3] = {
            {" a  b ", "+a++b+", "%2Ba%2B%2Bb%2B"},
            {"C# tutorial", "C%23+tutorial", "C%2523%2Btutorial"},
            {"AT&T", "AT%26T", "AT%2526T"},
            {"a+b", "a%2Bb", "a%252Bb"},  // a plus is not a blank
            {"a\tb\r\n", "a%09b%0D%0A", "a%2509b%250D%250A"},
            {"caf\u00e9", "caf%C3%A9", "caf%25C3%25A9"},
        };
        for (const auto &row : rows)
            QTest::addRow("%s", row[1])
                << QString::fromUtf8(row[0]) << QString(row[1]) << QString(row[2]);
    }
    void wordsEncoded() {
        QFETCH(QString, words);
        QFETCH(QString, query);
        QFETCH(QString, dogPile);
        QCOMPARE(encodeSearchWords(Google, words), query);
        QCOMPARE(encodeSearchWords(Yahoo, words), query);
        QCOMPARE(encodeSearchWords(DogPile, words), dogPile);
    }
};

QTEST_APPLESS_MAIN(TestRequestBuilder)
#include "test_request_builder.moc"
