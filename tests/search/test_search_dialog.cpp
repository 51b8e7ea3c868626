// The search dialog: kept while open, fresh after closing, searching from
// the button and every Enter, cancelling from Escape, always in the primary
// main window.

#include <QAbstractButton>
#include <QLineEdit>

#include "harness.h"
#include "search/request_builder.h"
#include "search/search_dialog.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

namespace {

// The primary main window on screen and the search dialog opened from it.
struct Setup : Program {
    Setup() {
        page->calls.clear();
        open();
    }
    void open() {
        windows().openSearch();
        dialog = windows().searchDialog();
    }
    QAbstractButton *button(const char *name) const {
        return dialog->findChild<QAbstractButton *>(name);
    }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QLineEdit *words() const { return dialog->findChild<QLineEdit *>("wordorphrase"); }
    QStringList navigations() const { return page->navigations(); }
    // As at a fresh opening, the variables agreeing with the buttons.
    bool startsOver() const {
        return words()->text().isEmpty() && button("searchoption(0)")->isChecked() &&
               button("meathodoption(0)")->isChecked() && dialog->engine() == 0 &&
               dialog->kind() == 0;
    }

    QPointer<SearchDialog> dialog;
};

QWidget *focus() {
    return QApplication::focusWidget();
}

}  // namespace

class TestSearchDialog : public QObject {
    Q_OBJECT

private slots:
    void keptWhileOpenAndFreshAfterClosing() {
        Setup s;
        QCOMPARE(s.dialog->windowTitle(), u"Search"_s);
        // Modeless and on its own, at its designed place rather than centred.
        QVERIFY(!s.dialog->parentWidget() && !s.dialog->isModal());
        QCOMPARE(s.dialog->geometry(), QRect(308, 201, 339, 151));
        QVERIFY(s.startsOver());
        QVERIFY(QTest::qWaitForWindowActive(s.dialog));
        QTRY_COMPARE(focus(), s.button("Command1"));  // first in the tab order

        // The Search command brings the open dialog back as it was.
        s.click("meathodoption(1)");
        QTest::keyClicks(s.words(), u"half typed"_s);
        s.primary->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), s.primary.data());
        SearchDialog *before = s.dialog;
        click(s.primary, u"buttons(7)"_s);
        QCOMPARE(s.windows().searchDialog(), before);
        QTRY_COMPARE(focus(), s.words());
        QCOMPARE(s.words()->text(), u"half typed"_s);
        QCOMPARE(s.dialog->kind(), 1);

        // Closed by its frame (search and Cancel close it the same way), it
        // starts over, and empty words still search.
        QVERIFY(s.dialog->close());
        QTRY_VERIFY(s.dialog.isNull());
        s.open();
        QVERIFY(s.startsOver());
        QTest::keyClick(s.words(), Qt::Key_Return);
        QCOMPARE(s.navigations(),
                 QStringList{"navigate:" + searchRequestAddress(DogPile, WebPages, QString())});
    }

    void findItAndEnterSearch_data() {
        QTest::addColumn<int>("key");  // 0: click "Find It!"
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Find It!") << 0 << 0;
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("Shift+Enter") << int(Qt::Key_Return) << int(Qt::ShiftModifier);
        QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
    void findItAndEnterSearch() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Setup s;
        QVERIFY(QTest::qWaitForWindowActive(s.dialog));
        // Every option click, also on the option already chosen, sets the
        // choice and hands the focus to the words; the groups are independent.
        for (const char *name :
             {"searchoption(2)", "searchoption(1)", "searchoption(1)", "meathodoption(1)"}) {
            s.button("Command1")->setFocus();
            s.click(name);
            QCOMPARE(focus(), s.words());
        }
        QTest::keyClicks(focus(), u"red fox"_s);
        QTest::keyClick(s.words(), Qt::Key_M, Qt::ControlModifier);  // other keys only type
        QVERIFY(s.navigations().isEmpty());
        if (key)
            QTest::keyClick(s.words(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        else
            s.click("Command2");

        // Straight to the primary window's component, not through its address box.
        QCOMPARE(s.navigations(),
                 QStringList{"navigate:" + searchRequestAddress(Google, Pictures, "red fox")});
        QVERIFY(addressBox(s.primary)->currentText().isEmpty());
        QTRY_VERIFY(s.dialog.isNull());
        QTRY_COMPARE(QApplication::activeWindow(), s.primary.data());
    }

    void escapeAndCancelSearchNothing_data() {
        QTest::addColumn<QString>("from");  // where Escape is pressed; empty: click "Cancel"
        QTest::newRow("Escape in the words") << "wordorphrase";
        QTest::newRow("Escape on an option") << "searchoption(1)";
        QTest::newRow("Escape on Find It!") << "Command2";
        QTest::newRow("Cancel") << QString();
    }
    void escapeAndCancelSearchNothing() {
        QFETCH(QString, from);
        Setup s;
        QVERIFY(QTest::qWaitForWindowActive(s.dialog));
        QTest::keyClicks(s.words(), u"words"_s);
        if (from.isEmpty()) {
            s.click("Command1");
        } else {
            QWidget *target = s.dialog->findChild<QWidget *>(from);
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Escape);
        }
        QTRY_VERIFY(s.dialog.isNull());
        QVERIFY(s.navigations().isEmpty());
        QTRY_COMPARE(QApplication::activeWindow(), s.primary.data());
    }

    void searchesGoToThePrimaryWindowFromAPopup() {
        Setup s;
        s.dialog->close();
        QTRY_VERIFY(s.dialog.isNull());
        MainWindow *popup = s.windows().createPopup();
        popup->show();
        click(popup, u"buttons(7)"_s);
        s.open();
        s.click("Command2");
        QCOMPARE(s.navigations().size(), 1);
        QCOMPARE(s.browsers.value(1)->navigations(), QStringList{"navigate:about:blank"});
        QTRY_COMPARE(QApplication::activeWindow(), s.primary.data());
    }
};

QTEST_MAIN(TestSearchDialog)
#include "test_search_dialog.moc"
