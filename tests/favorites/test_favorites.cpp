// The favorites file (random ones in fuzz/fuzz_favorites_format.cpp): saves,
// bytes kept, failed saves, another program's changes, huge files; and the
// main windows' panels: one list for all, Add, Remove, choosing an entry.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QAbstractItemView>
#include <QtTest>
#include <csignal>
#include <memory>
#include <optional>

#include "favorites/favorites_format.h"
#include "favorites/favorites_list.h"
#include "harness.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;
using quillow::favorites::parse;
using Entries = QList<QByteArray>;

namespace {

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

QAbstractItemView *list(MainWindow *w) {
    return child<QAbstractItemView>(w, u"favemenu"_s);
}
QStringList shown(MainWindow *w) {
    QStringList out;
    for (int i = 0; i < list(w)->model()->rowCount(); ++i)
        out.append(list(w)->model()->index(i, 0).data().toString());
    return out;
}
int selected(MainWindow *w) {
    const QModelIndexList rows = list(w)->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}
void removeRow(MainWindow *w, int row) {
    list(w)->setCurrentIndex(list(w)->model()->index(row, 0));  // by the program: no choice
    click(w, u"fbuttons(1)"_s);
}
// Shows the panel and clicks the row, or beside the entries when there is none.
void clickRow(MainWindow *w, int row) {
    if (child(w, u"favfr"_s)->isHidden())
        click(w, u"buttons(8)"_s);
    const QModelIndex index = list(w)->model()->index(row, 0);
    const QPoint at = index.isValid() ? list(w)->visualRect(index).center()
                                      : QPoint(5, list(w)->viewport()->height() - 5);
    QTest::mouseClick(list(w)->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class TestFavorites : public QObject {
    Q_OBJECT
    // A small read limit, so the test files stay small.
    static constexpr qint64 kLimit = 1 << 20;
    QTemporaryDir dir_;
    std::unique_ptr<FavoritesList> list_;
    QString path() const { return dir_.filePath(u"favorites.dat"_s); }
    // A new list read from the file, after writing data to it if given.
    FavoritesList &load(const std::optional<QByteArray> &data = std::nullopt) {
        QFile f(path());
        if (data && f.open(QIODevice::WriteOnly))
            f.write(*data);
        f.close();
        list_ = std::make_unique<FavoritesList>(path(), kLimit);
        list_->load();
        list_->waitForLoad();
        return *list_;
    }

private slots:
    void lineEnds_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Entries>("entries");
        QTest::newRow("cr lf, no last line end") << QByteArray("a\r\nb") << Entries{"a", "b"};
        QTest::newRow("lone cr") << QByteArray("a\rb\r") << Entries{"a", "b"};
        QTest::newRow("second lf stays") << QByteArray("a\r\n\nb\r\n") << Entries{"a", "\nb"};
        QTest::newRow("blanks and raw bytes kept")
            << QByteArray(" \xff\0z \r\n", 7) << Entries{QByteArray(" \xff\0z ", 5)};
    }
    void lineEnds() {
        QFETCH(QByteArray, file);
        QFETCH(Entries, entries);
        QCOMPARE(parse(file), entries);
    }
    void init() {
        list_.reset();
        QFile::remove(path());
        for (const QString &planted : {u".lock"_s, u"~"_s})
            QFile::remove(path() + planted);
        QDir(path()).removeRecursively();  // left by the directory-in-place case
    }

    // A new entry goes before the first empty one; repeats stay; a remove
    // saves also when it removes nothing.
    void changesSaveTheWholeList() {
        FavoritesList &list = load();
        QVERIFY(!QFile::exists(path()));  // reading never creates the file
        // A pipe planted in the lock's place is no lock, and never waited on.
        QCOMPARE(::mkfifo(QFile::encodeName(path() + u".lock"_s).constData(), 0600), 0);
        for (const char *address : {"a", "a", "", "n"})
            QVERIFY(list.add(QString::fromLatin1(address)).saved());
        QCOMPARE(readFile(path()), QByteArray("a\r\na\r\nn\r\n\r\n"));
        QVERIFY(!(QFile::permissions(path()) & (QFile::ReadGroup | QFile::ReadOther)));
        const quint64 before = fileIdentity(path());
        QVERIFY(list.remove(-1).saved());
        QVERIFY(fileIdentity(path()) != before);  // saved all the same
        while (list.count() > 0)
            QVERIFY(list.remove(0).saved());
        QCOMPARE(readFile(path()), QByteArray());
        // A carriage return would end the line: it is written escaped.
        QVERIFY(list.add(u"x\ry"_s).saved());
        QCOMPARE(load().texts(), QStringList{u"x%0Dy"_s});
    }

    // Entries nobody touched go back byte for byte, whatever they hold.
    void untouchedEntriesKeepTheirBytes() {
        const char raw[] = "  spaced  \r\n\xff\xfe bad utf-8\r\nnul\0inside\r\nlone\nfeed\r\n";
        const QByteArray odd(raw, sizeof raw - 1);
        FavoritesList &list = load(odd);
        QCOMPARE(list.count(), 4);
        QCOMPARE(list.text(0), u"  spaced  "_s);
        QCOMPARE(list.text(3), u"lone\nfeed"_s);
        QVERIFY(list.add(u"http://new.test/"_s).saved());
        QVERIFY(list.remove(4).saved());
        QCOMPARE(readFile(path()), odd);
    }

    void failedSave_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("directory missing") << u"missing"_s;
        QTest::newRow("directory in the file's place") << u"directory"_s;
        QTest::newRow("disk full") << u"full"_s;
        QTest::newRow("pipe in the file's place") << u"pipe"_s;
        QTest::newRow("link in the file's place") << u"link"_s;
    }
    // A save that cannot write leaves the old file whole, says why, and the
    // list keeps the change for the run.
    void failedSave() {
        QFETCH(QString, where);
        QString file = path();
        if (where == QLatin1String("missing"))
            file = dir_.filePath(u"missing/favorites.dat"_s);
        else if (where == QLatin1String("directory"))
            QVERIFY(QDir(dir_.path()).mkpath(u"favorites.dat"_s));
        else if (where == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else if (where == QLatin1String("link"))
            QVERIFY(load("old\r\n").count() == 1 && QFile::rename(file, file + u"~"_s) &&
                    QFile::link(file + u"~"_s, file));
        else
            load("old\r\n");  // an old file to keep
        FavoritesList list(file);
        list.load();
        list.waitForLoad();
        FavoritesList::SaveOutcome result;
        {
            std::optional<FileSizeLimit> limit;
            if (where == QLatin1String("full"))
                limit.emplace(4);
            result = list.add(u"http://kept.test/"_s);
        }
        // Reading and saving never wait on a pipe: the test would hang.
        QVERIFY(!result.saved() && !list.failureText(result).isEmpty());
        QVERIFY(list.texts().contains(u"http://kept.test/"_s));
        if (where == QLatin1String("link")) {  // nothing written through it
            QVERIFY(QFileInfo(file).isSymLink());
            QCOMPARE(readFile(file + u"~"_s), QByteArray("old\r\n"));
        } else if (file == path() && QFileInfo(file).isFile()) {
            QCOMPARE(readFile(file), QByteArray("old\r\n"));
            QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), QStringList{"favorites.dat"});
            QVERIFY(list.remove(-1).saved());  // room again
            QCOMPARE(readFile(file), QByteArray("old\r\nhttp://kept.test/\r\n"));
        }
    }

