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

    // Files built line by line from random entries and random line ends
    // read back as those entries; random bytes never crash the reader, and
    // what is written reads back unchanged, byte for byte.
    void randomFiles() {
        QRandomGenerator random(20240611);
        const char alphabet[] = {'\r', '\n', '\0', ' ', 'a', '/', '\xff', '\xc3', '\x80'};
        auto randomByte = [&] {
            return random.bounded(3) == 0 ? char(random.bounded(256))
                                          : alphabet[random.bounded(int(sizeof alphabet))];
        };
        for (int round = 0; round < 4000; ++round) {
            Entries entries;
            for (int i = random.bounded(8); i > 0; --i) {
                QByteArray entry;
                for (int n = random.bounded(6); n > 0; --n) {
                    if (const char c = randomByte(); c != '\r')
                        entry.append(c);
                }
                entries.append(entry);
            }
            QByteArray file;
            for (qsizetype i = 0; i < entries.size(); ++i) {
                file.append(entries.at(i));
                const bool last = i == entries.size() - 1;
                const int end = random.bounded(3);
                if (last && end == 2 && !entries.at(i).isEmpty())
                    continue;  // a last line without a line end
                // A lone cr before an entry that starts with a line feed
                // would be a cr lf.
                if (end == 1 && (last || !entries.at(i + 1).startsWith('\n')))
                    file.append('\r');
                else
                    file.append("\r\n");
            }
            QCOMPARE(parse(file), entries);
            QCOMPARE(parse(serialize(entries)), entries);

            QByteArray noise;
            for (int n = random.bounded(64); n > 0; --n)
                noise.append(randomByte());
            const Entries fromNoise = parse(noise);
            const QByteArray written = serialize(fromNoise);
            QCOMPARE(parse(written), fromNoise);
            QCOMPARE(serialize(parse(written)), written);

            // What a save writes when only the start of the file was read:
            // the lines read, rewritten, then the rest as it was.
            const qsizetype cut = wholeLinesLength(noise);
            const Entries head = parse(noise.left(cut));
            QCOMPARE(head, fromNoise.mid(0, head.size()));
            QCOMPARE(parse(serialize(head) + noise.mid(cut)), fromNoise);
        }
    }
};

QTEST_APPLESS_MAIN(TestFavoritesFormat)
#include "test_favorites_format.moc"
