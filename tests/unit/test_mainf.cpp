// The main window with a scripted browser component: start-up, going to an
// address, layout and the toolbar and menu commands.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "harness.h"
#include "main_window/mainf.h"
#include "main_window/status_bar.h"

using namespace quillow;
using namespace quillow::test;

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    MainF *w = nullptr;
    FakeBrowser *browser = nullptr;

    void open(const QByteArray &favorites = QByteArray(), bool withFile = false) {
        h = std::make_unique<Harness>();
        if (withFile) {
            QFile f(h->filePath(QStringLiteral("favorites.dat")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(favorites);
        }
        h->start();
        w = h->windows().createPrimary();
        browser = h->browsers.last();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }

    void type(const QString &text) {
        w->addressbar()->setEditText(text);
        QTest::keyClick(w->addressbar(), Qt::Key_Return);
    }

    QAction *action(const QString &name) { return w->findChild<QAction *>(name); }

private slots:
    void init() { open(); }
    void cleanup() {
        h.reset();
        w = nullptr;
    }

    void startsAsDesigned() {
        QCOMPARE(browser->calls.first(), QStringLiteral("Navigate:about:blank"));
        QCOMPARE(w->lastaddress(), QStringLiteral("about:blank"));
        QCOMPARE(w->webstatus()->panelText(2), QStringLiteral("0 Popups"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Tarn - Quillow :  "));
        for (int i : {0, 1, 2, 3})
            QVERIFY(!w->button(i)->isEnabled());
        for (int i : {4, 5, 6, 7, 8, 10})
            QVERIFY(w->button(i)->isEnabled());
        QCOMPARE(w->button(10)->text(), QStringLiteral("Block Popups"));
        QVERIFY(w->favfr()->isHidden());
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("onoff"))->text(),
                 QStringLiteral("Offline"));
        QCOMPARE(w->favemenu()->count(), 0);
        QCOMPARE(h->messages.shown.size(), 0);
        QCOMPARE(w->focusWidget(), w->addressbar());
        QVERIFY(!QFile::exists(h->filePath(QStringLiteral("favorites.dat"))));
    }

    void readsFavoritesInFileOrder() {
        open("first\r\n\r\nthird", true);
        QCOMPARE(w->favemenu()->count(), 3);
        QCOMPARE(w->favemenu()->item(0)->text(), QStringLiteral("first"));
        QCOMPARE(w->favemenu()->item(1)->text(), QString());
        QCOMPARE(w->favemenu()->item(2)->text(), QStringLiteral("third"));
    }

    void controlsCarryTheirNamesAndTexts() {
        for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10})
            QVERIFY(w->findChild<QPushButton *>(QStringLiteral("buttons(%1)").arg(i)));
        QVERIFY(!w->findChild<QPushButton *>(QStringLiteral("buttons(9)")));
        QCOMPARE(action(QStringLiteral("toolsm(1)"))->text(), QStringLiteral("HTML (View/Change)"));
        QMenu *current = w->findChild<QMenu *>(QStringLiteral("currentstuffh"));
        QVERIFY(!current->menuAction()->isEnabled());
        QCOMPARE(current->actions().size(), 20);
        const QStringList menus = {QStringLiteral("File"), QStringLiteral("Navigation"),
                                   QStringLiteral("Tools"), QStringLiteral("Current"),
                                   QStringLiteral("About")};
        QStringList seen;
        for (QAction *a : w->menuBar()->actions())
            seen.append(a->text());
        QCOMPARE(seen, menus);
    }

    void tabOrderFollowsTheDesign() {
        QStringList order;
        QWidget *x = w->addressbar();
        for (int i = 0; i < 60 && order.size() < 16; ++i) {
            x = x->nextInFocusChain();
            if ((x->focusPolicy() & Qt::TabFocus) && !x->objectName().isEmpty())
                order.append(x->objectName());
        }
        const int web = order.indexOf(QStringLiteral("browserwindow"));
        QVERIFY(web >= 0);
        QCOMPARE(order.mid(web, 4),
                 (QStringList{QStringLiteral("browserwindow"), QStringLiteral("buttons(0)"),
                              QStringLiteral("buttons(1)"), QStringLiteral("buttons(2)")}));
        QVERIFY(order.indexOf(QStringLiteral("buttons(10)")) <
                order.indexOf(QStringLiteral("buttons(7)")));
        QVERIFY(order.indexOf(QStringLiteral("buttons(6)")) <
                order.indexOf(QStringLiteral("buttons(8)")));
    }

    void searchnfTakesTheBoxUntrimmedAndNavigatesTrimmed() {
        type(QStringLiteral("  example.org  "));
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).last(),
                 QStringLiteral("Navigate:example.org"));
        QCOMPARE(w->lastaddress(), QStringLiteral("  example.org  "));
        QVERIFY(w->button(1)->isEnabled());
        QCOMPARE(browser->calls.last(), QStringLiteral("SetFocus"));
        // Without the blanks it differs from what was taken, so it goes.
        type(QStringLiteral("example.org"));
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).size(), 3);
        // Tabs are not blanks.
        type(QStringLiteral("\texample.org"));
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).last(),
                 QStringLiteral("Navigate:\texample.org"));
    }

    void searchnfIgnoresTheAddressItLastTook() {
        type(QStringLiteral("about:blank"));
        QCOMPARE(h->messages.shown.size(), 0);
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).size(), 1);
        QVERIFY(!w->button(1)->isEnabled());
        type(QStringLiteral("Example.org"));
        type(QStringLiteral("Example.org"));
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).size(), 2);
        type(QStringLiteral("example.org"));
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).size(), 3);
    }

    void searchnfRefusesEmptyAndBlankOnce() {
        type(QStringLiteral("example.org"));
        type(QString());
        QCOMPARE(h->messages.shown.size(), 1);
        const FakeMessageBoxes::Shown box = h->messages.shown.first();
        QCOMPARE(box.text, QStringLiteral("Please enter a web address or use search."));
        QCOMPARE(box.title, QStringLiteral("INVALID ADDRESS"));
        QCOMPARE(box.icon, MessageBoxes::Icon::Information);
        QCOMPARE(w->lastaddress(), QString());
        type(QString());
        QCOMPARE(h->messages.shown.size(), 1);
        type(QStringLiteral("about:blank"));
        QCOMPARE(h->messages.shown.size(), 2);
        QCOMPARE(w->addressbar()->currentText(), QString());
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).size(), 2);
    }

    void searchnfErrorTrap() {
        // A number the trap passes over: the next steps still run.
        browser->failures.insert(QStringLiteral("Navigate"), 85);
        type(QStringLiteral("a.test"));
        QVERIFY(w->button(1)->isEnabled());
        QCOMPARE(h->messages.shown.size(), 0);

        open();
        browser->failures.insert(QStringLiteral("Navigate"), BrowserError::kUnspecified);
        type(QStringLiteral("b.test"));
        QCOMPARE(h->messages.shown.size(), 1);
        QCOMPARE(h->messages.shown.first().title, QStringLiteral("Internal Error!"));
        QVERIFY(h->messages.shown.first().text.startsWith(
            QStringLiteral("Error #-2147467259 Please report it by emailing ")));
        QCOMPARE(h->messages.shown.first().icon, MessageBoxes::Icon::Exclamation);
        QCOMPARE(w->lastaddress(), QStringLiteral("b.test"));
        QVERIFY(!w->button(1)->isEnabled());

        // A hidden component cannot take the focus: 5, passed over quietly.
        browser->failures.clear();
        browser->widget()->hide();
        type(QStringLiteral("c.test"));
        QCOMPARE(h->messages.shown.size(), 1);
        QVERIFY(w->button(1)->isEnabled());
    }

    void pickingFromTheListGoesThere() {
        w->NavigateComplete2(QStringLiteral("http://one.test/"));
        w->NavigateComplete2(QStringLiteral("http://two.test/"));
        QCOMPARE(w->addressbar()->count(), 2);
        w->addressbar()->setCurrentIndex(1);
        emit w->addressbar()->activated(1);
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).last(),
                 QStringLiteral("Navigate:http://two.test/"));
        emit w->addressbar()->activated(-1);
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).size(), 2);
    }

    void laysOutTheDesignedClientArea() {
        QCOMPARE(w->centralWidget()->size(), QSize(704, 664));
        QCOMPARE(w->addressbar()->geometry().topLeft(), QPoint(232, 56));
        QCOMPARE(w->addressbar()->width(), 464);
        QCOMPARE(browser->widget()->geometry(), QRect(0, 80, 704, 564));
        QCOMPARE(w->pageload()->pos(), QPoint(497, 645));
        QCOMPARE(w->webstatus()->geometry(), QRect(0, 631, 704, 33));

        w->command(8);
        QVERIFY(w->favfr()->isVisible());
        QCOMPARE(browser->widget()->x(), w->favfr()->width());
        QCOMPARE(browser->widget()->geometry().right(), 703);
        w->command(8);
        QVERIFY(w->favfr()->isHidden());
        QCOMPARE(browser->widget()->geometry(), QRect(0, 80, 704, 564));
    }

    void snapsBackToTheMinimumWithABeep() {
        w->resize(300, 500);
        QTRY_COMPARE(w->frameGeometry().size(), QSize(394, 222));
        QVERIFY(h->beeps >= 1);
        QCOMPARE(browser->widget()->width(), w->centralWidget()->width());
        const int beeps = h->beeps;
        w->resize(394, 222);
        QCOMPARE(h->beeps, beeps);
    }

    void backAndForward() {
        // No earlier page: no message, Forward stays off, the focus moves.
        browser->failures.insert(QStringLiteral("GoBack"), BrowserError::kUnspecified);
        w->command(1);
        QVERIFY(!w->button(2)->isEnabled());
        QCOMPARE(browser->calls.last(), QStringLiteral("SetFocus"));
        QCOMPARE(h->messages.shown.size(), 0);
        // The menu works while the buttons are disabled.
        browser->failures.clear();
        action(QStringLiteral("navig(0)"))->trigger();
        QVERIFY(w->button(2)->isEnabled());
        action(QStringLiteral("navig(1)"))->trigger();
        QCOMPARE(browser->calls.mid(browser->calls.size() - 2),
                 (QStringList{QStringLiteral("GoForward"), QStringLiteral("SetFocus")}));
        QVERIFY(w->button(2)->isEnabled());
    }

    void menuItemsReachTheirCommands() {
        const QStringList expected = {QStringLiteral("Refresh"), QStringLiteral("Stop"),
                                      QStringLiteral("GoHome")};
        for (int i = 2; i <= 4; ++i) {
            action(QStringLiteral("navig(%1)").arg(i))->trigger();
            QCOMPARE(browser->calls.last(), expected.at(i - 2));
        }
        const int calls = browser->calls.size();
        for (int n : {0, 3, 9, 12, -1})
            w->command(n);
        QCOMPARE(browser->calls.size(), calls);
    }

    void popupSwitchFlipsItsCaptionOnly() {
        w->command(10);
        QCOMPARE(w->button(10)->text(), QStringLiteral("Allow Popups"));
        QVERIFY(w->blockingPopups());
        QTest::mouseClick(w->button(10), Qt::LeftButton);
        QCOMPARE(w->button(10)->text(), QStringLiteral("Block Popups"));
        QCOMPARE(w->webstatus()->panelText(2), QStringLiteral("0 Popups"));
        QCOMPARE(w->webstatus()->simpleText(), QString());
    }

    void exitClosesThatWindowOnly() {
        MainF *second = h->windows().createPopup();
        second->show();
        QPointer<MainF> first(w);
        action(QStringLiteral("exiti"))->trigger();
        QTRY_VERIFY(!first);
        QCOMPARE(h->windows().mainWindows(), QList<MainF *>{second});
        QVERIFY(second->isVisible());
        QCOMPARE(h->windows().primary(), nullptr);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainf.moc"
