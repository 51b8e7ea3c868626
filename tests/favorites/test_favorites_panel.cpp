#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

#include "favorites/favorites_list.h"
#include "favorites/favorites_panel.h"
#include "harness.h"

using namespace quillow;
using namespace quillow::test;

namespace {

// One main window's favorites panel on bare widgets.
struct Window {
    QWidget widget;
    QListWidget *favemenu = new QListWidget(&widget);
    QPushButton *addButton = new QPushButton(QStringLiteral("Add"), &widget);
    QPushButton *removeButton = new QPushButton(QStringLiteral("Remove"), &widget);
    FakeBrowser *browser = new FakeBrowser(&widget);
    int favoritesCommands = 0;
    FavoritesPanel *panel;

    Window(FavoritesList *list, MessageBoxes *messages) {
        auto *layout = new QVBoxLayout(&widget);
        layout->addWidget(addButton);
        layout->addWidget(removeButton);
        layout->addWidget(favemenu);
        browser->widget()->hide();
        panel = new FavoritesPanel(
            list, favemenu, addButton, removeButton, browser, messages,
            [this] { ++favoritesCommands; }, &widget);
        widget.resize(300, 400);
        widget.show();
    }
    QStringList shownTexts() const {
        QStringList out;
        for (int i = 0; i < favemenu->count(); ++i)
            out.append(favemenu->item(i)->text());
        return out;
    }
    // A click on the row, or beside the entries when there is none.
    void click(int row) {
        QListWidgetItem *item = favemenu->item(row);
        const QPoint at = item ? favemenu->visualItemRect(item).center()
                               : QPoint(5, favemenu->viewport()->height() - 5);
        QTest::mouseClick(favemenu->viewport(), Qt::LeftButton, {}, at);
    }
    void add(const QString &location) {
        browser->shown = location;
        QTest::mouseClick(addButton, Qt::LeftButton);
    }
    void remove(int row) {
        favemenu->setCurrentRow(row);  // selected by the program: not a choice
        QTest::mouseClick(removeButton, Qt::LeftButton);
    }
    QStringList navigations() const { return browser->callsNamed(QStringLiteral("navigate")); }
};

}  // namespace

class TestFavoritesPanel : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    FakeMessageBoxes messages_;
    std::unique_ptr<FavoritesList> list_;
    QString path() const { return dir_.filePath(QStringLiteral("favorites.dat")); }

    FavoritesList *loadList(const QByteArray &file) {
        QFile f(path());
        if (f.open(QIODevice::WriteOnly))
            f.write(file);
        f.close();
        list_ = std::make_unique<FavoritesList>(path());
        list_->load();
        return list_.get();
    }

