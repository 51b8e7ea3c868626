#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>

#include "harness.h"
#include "main_window/mainf.h"
#include "search/request_builder.h"
#include "search/searchn.h"

using namespace quillow;
using namespace quillow::test;

namespace {

// A program with its primary main window on screen and the search dialog
// opened from it.
struct Setup {
    Setup() {
        harness.start();
        primary = harness.windows().createPrimary();
        primary->show();
        browser = harness.browsers.value(0);
        browser->calls.clear();
        open();
    }
    SearchN *open() {
        harness.windows().openSearch();
        return dialog = harness.windows().searchDialog();
    }
    QWidget *w(const QString &name) const { return dialog->findChild<QWidget *>(name); }
    QAbstractButton *button(const QString &name) const {
        return dialog->findChild<QAbstractButton *>(name);
    }
    QLineEdit *words() const { return dialog->findChild<QLineEdit *>("wordorphrase"); }
    void type(const QString &text) { QTest::keyClicks(words(), text); }
    void click(const QString &name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QStringList navigations() const { return browser->callsNamed(QStringLiteral("Navigate")); }
    QWidget *focus() const { return QApplication::focusWidget(); }

    Harness harness;
    QPointer<MainF> primary;
    QPointer<FakeBrowser> browser;
    QPointer<SearchN> dialog;
};

}  // namespace

class TestSearchN : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void design();
    void optionClicksSetTheChoiceAndFocusTheWords();
    void findItAndEnterSearch_data();
    void findItAndEnterSearch();
    void escapeAndCancelSearchNothing_data();
    void escapeAndCancelSearchNothing();
    void closingResetsButOpeningAgainKeeps();
    void searchesGoToThePrimaryWindow();
};

void TestSearchN::design() {
    Setup s;
    QCOMPARE(s.dialog->windowTitle(), QStringLiteral("Search"));
    QVERIFY(!s.dialog->parentWidget() && !s.dialog->isModal());
    QCOMPARE(s.dialog->geometry(), QRect(308, 201, 339, 151));
    QCOMPARE(s.dialog->palette().color(QPalette::Window), QColor(Qt::black));
    const QColor green(0, 255, 0), yellow(255, 255, 0);
    const struct {
        const char *name, *container, *caption;
        QColor colour;
    } controls[] = {
        {"Frame1", "searchn", "Search Engine", green},
        {"Label2", "Frame1", "Please select engine to use.", green},
        {"searchoption(0)", "Frame1", "Dog Pile", yellow},
        {"searchoption(1)", "Frame1", "Google", yellow},
        {"searchoption(2)", "Frame1", "Yahoo", yellow},
        {"Frame2", "searchn", "Meathod", green},
        {"meathodoption(0)", "Frame2", "Web Pages", yellow},
        {"meathodoption(1)", "Frame2", "Pictures", yellow},
        {"Label1", "searchn", "Enter word or Phrase to Search for:", green},
        {"Command2", "searchn", "Find It!", QColor()},
        {"Command1", "searchn", "Cancel", QColor()},
    };
    for (const auto &c : controls) {
        QWidget *w = s.w(c.name);
        QVERIFY2(w, c.name);
        QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(c.container));
        const QString caption = w->property("text").isValid() ? w->property("text").toString()
                                                              : w->property("title").toString();
        QCOMPARE(caption, QString::fromLatin1(c.caption));
        if (c.colour.isValid())
            QCOMPARE(w->palette().color(QPalette::WindowText), c.colour);
    }
    QVERIFY(s.button("searchoption(0)")->isChecked() && s.button("meathodoption(0)")->isChecked());
    QVERIFY(s.words()->text().isEmpty());
    QCOMPARE(s.dialog->searchengine(), 0);
    QCOMPARE(s.dialog->searchmethod(), 0);

    // "Cancel" holds the focus at opening; Tab then walks the words, the
    // chosen engine, the chosen kind and "Find It!".
    QVERIFY(QTest::qWaitForWindowActive(s.dialog));
    QTRY_COMPARE(s.focus(), s.w("Command1"));
    QStringList walked;
    for (int i = 0; i < 5; ++i) {
        walked << s.focus()->objectName();
        QTest::keyClick(s.focus(), Qt::Key_Tab);
    }
    QCOMPARE(walked, (QStringList{"Command1", "wordorphrase", "searchoption(0)", "meathodoption(0)",
                                  "Command2"}));
}

void TestSearchN::optionClicksSetTheChoiceAndFocusTheWords() {
    Setup s;
    QVERIFY(QTest::qWaitForWindowActive(s.dialog));
    // Also a click on the option already chosen; the groups are independent.
    const QStringList clicks = {"searchoption(2)", "meathodoption(1)", "searchoption(1)",
                                "searchoption(1)", "meathodoption(0)"};
    for (const QString &name : clicks) {
        s.w("Command1")->setFocus();
        s.click(name);
        QVERIFY(s.button(name)->isChecked());
        QCOMPARE(s.focus(), s.words());
    }
    QCOMPARE(s.dialog->searchengine(), 1);
    QCOMPARE(s.dialog->searchmethod(), 0);
    QVERIFY(!s.button("searchoption(2)")->isChecked());
}

