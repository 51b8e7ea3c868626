#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

#include "fake_browser.h"
#include "favorites/favorites_list.h"
#include "favorites/favorites_panel.h"
#include "harness.h"
#include "main_window/context.h"
#include "main_window/mainf.h"

using quillow::FavoritesList;
using quillow::FavoritesPanel;
using quillow::MessageBoxes;
using quillow::test::FakeBrowser;

namespace {

class Messages : public MessageBoxes {
public:
    struct Shown {
        QString text, title;
        Icon icon;
    };
    QList<Shown> shown;
    int show(QWidget *, const QString &text, const QString &title, Icon icon, Buttons) override {
        shown.append({text, title, icon});
        return Ok;
    }
};

// One main window's favorites panel on bare widgets.
struct Window {
    QWidget widget;
    QListWidget *favemenu = new QListWidget(&widget);
    QPushButton *addButton = new QPushButton(QStringLiteral("Add to Favorites"), &widget);
    QPushButton *removeButton = new QPushButton(QStringLiteral("Remove from Favorites"), &widget);
    FakeBrowser *browser = new FakeBrowser(&widget);
    int favoritesCommands = 0;
    FavoritesPanel *panel;

    Window(FavoritesList *list, Messages *messages) {
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
    void clickRow(int row) {
        QTest::mouseClick(favemenu->viewport(), Qt::LeftButton, {},
                          favemenu->visualItemRect(favemenu->item(row)).center());
    }
    QStringList navigations() const { return browser->callsNamed(QStringLiteral("Navigate")); }
};

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestFavoritesPanel : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    Messages messages_;
    std::unique_ptr<FavoritesList> list_;
    QString path() const { return dir_.filePath(QStringLiteral("favorites.dat")); }

    void loadList(const QByteArray &file) {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        list_ = std::make_unique<FavoritesList>(path());
        list_->load();
    }

private slots:
    void init() { messages_.shown.clear(); }

    void addAndRemove() {
        loadList("a\r\nb\r\n");
        Window w(list_.get(), &messages_);
        QCOMPARE(w.shownTexts(), QStringList({"a", "b"}));

        w.browser->location = QStringLiteral("http://c.test/");
        QTest::mouseClick(w.addButton, Qt::LeftButton);
        QCOMPARE(w.shownTexts(), QStringList({"a", "b", "http://c.test/"}));
        QCOMPARE(readAll(path()), QByteArray("a\r\nb\r\nhttp://c.test/\r\n"));

        w.favemenu->setCurrentRow(0);  // selected by the program: not a choice
        QTest::mouseClick(w.removeButton, Qt::LeftButton);
        QCOMPARE(w.shownTexts(), QStringList({"b", "http://c.test/"}));
        QCOMPARE(w.panel->selectedPosition(), -1);
        QCOMPARE(readAll(path()), QByteArray("b\r\nhttp://c.test/\r\n"));

        QFile::remove(path());
        QTest::mouseClick(w.removeButton, Qt::LeftButton);  // nothing selected: still saved
        QCOMPARE(readAll(path()), QByteArray("b\r\nhttp://c.test/\r\n"));
        QCOMPARE(w.navigations(), QStringList());
        QCOMPARE(w.favoritesCommands, 0);
        QCOMPARE(messages_.shown.size(), 0);
    }

    void chooseWithTheMouse() {
        loadList("a\r\nb\r\n");
        Window w(list_.get(), &messages_);
        w.clickRow(1);
        QCOMPARE(w.navigations(), QStringList{"Navigate:b"});
        QCOMPARE(w.favoritesCommands, 1);
        w.clickRow(1);  // the entry already selected is chosen again
        QCOMPARE(w.navigations().size(), 2);
        QCOMPARE(w.favoritesCommands, 2);
        QTest::mouseClick(w.favemenu->viewport(), Qt::LeftButton, {},
                          QPoint(5, w.favemenu->viewport()->height() - 5));
        QCOMPARE(w.favoritesCommands, 2);
        QCOMPARE(readAll(path()), QByteArray("a\r\nb\r\n"));
    }

    void chooseWithTheKeyboard() {
        loadList("a\r\nb\r\nc\r\n");
        Window w(list_.get(), &messages_);
        QVERIFY(QTest::qWaitForWindowActive(&w.widget));
        w.favemenu->setFocus(Qt::TabFocusReason);  // gives a current row, chooses nothing
        QTRY_VERIFY(w.favemenu->hasFocus());
        QCOMPARE(w.favoritesCommands, 0);
        QTest::keyClick(w.favemenu, Qt::Key_Down);
        QCOMPARE(w.navigations().size(), 1);
        QCOMPARE(w.navigations().last(), w.favemenu->currentItem()->text().prepend("Navigate:"));
        QTest::keyClick(w.favemenu, Qt::Key_End);
        QCOMPARE(w.navigations().last(), QStringLiteral("Navigate:c"));
        QCOMPARE(w.favoritesCommands, 2);
    }

