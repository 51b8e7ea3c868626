#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <optional>

#include "favorites/favorites_format.h"
#include "favorites/favorites_list.h"

using quillow::FavoritesList;

namespace {

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

// Files of this process may not grow beyond limit bytes while it lives: a
// full disk, as far as the writer can tell.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
    rlimit old_{};
};

}  // namespace

class TestFavoritesList : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString path() const { return dir_.filePath(QStringLiteral("favorites.dat")); }

private slots:
    void init() {
        QFile::remove(path());
        QDir(path()).removeRecursively();  // left by the directory-in-place case
    }

    void firstRun() {
        FavoritesList list(path());
        list.load();
        QCOMPARE(list.count(), 0);
        QVERIFY(!QFile::exists(path()));  // reading never creates the file

        QVERIFY(list.add(QStringLiteral("http://a.test/")).ok);
        QCOMPARE(readAll(path()), QByteArray("http://a.test/\r\n"));
        QVERIFY(list.add(QStringLiteral("http://a.test/")).ok);
        QCOMPARE(readAll(path()), QByteArray("http://a.test/\r\nhttp://a.test/\r\n"));
    }

    void addGoesBeforeFirstEmptyEntry() {
        writeAll(path(), "a\r\n\r\nc\r\n\r\n");
        FavoritesList list(path());
        list.load();
        QSignalSpy inserted(&list, &FavoritesList::inserted);
        QVERIFY(list.add(QStringLiteral("n")).ok);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(0).toInt(), 1);
        QCOMPARE(list.texts(), QStringList({"a", "n", "", "c", ""}));
        QCOMPARE(readAll(path()), QByteArray("a\r\nn\r\n\r\nc\r\n\r\n"));
    }

    void removeSavesInEveryCase() {
        writeAll(path(), "a\rb");
        FavoritesList list(path());
        list.load();
        QSignalSpy removed(&list, &FavoritesList::removed);
        QVERIFY(list.remove(-1).ok);
        QVERIFY(list.remove(2).ok);
        QCOMPARE(removed.size(), 0);
        QCOMPARE(readAll(path()), QByteArray("a\r\nb\r\n"));

        QVERIFY(list.remove(0).ok);
        QVERIFY(list.remove(0).ok);
        QCOMPARE(removed.size(), 2);
        QCOMPARE(readAll(path()), QByteArray());
        FavoritesList again(path());
        again.load();
        QCOMPARE(again.count(), 0);
    }

    // Entries nobody touched go back byte for byte, whatever they hold.
    void untouchedEntriesKeepTheirBytes() {
        const char raw[] = "  spaced  \r\n\xff\xfe bad utf-8\r\nnul\0inside\r\nlone\nfeed\r\n";
        const QByteArray odd(raw, sizeof raw - 1);
        writeAll(path(), odd);
        FavoritesList list(path());
        list.load();
        QCOMPARE(list.count(), 4);
        QCOMPARE(list.text(0), QStringLiteral("  spaced  "));
        QVERIFY(list.text(1).contains(QChar::ReplacementCharacter));
        QCOMPARE(list.text(3), QStringLiteral("lone\nfeed"));

        QVERIFY(list.add(QStringLiteral("http://new.test/")).ok);
        QVERIFY(list.remove(4).ok);
        QCOMPARE(readAll(path()), odd);
    }

    void carriageReturnInAddressStaysOneEntry() {
        FavoritesList list(path());
        list.load();
        QVERIFY(list.add(QStringLiteral("http://a.test/x\ry")).ok);
        FavoritesList again(path());
        again.load();
        QCOMPARE(again.texts(), QStringList{QStringLiteral("http://a.test/x%0Dy")});
    }

    void failedSave_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("directory missing") << QStringLiteral("missing");
        QTest::newRow("directory in the file's place") << QStringLiteral("directory");
        QTest::newRow("disk full") << QStringLiteral("full");
    }
    // A save that cannot write leaves the old file whole, says why, and the
    // list keeps the change for the run.
    void failedSave() {
        QFETCH(QString, where);
        QString file = path();
        const QByteArray old("old\r\n");
        if (where == QLatin1String("missing"))
            file = dir_.filePath(QStringLiteral("missing/favorites.dat"));
        else if (where == QLatin1String("directory"))
            QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("favorites.dat")));
        else
            writeAll(file, old);

        FavoritesList list(file);
        list.load();
        FavoritesList::SaveResult result;
        {
            std::optional<FileSizeLimit> limit;
            if (where == QLatin1String("full"))
                limit.emplace(4);
            result = list.add(QStringLiteral("http://kept.test/"));
        }
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(list.texts().contains(QStringLiteral("http://kept.test/")));
        list.load();  // the list is read once; the unsaved change stays
        QVERIFY(list.texts().contains(QStringLiteral("http://kept.test/")));

        if (where == QLatin1String("directory")) {
            QVERIFY(QFileInfo(file).isDir());
        } else if (where == QLatin1String("full")) {
            QCOMPARE(readAll(file), old);
            QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), QStringList{"favorites.dat"});
            QVERIFY(list.remove(-1).ok);  // room again
            QCOMPARE(readAll(file), QByteArray("old\r\nhttp://kept.test/\r\n"));
        }
    }

    // Beyond the read limit lines are not shown, but every save keeps them.
    void hugeFileKeepsWhatIsNotShown() {
        QByteArray file;
        for (int i = 0; file.size() <= FavoritesList::kReadLimit; ++i)
            file += "https://www.example.test/page/" + QByteArray::number(i) + "\r\n";
        writeAll(path(), file);
        const QList<QByteArray> all = quillow::favorites::parse(file);

        FavoritesList list(path());
        list.load();
        QVERIFY(list.count() > 0 && list.count() < all.size());
        QVERIFY(list.keepsUnreadPart());
        QCOMPARE(list.bytes(list.count() - 1), all.at(list.count() - 1));

        const int shown = list.count();
        QVERIFY(list.add(QStringLiteral("new")).ok);
        QVERIFY(list.remove(0).ok);
        QList<QByteArray> expected = all.mid(1);
        expected.insert(shown - 1, "new");
        QCOMPARE(quillow::favorites::parse(readAll(path())), expected);
    }

    void oneHugeLineIsKeptWhole() {
        const QByteArray line(FavoritesList::kReadLimit + 10, 'x');
        writeAll(path(), line);
        FavoritesList list(path());
        list.load();
        QCOMPARE(list.count(), 0);
        QVERIFY(list.add(QStringLiteral("a")).ok);
        QVERIFY(readAll(path()) == "a\r\n" + line);
    }

    void randomBytesFile() {
        QRandomGenerator random(4242);
        QByteArray noise(1 << 20, Qt::Uninitialized);
        for (char &c : noise)
            c = char(random.bounded(256));
        writeAll(path(), noise);
        FavoritesList list(path());
        list.load();
        const QList<QByteArray> entries = quillow::favorites::parse(noise);
        QCOMPARE(list.count(), entries.size());
        QVERIFY(!list.keepsUnreadPart());
        QVERIFY(list.remove(-1).ok);
        QVERIFY(readAll(path()) == quillow::favorites::serialize(entries));
    }
};

QTEST_GUILESS_MAIN(TestFavoritesList)
#include "test_favorites_list.moc"