void TestSearchN::findItAndEnterSearch_data() {
    QTest::addColumn<int>("key");  // 0: click "Find It!"
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Find It!") << 0 << 0;
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("Shift+Enter") << int(Qt::Key_Return) << int(Qt::ShiftModifier);
    QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
}

void TestSearchN::findItAndEnterSearch() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Setup s;
    s.click("searchoption(1)");
    s.click("meathodoption(1)");
    s.type("red fox");
    QTest::keyClick(s.words(), Qt::Key_Tab, Qt::ShiftModifier);  // other keys only type
    QTest::keyClick(s.words(), Qt::Key_M, Qt::ControlModifier);
    QVERIFY(s.navigations().isEmpty());
    if (key)
        QTest::keyClick(s.words(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    else
        s.click("Command2");

    // Straight to the primary window's component, not through its address box.
    QCOMPARE(s.navigations(),
             QStringList{"Navigate:https://images.google.com/images?hl=en&lr=&ie=UTF-8&q=red+fox"});
    QCOMPARE(s.dialog->searchwords(), QStringLiteral("red+fox"));
    QVERIFY(s.primary->addressbar()->currentText().isEmpty());
    QVERIFY(!s.dialog->isVisible());
    QTRY_VERIFY(s.dialog.isNull());
    QTRY_COMPARE(QApplication::activeWindow(), s.primary.data());
}

void TestSearchN::escapeAndCancelSearchNothing_data() {
    QTest::addColumn<QString>("from");  // where Escape is pressed; empty: click "Cancel"
    QTest::newRow("Escape in the words") << "wordorphrase";
    QTest::newRow("Escape on an option") << "searchoption(1)";
    QTest::newRow("Escape on Find It!") << "Command2";
    QTest::newRow("Cancel") << QString();
}

void TestSearchN::escapeAndCancelSearchNothing() {
    QFETCH(QString, from);
    Setup s;
    QVERIFY(QTest::qWaitForWindowActive(s.dialog));
    s.type("words");
    if (from.isEmpty()) {
        s.click("Command1");
    } else {
        s.w(from)->setFocus();
        QTest::keyClick(s.w(from), Qt::Key_Escape);
    }
    QTRY_VERIFY(s.dialog.isNull());
    QVERIFY(s.navigations().isEmpty());
    QTRY_COMPARE(QApplication::activeWindow(), s.primary.data());
}

void TestSearchN::closingResetsButOpeningAgainKeeps() {
    Setup s;
    QVERIFY(QTest::qWaitForWindowActive(s.dialog));
    s.click("searchoption(2)");
    s.click("meathodoption(1)");
    s.type("half typed");

    // The Search command of the main window brings the open dialog back as
    // it was, the focus where the user left it.
    s.primary->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), s.primary.data());
    SearchN *before = s.dialog;
    s.primary->command(7);
    QCOMPARE(s.harness.windows().searchDialog(), before);
    QTRY_COMPARE(s.focus(), s.words());
    QCOMPARE(s.words()->text(), QStringLiteral("half typed"));
    QCOMPARE(s.dialog->searchmethod(), 1);

    // Closed by its frame (search and Cancel close it the same way), it
    // starts over; its variables agree with the buttons.
    QVERIFY(s.dialog->close());
    QTRY_VERIFY(s.dialog.isNull());
    QVERIFY(s.open());
    QVERIFY(s.words()->text().isEmpty());
    QVERIFY(s.button("searchoption(0)")->isChecked() && s.button("meathodoption(0)")->isChecked());
    QCOMPARE(s.dialog->searchengine(), 0);
    QCOMPARE(s.dialog->searchmethod(), 0);
    QTest::keyClick(s.words(), Qt::Key_Return);  // empty words still search
    QCOMPARE(s.navigations(),
             QStringList{"Navigate:" + searchRequestAddress(DogPile, WebPages, QString())});
}

void TestSearchN::searchesGoToThePrimaryWindow() {
    Setup s;
    s.dialog->close();
    QTRY_VERIFY(s.dialog.isNull());
    MainF *popup = s.harness.windows().createPopup();
    popup->show();
    QPointer<FakeBrowser> popupBrowser = s.harness.browsers.value(1);
    popupBrowser->calls.clear();

    // Opened from a popup window, the dialog still searches in the primary.
    popup->command(7);
    QVERIFY(s.open());
    s.type("one");
    s.click("Command2");
    QCOMPARE(s.navigations().size(), 1);
    QVERIFY(popupBrowser->callsNamed(QStringLiteral("Navigate")).isEmpty());
    QTRY_COMPARE(QApplication::activeWindow(), s.primary.data());

    // With the primary window closed, a new one shows the results.
    s.primary->close();
    QTRY_VERIFY(s.primary.isNull());
    popup->command(7);
    QVERIFY(s.open());
    s.type("two");
    QTest::keyClick(s.words(), Qt::Key_Return);
    MainF *fresh = s.harness.windows().primary();
    QVERIFY(fresh && fresh != popup && fresh->isVisible());
    QVERIFY(s.harness.browsers.constLast()->calls.contains(
        "Navigate:" + searchRequestAddress(DogPile, WebPages, QStringLiteral("two"))));
    QVERIFY(popupBrowser->callsNamed(QStringLiteral("Navigate")).isEmpty());
}

QTEST_MAIN(TestSearchN)
#include "test_searchn.moc"
