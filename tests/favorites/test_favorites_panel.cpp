// The favorites panels of the main windows: one list shown by all, Add,
// Remove and choosing an entry by mouse or keys.

#include <QAbstractItemView>

#include "favorites/favorites_panel.h"
#include "harness.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

namespace {

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

class TestFavoritesPanel : public QObject {
    Q_OBJECT

private slots:
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

QTEST_MAIN(TestFavoritesPanel)
#include "test_favorites_panel.moc"