private slots:
    void init() { messages_.shown.clear(); }

    // Every window shows the one list; a change in one keeps each window's
    // selection on the entry it was on, and nobody navigates.
    void addAndRemoveInTwoWindows() {
        Window one(loadList("a\r\nb\r\nc\r\n"), &messages_);
        Window two(list_.get(), &messages_);
        two.favemenu->setCurrentRow(2);
        one.add(QStringLiteral("http://new.test/"));
        QCOMPARE(two.shownTexts(), QStringList({"a", "b", "c", "http://new.test/"}));
        QCOMPARE(readFile(path()), QByteArray("a\r\nb\r\nc\r\nhttp://new.test/\r\n"));
        one.remove(0);
        QCOMPARE(two.shownTexts(), QStringList({"b", "c", "http://new.test/"}));
        QCOMPARE(one.panel->selectedPosition(), -1);
        QCOMPARE(two.panel->selectedPosition(), 1);
        one.remove(1);  // the entry selected in the other window
        QCOMPARE(two.panel->selectedPosition(), -1);
        QCOMPARE(readFile(path()), QByteArray("b\r\nhttp://new.test/\r\n"));

        QFile::remove(path());
        QTest::mouseClick(one.removeButton, Qt::LeftButton);  // nothing selected: still saved
        QCOMPARE(readFile(path()), QByteArray("b\r\nhttp://new.test/\r\n"));
        QCOMPARE(one.navigations().size() + two.navigations().size(), 0);
        QCOMPARE(one.favoritesCommands + two.favoritesCommands, 0);
        QVERIFY(messages_.shown.isEmpty());
    }

    // Choosing goes to the whole entry, also one shown cut short.
    void chooseWithTheKeyboardOrTheMouse() {
        const QByteArray longAddress = "http://long.test/" + QByteArray(5000, 'x');
        const QByteArray file = "a\r\nb\r\n\xff\r\n" + longAddress + "\r\n";
        Window w(loadList(file), &messages_);
        QCOMPARE(w.shownTexts().at(2), QString(QChar::ReplacementCharacter));
        QCOMPARE(w.shownTexts().at(3).size(), FavoritesPanel::kShownLength + 1);
        QVERIFY(QTest::qWaitForWindowActive(&w.widget));
        w.favemenu->setFocus(Qt::TabFocusReason);  // gives a current row, chooses nothing
        QTRY_VERIFY(w.favemenu->hasFocus());
        QCOMPARE(w.favoritesCommands, 0);
        QTest::keyClick(w.favemenu, Qt::Key_Down);
        QCOMPARE(w.navigations(), QStringList{"navigate:" + w.favemenu->currentItem()->text()});
        QTest::keyClick(w.favemenu, Qt::Key_End);
        QCOMPARE(w.navigations().last(), "navigate:" + QString::fromLatin1(longAddress));
        // A click chooses, also on the entry already selected; a click
        // beside the entries does not.
        w.click(1);
        w.click(1);
        QCOMPARE(w.navigations().mid(2), QStringList({"navigate:b", "navigate:b"}));
        w.click(4);
        QCOMPARE(w.favoritesCommands, 4);
        QCOMPARE(readFile(path()), file);
    }

    void failedSaveIsReported() {
        list_ =
            std::make_unique<FavoritesList>(dir_.filePath(QStringLiteral("gone/favorites.dat")));
        list_->load();
        Window w(list_.get(), &messages_);
        w.add(QStringLiteral("http://kept.test/"));
        QCOMPARE(messages_.shown.size(), 1);
        QCOMPARE(messages_.shown[0].icon, MessageBoxes::Icon::Exclamation);
        QVERIFY(messages_.shown[0].text.contains(QDir::toNativeSeparators(list_->filePath())));
        QCOMPARE(w.shownTexts(), QStringList{"http://kept.test/"});
    }

    // The real windows: a popup window's Add shows in the primary one, and
    // choosing there goes to the entry and hides the panel.
    void inMainWindows() {
        Harness h;
        MainWindow *primary = h.startWithPrimary();
        MainWindow *popup = h.windows().createPopup();
        popup->show();
        h.browsers[1]->shown = QStringLiteral("http://popup.test/");
        QTest::mouseClick(child(popup, QStringLiteral("fbuttons(0)")), Qt::LeftButton);
        auto *list = child<QListWidget>(primary, QStringLiteral("favemenu"));
        QCOMPARE(list->count(), 1);

        QTest::mouseClick(child(primary, QStringLiteral("buttons(8)")), Qt::LeftButton);
        QWidget *panel = child(primary, QStringLiteral("favfr"));
        QVERIFY(panel->isVisible());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QCOMPARE(h.browsers[0]->callsNamed(QStringLiteral("navigate")).last(),
                 QStringLiteral("navigate:http://popup.test/"));
        QVERIFY(!panel->isVisible());
        QCOMPARE(readFile(h.filePath(QStringLiteral("favorites.dat"))),
                 QByteArray("http://popup.test/\r\n"));
    }
};

QTEST_MAIN(TestFavoritesPanel)
#include "test_favorites_panel.moc"