    // Another program's change is kept when this one saves, and shown.
    void twoProgramsShareTheFile() {
        FavoritesList &a = load("start\r\n");
        QSignalSpy reset(&a, &FavoritesList::modelReset);
        auto peer = [this](const QString &entry) {
            return QProcess::execute(QStringLiteral(QUILLOW_FAVORITES_PEER), {path(), entry});
        };
        QVERIFY(a.add(u"/a"_s).saved());
        QCOMPARE(peer(u"/b"_s), 0);
        QTRY_VERIFY(!reset.isEmpty());  // the file changed: read again
        QCOMPARE(a.texts(), QStringList({"start", "/a", "/b"}));
        QCOMPARE(peer(u"-start"_s), 0);
        QVERIFY(a.add(u"/c"_s).saved());
        QCOMPARE(readFile(path()), QByteArray("/a\r\n/b\r\n/c\r\n"));
    }

    // Remove takes the entry chosen among equal ones; when another program
    // changed the file meanwhile, the same occurrence, or none when gone.
    void removeTheChosenOccurrence_data() {
        QTest::addColumn<QString>("peerChange");  // empty: none
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("file as read") << QString() << QByteArray("a\r\n\r\nb\r\n");
        QTest::newRow("another added before it") << u"c"_s << QByteArray("a\r\nc\r\n\r\nb\r\n");
        QTest::newRow("fewer left") << u"-a"_s << QByteArray("\r\nb\r\na\r\n");
    }
    void removeTheChosenOccurrence() {
        QFETCH(QString, peerChange);
        FavoritesList &list = load("a\r\n\r\nb\r\na\r\n");
        if (!peerChange.isEmpty())
            QCOMPARE(
                QProcess::execute(QStringLiteral(QUILLOW_FAVORITES_PEER), {path(), peerChange}), 0);
        QVERIFY(list.remove(3).saved());
        QTEST(readFile(path()), "after");
    }

