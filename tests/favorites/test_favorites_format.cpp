// favorites.dat's lines, read and written. Random files are the fuzz
// target's (fuzz/fuzz_favorites_format.cpp).

#include <QtTest>

#include "favorites/favorites_format.h"

using quillow::favorites::parse;
using quillow::favorites::serialize;
using quillow::favorites::wholeLinesLength;

using Entries = QList<QByteArray>;
Q_DECLARE_METATYPE(Entries)

class TestFavoritesFormat : public QObject {
    Q_OBJECT
private slots:
    void lineEnds_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Entries>("entries");
        QTest::newRow("empty file") << QByteArray() << Entries{};
        QTest::newRow("cr lf") << QByteArray("a\r\nb\r\n") << Entries{"a", "b"};
        QTest::newRow("lone cr") << QByteArray("a\rb\r") << Entries{"a", "b"};
        QTest::newRow("lone lf stays") << QByteArray("a\nb\r\n") << Entries{"a\nb"};
        QTest::newRow("lf only file") << QByteArray("a\nb\n") << Entries{"a\nb\n"};
        QTest::newRow("lf before cr stays") << QByteArray("a\n\r\n") << Entries{"a\n"};
        QTest::newRow("second lf stays") << QByteArray("a\r\n\nb\r\n") << Entries{"a", "\nb"};
        QTest::newRow("no last line end") << QByteArray("a\r\nb") << Entries{"a", "b"};
        QTest::newRow("only a line end") << QByteArray("\r\n") << Entries{""};
        QTest::newRow("blank lines") << QByteArray("a\r\n\r\n\rb\r\n") << Entries{"a", "", "", "b"};
        QTest::newRow("cr cr lf") << QByteArray("a\r\r\n") << Entries{"a", ""};
        QTest::newRow("blanks kept") << QByteArray("  a b \r\n ") << Entries{"  a b ", " "};
        QTest::newRow("raw bytes")
            << QByteArray("\xff\xfe\0z\r\n", 6) << Entries{QByteArray("\xff\xfe\0z", 4)};
    }
    void lineEnds() {
        QFETCH(QByteArray, file);
        QFETCH(Entries, entries);
        QCOMPARE(parse(file), entries);
    }

    void writing() {
        QCOMPARE(serialize({}), QByteArray());
        QCOMPARE(serialize({""}), QByteArray("\r\n"));
        QCOMPARE(serialize({"a", "", "a"}), QByteArray("a\r\n\r\na\r\n"));
    }

    void wholeLines_data() {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<int>("length");
        QTest::newRow("nothing") << QByteArray() << 0;
        QTest::newRow("one unfinished line") << QByteArray("abc") << 0;
        QTest::newRow("cr last: its lf may follow") << QByteArray("abc\r") << 0;
        QTest::newRow("cr lf") << QByteArray("a\r\nb") << 3;
        QTest::newRow("lone cr") << QByteArray("a\rb") << 2;
        QTest::newRow("earlier line") << QByteArray("a\r\nb\r") << 3;
        QTest::newRow("ends in cr lf") << QByteArray("a\r\nb\r\n") << 6;
    }
    void wholeLines() {
        QFETCH(QByteArray, start);
        QFETCH(int, length);
        QCOMPARE(wholeLinesLength(start), qsizetype(length));
    }
};

QTEST_APPLESS_MAIN(TestFavoritesFormat)
#include "test_favorites_format.moc"