    // Every window shows the one list; a change in one keeps each window's
    // selection on the entry it was on, and nobody navigates.
    void twoWindowsStayInStep() {
        loadList("a\r\nb\r\nc\r\n");
        Window one(list_.get(), &messages_);
        Window two(list_.get(), &messages_);
        two.favemenu->setCurrentRow(2);

        one.browser->location = QStringLiteral("new");
        QTest::mouseClick(one.addButton, Qt::LeftButton);
        QCOMPARE(two.shownTexts(), QStringList({"a", "b", "c", "new"}));

        one.favemenu->setCurrentRow(0);
        QTest::mouseClick(one.removeButton, Qt::LeftButton);
        QCOMPARE(two.shownTexts(), QStringList({"b", "c", "new"}));
        QCOMPARE(two.panel->selectedPosition(), 1);

        one.favemenu->setCurrentRow(1);  // the entry selected in the other window
        QTest::mouseClick(one.removeButton, Qt::LeftButton);
        QCOMPARE(one.shownTexts(), QStringList({"b", "new"}));
        QCOMPARE(two.shownTexts(), one.shownTexts());
        QCOMPARE(two.panel->selectedPosition(), -1);
        QCOMPARE(readAll(path()), QByteArray("b\r\nnew\r\n"));
        QCOMPARE(one.navigations().size() + two.navigations().size(), 0);
    }

    void failedSaveIsReported() {
        list_ =
            std::make_unique<FavoritesList>(dir_.filePath(QStringLiteral("gone/favorites.dat")));
        list_->load();
        Window w(list_.get(), &messages_);
        w.browser->location = QStringLiteral("http://kept.test/");
        QTest::mouseClick(w.addButton, Qt::LeftButton);
        QCOMPARE(messages_.shown.size(), 1);
        QCOMPARE(messages_.shown[0].title, QStringLiteral("Favorites"));
        QCOMPARE(messages_.shown[0].icon, MessageBoxes::Icon::Exclamation);
        QVERIFY(messages_.shown[0].text.contains(QDir::toNativeSeparators(list_->filePath())));
        QCOMPARE(w.shownTexts(), QStringList{"http://kept.test/"});
    }

    // A very long entry is shown cut short, but choosing it goes to all of it.
    void longEntryChosenWhole() {
        const QByteArray longAddress = "http://long.test/" + QByteArray(5000, 'x');
        loadList("\xff\r\n" + longAddress + "\r\n");
        Window w(list_.get(), &messages_);
        QCOMPARE(w.shownTexts().at(0), QString(QChar::ReplacementCharacter));
        QCOMPARE(w.shownTexts().at(1).size(), FavoritesPanel::kShownLength + 1);
        w.clickRow(1);
        QCOMPARE(w.navigations(), QStringList{"Navigate:" + QString::fromLatin1(longAddress)});
    }

    // The real windows: a popup window's Add shows in the primary one, and
    // choosing there goes to the entry and hides the panel.
    void inMainWindows() {
        quillow::test::Harness h;
        QFile file(h.filePath(QStringLiteral("favorites.dat")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("a\r\nb\r\n");
        file.close();
        h.start();
        quillow::MainF *primary = h.windows().createPrimary();
        quillow::MainF *popup = h.windows().createPopup();
        primary->show();
        popup->show();

        h.browsers[1]->location = QStringLiteral("http://popup.test/");
        auto *popupAdd = popup->findChild<QPushButton *>(QStringLiteral("fbuttons(0)"));
        QVERIFY(popupAdd);
        popupAdd->click();
        QCOMPARE(primary->favemenu()->count(), 3);
        QCOMPARE(primary->favemenu()->item(2)->text(), QStringLiteral("http://popup.test/"));

        primary->command(8);
        QVERIFY(primary->favfr()->isVisible());
        QListWidget *list = primary->favemenu();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(2)).center());
        QCOMPARE(h.browsers[0]->callsNamed(QStringLiteral("Navigate")).last(),
                 QStringLiteral("Navigate:http://popup.test/"));
        QVERIFY(!primary->favfr()->isVisible());
        QCOMPARE(readAll(h.filePath(QStringLiteral("favorites.dat"))),
                 QByteArray("a\r\nb\r\nhttp://popup.test/\r\n"));
    }
};

QTEST_MAIN(TestFavoritesPanel)
#include "test_favorites_panel.moc"