    // Beyond the read limit lines are not shown, but every save keeps them,
    // also a single line longer than the limit.
    void hugeFileKeepsWhatIsNotShown() {
        QByteArray file;
        for (int i = 0; file.size() <= kLimit; ++i)
            file += "https://www.example.test/page/" + QByteArray::number(i) + "\r\n";
        const QList<QByteArray> all = parse(file);
        FavoritesList list(path(), kLimit);
        QSignalSpy told(&list, &FavoritesList::partlyRead);
        load(file);
        list.load();
        list.waitForLoad();
        QCOMPARE(told.size(), 1);  // the user is told, once
        const int shown = list.count();
        QVERIFY(shown > 0 && shown < all.size());
        QVERIFY(list.keepsUnreadPart());
        QVERIFY(list.add(u"new"_s).saved());
        QVERIFY(list.remove(0).saved());
        QList<QByteArray> expected = all.mid(1);
        expected.insert(shown - 1, "new");
        QCOMPARE(parse(readFile(path())), expected);
        const QByteArray line(kLimit + 10, 'x');
        QCOMPARE(load(line).count(), 0);
        QVERIFY(list_->add(u"a"_s).saved());
        QVERIFY(readFile(path()) == "a\r\n" + line);
    }

    // Every window shows the one list; a change in one keeps each window's
    // selection on the entry it was on, and nobody navigates.
    void addAndRemoveInTwoWindows() {
        Harness h;
        h.writeFile(u"favorites.dat"_s, "a\r\nb\r\nc\r\n");
        MainWindow *one = h.startWithPrimary();
        MainWindow *two = h.program().createPopup();
        const QString file = h.filePath(u"favorites.dat"_s);
        list(two)->setCurrentIndex(list(two)->model()->index(2, 0));
        h.browsers[0]->shown = u"http://new.test/"_s;
        click(one, u"fbuttons(0)"_s);
        QCOMPARE(shown(two), QStringList({"a", "b", "c", "http://new.test/"}));
        QCOMPARE(readFile(file), QByteArray("a\r\nb\r\nc\r\nhttp://new.test/\r\n"));
        removeRow(one, 0);
        QCOMPARE(shown(two), QStringList({"b", "c", "http://new.test/"}));
        QCOMPARE(selected(one), -1);
        QCOMPARE(selected(two), 1);
        removeRow(one, 1);  // the entry selected in the other window
        QCOMPARE(selected(two), -1);
        const quint64 before = fileIdentity(file);
        click(one, u"fbuttons(1)"_s);  // nothing selected: still saved
        QVERIFY(fileIdentity(file) != before);
        QCOMPARE(readFile(file), QByteArray("b\r\nhttp://new.test/\r\n"));
        QCOMPARE(h.browsers[0]->navigations().size() + h.browsers[1]->navigations().size(), 2);
    }

    // Choosing goes to the whole entry, also one shown cut short, and hides
    // the panel; the file stays as it was.
    void chooseWithTheKeyboardOrTheMouse() {
        const QByteArray longAddress = "http://long.test/" + QByteArray(5000, 'x');
        const QByteArray file = "a\r\nb\r\n\xff\r\n" + longAddress + "\r\n";
        Harness h;
        h.writeFile(u"favorites.dat"_s, file);
        MainWindow *w = h.startWithPrimary();
        FakeBrowser *page = h.browsers[0];
        QWidget *panel = child(w, u"favfr"_s);
        QCOMPARE(shown(w).at(3).size(), FavoritesList::kShownLength + 1);
        QVERIFY(QTest::qWaitForWindowActive(w));
        click(w, u"buttons(8)"_s);
        list(w)->setFocus(Qt::TabFocusReason);  // gives a current row, chooses nothing
        QTRY_VERIFY(list(w)->hasFocus());
        QVERIFY(panel->isVisible());
        QTest::keyClick(list(w), Qt::Key_Down);
        QCOMPARE(page->navigations().last(), "navigate:" + shown(w).at(selected(w)));
        QVERIFY(panel->isHidden());
        click(w, u"buttons(8)"_s);
        list(w)->setFocus();
        QTest::keyClick(list(w), Qt::Key_End);
        QCOMPARE(page->navigations().last(), "navigate:" + QString::fromLatin1(longAddress));
        // A click chooses, also on the entry already selected; a click
        // beside the entries does not.
        const int before = page->navigations().size();
        clickRow(w, 1);
        clickRow(w, 1);
        QCOMPARE(page->navigations().mid(before), QStringList({"navigate:b", "navigate:b"}));
        clickRow(w, 4);
        QVERIFY(panel->isVisible());
        QCOMPARE(page->navigations().size(), before + 2);
        QCOMPARE(readFile(h.filePath(u"favorites.dat"_s)), file);
    }

    void failedSaveIsReported() {
        Primary p(u"/nonexistent/quillow-test"_s);
        p.page->shown = u"http://kept.test/"_s;
        click(p.primary, u"fbuttons(0)"_s);
        QCOMPARE(p.questions.asked.size(), 1);
        QVERIFY(p.questions.asked[0].text.contains(u"/nonexistent/quillow-test"_s));
        QCOMPARE(shown(p.primary), QStringList{"http://kept.test/"});
    }
};

QTEST_MAIN(TestFavorites)
#include "test_favorites.moc"
