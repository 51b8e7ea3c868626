// The main window with a scripted page: start-up, going to an address from
// the keyboard and the address box's list, layout, commands and menus.

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QWheelEvent>

#include "about/about_window.h"
#include "harness.h"
#include "html_window/html_window.h"
#include "main_window/address_box.h"
#include "search/search_dialog.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    MainWindow *w = nullptr;
    FakeBrowser *page = nullptr;

    QPushButton *button(int index) const {
        return child<QPushButton>(w, u"buttons(%1)"_s.arg(index));
    }
    QStringList navigations() const { return page->callsNamed(u"navigate"_s); }

private slots:
    void init() {
        h = std::make_unique<Harness>();
        h->writeFile(u"favorites.dat"_s, "first\r\n\r\nthird");
        w = h->startWithPrimary();
        page = h->browsers.last();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup() { h.reset(); }

    void startsAsDesigned() {
        QCOMPARE(page->calls.first(), u"navigate:about:blank"_s);
        QCOMPARE(w->lastAddress(), u"about:blank"_s);
        QCOMPARE(statusBar(w)->popupCount(), u"0 Popups"_s);
        QCOMPARE(w->windowTitle(), u"Tarn - Quillow :  "_s);
        for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10})
            QCOMPARE(button(i)->isEnabled(), i > 3);
        QVERIFY(!button(9));
        QCOMPARE(button(10)->text(), u"Block Popups"_s);
        QVERIFY(child(w, u"favfr"_s)->isHidden());
        QCOMPARE(child<QLabel>(w, u"onoff"_s)->text(), u"Offline"_s);
        auto *favorites = child<QAbstractItemView>(w, u"favemenu"_s)->model();
        QCOMPARE(favorites->rowCount(), 3);
        QCOMPARE(favorites->index(1, 0).data().toString(), QString());
        QCOMPARE(w->focusWidget(), addressBox(w));
        QVERIFY(h->messages.shown.isEmpty());

        QStringList menus;
        for (QAction *a : w->menuBar()->actions())
            menus.append(a->text());
        QCOMPARE(menus.join(QLatin1Char(',')), u"File,Navigation,Tools,Current,About"_s);
        auto *current = child<QMenu>(w, u"currentstuffh"_s);
        QVERIFY(!current->menuAction()->isEnabled());
        QCOMPARE(current->actions().size(), 20);

        // Tab goes page, "<", Back, Forward, ..., the popup switch before Search.
        QStringList order;
        for (QWidget *x = addressBox(w); order.size() < 14; x = x->nextInFocusChain())
            if ((x->focusPolicy() & Qt::TabFocus) && !x->objectName().isEmpty())
                order.append(x->objectName());
        const int first = order.indexOf(u"buttons(0)"_s);
        QCOMPARE(order.mid(first, 10).join(QLatin1Char(' ')),
                 QStringLiteral("buttons(0) buttons(1) buttons(2) buttons(3) buttons(4) buttons(5) "
                                "buttons(10) buttons(7) buttons(6) buttons(8)"));
    }

    void enterGoesToTheTypedAddress() {
        typeAddress(w, u"  a.test  "_s);
        QCOMPARE(navigations().last(), u"navigate:a.test"_s);
        QVERIFY(button(1)->isEnabled());
        QCOMPARE(page->calls.last(), u"giveFocus"_s);
        // The same text again is passed over, with any modifier on Enter.
        addressBox(w)->setFocus();
        QTest::keyClick(addressBox(w), Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier);
        QCOMPARE(navigations().size(), 2);

        // An empty box is refused once, then passed over.
        typeAddress(w, QString());
        typeAddress(w, QString());
        QCOMPARE(h->messages.shown.size(), 1);
        QCOMPARE(h->messages.shown[0].text, u"Please enter a web address or use search."_s);
        QCOMPARE(h->messages.shown[0].title, u"INVALID ADDRESS"_s);
        QCOMPARE(h->messages.shown[0].icon, MessageBoxes::Icon::Information);
        QCOMPARE(w->focusWidget(), addressBox(w));
        QCOMPARE(navigations().size(), 2);
    }

    void typingAtStartReplacesTheAddressShown() {
        page->shown = u"about:blank"_s;
        emit page->titleChanged(QString());
        QCOMPARE(w->focusWidget(), addressBox(w));
        QTest::keyClicks(addressBox(w), u"a.test"_s);
        // The page's address arriving meanwhile leaves typed text alone.
        emit page->titleChanged(QString());
        QTest::keyClick(addressBox(w), Qt::Key_Return);
        QCOMPARE(navigations().last(), u"navigate:a.test"_s);
        // After a refusal the box has the focus, its text selected.
        typeAddress(w, u"about:blank"_s);
        QCOMPARE(h->messages.shown.size(), 1);
        QTest::keyClicks(addressBox(w), u"b.test"_s);
        QTest::keyClick(addressBox(w), Qt::Key_Return);
        QCOMPARE(navigations().last(), u"navigate:b.test"_s);
    }
    void otherProgramsAddressesOpenOnlyAfterAYes() {
        h->messages.answers = {MessageBoxes::Answer::No, MessageBoxes::Answer::Yes};
        typeAddress(w, u"mailto:someone@example.org"_s);
        QVERIFY(h->openedElsewhere.isEmpty());
        typeAddress(w, u"ssh://host.test/x"_s);
        QCOMPARE(h->openedElsewhere, QList<QUrl>{QUrl(u"ssh://host.test/x"_s)});
        QCOMPARE(h->messages.shown[0].buttons, MessageBoxes::Buttons::YesNoDefaultNo);
        QVERIFY(h->messages.shown[0].text.contains(u"mailto:"_s));
        QVERIFY(h->messages.shown[0].text.contains(u"someone@example.org"_s));
        QCOMPARE(navigations().size(), 1);  // the page stays
    }

    void historyKeepsTheNewestAddresses() {
        for (int i = 0; i < AddressBox::kHistoryLimit + 10; ++i)
            emit page->navigationCompleted(u"http://a.test/%1"_s.arg(i));
        QCOMPARE(addressBox(w)->count(), AddressBox::kHistoryLimit);
        QCOMPARE(addressBox(w)->itemText(0), u"http://a.test/10"_s);
    }

    void failuresGoingToAnAddress() {
        // A number the trap passes over: the next steps still run.
        page->failures.insert(u"navigate"_s, 85);
        typeAddress(w, u"a.test"_s);
        QVERIFY(button(1)->isEnabled());
        QVERIFY(h->messages.shown.isEmpty());
        // Any other: the report, nothing after the failed step.
        button(1)->setEnabled(false);
        page->failures.insert(u"navigate"_s, BrowserError::kUnspecified);
        typeAddress(w, u"b.test"_s);
        QCOMPARE(h->messages.shown.size(), 1);
        QCOMPARE(h->messages.shown[0].title, u"Internal Error!"_s);
        QCOMPARE(h->messages.shown[0].icon, MessageBoxes::Icon::Exclamation);
        QVERIFY(h->messages.shown[0].text.startsWith(u"Error #-2147467259 "_s));
        QCOMPARE(w->lastAddress(), u"b.test"_s);
        QVERIFY(!button(1)->isEnabled());
        // A hidden page cannot take the focus: passed over quietly.
        page->failures.clear();
        page->widget()->hide();
        typeAddress(w, u"c.test"_s);
        QCOMPARE(h->messages.shown.size(), 1);
        QVERIFY(button(1)->isEnabled());
    }

    void pickingFromTheListGoesThere() {
        for (const char *url : {"http://one.test/", "http://two.test/"})
            emit page->navigationCompleted(QString::fromLatin1(url));
        QComboBox *box = addressBox(w);
        QCOMPARE(box->count(), 2);
        // By keys: open the list, move down, Enter.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(box->view()->isVisible());
        QTest::keyClick(box->view(), Qt::Key_Down);
        QTest::keyClick(box->view(), Qt::Key_Return);
        QCOMPARE(navigations().last(), u"navigate:http://two.test/"_s);
        // By the mouse, on the list the keys opened.
        QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(box->view()->isVisible());
        const QRect first = box->view()->visualRect(box->model()->index(0, 0));
        QTest::mouseClick(box->view()->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(navigations().last(), u"navigate:http://one.test/"_s);
        QCOMPARE(navigations().size(), 3);

        // Leaving the box with an entry's text, or turning the wheel over
        // it, picks nothing.
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box, u"http://two.test/"_s);
        QTest::mouseClick(page->widget(), Qt::LeftButton);
        QTRY_VERIFY(!box->hasFocus());
        QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
        QCOMPARE(box->currentText(), u"http://two.test/"_s);
        QCOMPARE(navigations().size(), 3);
    }

    void laysOutTheDesignedClientArea() {
        QCOMPARE(w->centralWidget()->size(), QSize(704, 664));
        QCOMPARE(addressBox(w)->geometry(), QRect(232, 56, 464, addressBox(w)->height()));
        QCOMPARE(page->widget()->geometry(), QRect(0, 80, 704, 564));
        QCOMPARE(child(w, u"pageload"_s)->pos(), QPoint(497, 645));
        QCOMPARE(statusBar(w)->geometry(), QRect(0, 631, 704, 33));

        QWidget *favorites = child(w, u"favfr"_s);
        QTest::mouseClick(button(8), Qt::LeftButton);
        QVERIFY(favorites->isVisible());
        QCOMPARE(page->widget()->geometry(),
                 QRect(favorites->width(), 80, 704 - favorites->width(), 564));
        QTest::mouseClick(button(8), Qt::LeftButton);
        QVERIFY(favorites->isHidden());
        QCOMPARE(page->widget()->geometry(), QRect(0, 80, 704, 564));
    }

    void snapsBackToTheMinimumWithABeep() {
        w->resize(300, 500);
        QTRY_COMPARE(w->frameGeometry().size(), QSize(394, 222));
        QVERIFY(h->beeps >= 1);
        QCOMPARE(page->widget()->width(), w->centralWidget()->width());
        const int beeps = h->beeps;
        w->resize(394, 222);
        QCOMPARE(h->beeps, beeps);
    }

    void connectionTestedAfterEachLayoutButNotMinimised() {
        FakeTransfer *transfer = h->transfers.last();
        auto tests = [transfer] { return transfer->opened.size(); };
        transfer->finish(false);
        const int before = tests();
        w->showMinimized();
        QTRY_VERIFY(w->isMinimized());
        w->resize(w->width() + 10, w->height());
        QCOMPARE(tests(), before);
        w->showNormal();
        QTRY_VERIFY(!w->isMinimized());
        QVERIFY(tests() > before);
        // A click on the label tests too, once the running test is over.
        transfer->finish(false);
        const int afterRestore = tests();
        QTest::mouseClick(child(w, u"onoff"_s), Qt::LeftButton);
        QCOMPARE(tests(), afterRestore + 1);
    }

    void backForwardAndTheNavigationMenu() {
        // No earlier page: no message, Forward stays off, the focus moves.
        page->failures.insert(u"goBack"_s, BrowserError::kUnspecified);
        w->runCommand(Command::Back);
        QVERIFY(!button(2)->isEnabled());
        QCOMPARE(page->calls.last(), u"giveFocus"_s);
        // The menu works while the buttons are disabled.
        page->failures.clear();
        chooseMenuItem(w, u"navig(0)"_s, u"navi"_s);
        QVERIFY(button(2)->isEnabled());
        const int before = page->calls.size();
        for (int i = 1; i <= 4; ++i)
            chooseMenuItem(w, u"navig(%1)"_s.arg(i), u"navi"_s);
        QCOMPARE(page->calls.mid(before),
                 QStringList({"goForward", "giveFocus", "refresh", "stop", "goHome"}));
        QVERIFY(button(2)->isEnabled());
    }

    void menusOpenTheOtherWindows() {
        chooseMenuItem(w, u"navig(5)"_s, u"navi"_s);
        QTRY_VERIFY(h->windows().searchDialog() && h->windows().searchDialog()->isVisible());
        chooseMenuItem(w, u"toolsm(1)"_s, u"td"_s);
        QTRY_VERIFY(h->windows().htmlWindow() && h->windows().htmlWindow()->isVisible());
        chooseMenuItem(w, u"aboutf"_s);
        QTRY_VERIFY(h->windows().aboutWindow() && h->windows().aboutWindow()->isVisible());
    }

    void popupSwitchFlipsItsCaptionOnly() {
        QTest::mouseClick(button(10), Qt::LeftButton);
        QCOMPARE(button(10)->text(), u"Allow Popups"_s);
        QVERIFY(w->isBlockingPopups());
        QTest::mouseClick(button(10), Qt::LeftButton);
        QCOMPARE(button(10)->text(), u"Block Popups"_s);
        QVERIFY(!w->isBlockingPopups());
        QCOMPARE(statusBar(w)->popupCount(), u"0 Popups"_s);
        QCOMPARE(statusBar(w)->message(), QString());
    }

    void keysActOnTheWindowWithTheFocus() {
        MainWindow *other = h->windows().createPopup();
        other->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        const auto press = [](QKeyCombination key) {
            QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
        };
        page->giveFocus();
        const int before = page->calls.size();
        for (QKeyCombination key : {Qt::ALT | Qt::Key_Left, Qt::ALT | Qt::Key_Right,
                                    QKeyCombination(Qt::Key_F5), Qt::CTRL | Qt::Key_R})
            press(key);
        // Escape stops only a load that runs.
        emit page->loadingChanged(true);
        press(QKeyCombination(Qt::Key_Escape));
        emit page->loadingChanged(false);
        press(QKeyCombination(Qt::Key_Escape));
        QCOMPARE(page->calls.mid(before), QStringList({"goBack", "giveFocus", "goForward",
                                                       "giveFocus", "refresh", "refresh", "stop"}));
        QList<qreal> zooms;
        for (QKeyCombination key : {Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::Key_Minus,
                                    Qt::CTRL | Qt::Key_Minus, Qt::CTRL | Qt::Key_0}) {
            press(key);
            zooms.append(page->zoom);
        }
        QCOMPARE(zooms, QList<qreal>({1.1, 1.0, 0.9, 1.0}));

        addressBox(w)->setEditText(u"typed"_s);
        for (QKeyCombination key :
             {Qt::CTRL | Qt::Key_L, Qt::ALT | Qt::Key_D, QKeyCombination(Qt::Key_F6)}) {
            page->giveFocus();
            press(key);
            QCOMPARE(QApplication::focusWidget(), addressBox(w));
            QCOMPARE(addressBox(w)->lineEdit()->selectedText(), u"typed"_s);
        }
        // Ctrl+D adds the page as the Add button does.
        page->shown = u"http://added.test/"_s;
        press(Qt::CTRL | Qt::Key_D);
        QVERIFY(readFile(h->filePath(u"favorites.dat"_s)).contains("\r\nhttp://added.test/\r\n"));
        QCOMPARE(h->browsers.at(1)->calls, QStringList({"navigate:about:blank"}));
        QPointer<MainWindow> first(w);
        press(Qt::CTRL | Qt::Key_W);
        QTRY_VERIFY(!first);
        QVERIFY(other->isVisible());
    }

    void exitClosesThatWindowOnly() {
        MainWindow *second = h->windows().createPopup();
        second->show();
        QPointer<MainWindow> first(w);
        chooseMenuItem(w, u"exiti"_s, u"filed"_s);
        QTRY_VERIFY(!first);
        QCOMPARE(h->windows().mainWindows(), QList<MainWindow *>{second});
        QVERIFY(second->isVisible());
        QCOMPARE(h->windows().primary(), nullptr);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
