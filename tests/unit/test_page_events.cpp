// The main window's reactions to its component's events, with a scripted
// component: feedback, the popup blocker, the guard and failed loads.

#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "harness.h"
#include "main_window/mainf.h"
#include "main_window/status_bar.h"
#include "page_events/block_list.h"

using namespace quillow;
using namespace quillow::test;

class PageEventsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    MainF *w = nullptr;
    FakeBrowser *browser = nullptr;

    Browser *newWindow(MainF *from, bool *cancelled) {
        Browser *target = nullptr;
        bool cancel = false;
        from->NewWindow2(target, cancel);
        *cancelled = cancel;
        return target;
    }

private slots:
    void init() {
        h = std::make_unique<Harness>();
        h->start();
        w = h->windows().createPrimary();
        browser = h->browsers.last();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup() { h.reset(); }

    void statusTextFillsPanelOneAndEnablesBack() {
        w->StatusTextChange(QString());
        QVERIFY(w->button(1)->isEnabled());
        w->StatusTextChange(QStringLiteral("http://a.test/link"));
        QCOMPARE(w->webstatus()->panelText(1), QStringLiteral("http://a.test/link"));
        w->StatusTextChange(QString());
        QCOMPARE(w->webstatus()->panelText(1), QString());
    }

    void progressDrivesTheBar() {
        w->ProgressChange(-1, 100);
        QCOMPARE(w->pageload()->maximum(), 101);
        QCOMPARE(w->pageload()->value(), 1);
        w->ProgressChange(3, 3);
        QCOMPARE(w->pageload()->maximum(), 4);
        QCOMPARE(w->pageload()->value(), 3);
        // Past its maximum: the value stays and the box's address is taken.
        w->addressbar()->setEditText(QStringLiteral("next.test"));
        w->ProgressChange(5, 3);
        QCOMPARE(w->pageload()->value(), 3);
        QCOMPARE(browser->callsNamed(QStringLiteral("Navigate")).last(),
                 QStringLiteral("Navigate:next.test"));
        w->ProgressChange(-7, -5);
        QVERIFY(w->pageload()->minimum() <= w->pageload()->value());
        QVERIFY(w->pageload()->value() <= w->pageload()->maximum());
    }

    void titleGoesToThePrimaryWindowAndAddressToTheBox() {
        browser->location = QStringLiteral("  about:blank  ");
        w->TitleChange(QString());
        QCOMPARE(w->windowTitle(), QStringLiteral("Tarn - Quillow :  "));
        QCOMPARE(w->addressbar()->currentText(), QStringLiteral("about:blank"));

        bool cancelled = true;
        newWindow(w, &cancelled);
        QVERIFY(!cancelled);
        MainF *popup = h->windows().mainWindows().last();
        FakeBrowser *popupBrowser = h->browsers.last();
        popupBrowser->location = QStringLiteral("http://popup.test/");
        popup->TitleChange(QStringLiteral("Popup page"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Tarn - Quillow :  Popup page"));
        QCOMPARE(popup->windowTitle(), QStringLiteral("Tarn - Quillow :  "));
        QCOMPARE(popup->addressbar()->currentText(), QStringLiteral("http://popup.test/"));

        // With the primary window gone the title is dropped, and nothing
        // hidden is made to hold it.
        w->close();
        QTRY_VERIFY(!h->windows().primary());
        popup->TitleChange(QStringLiteral("Later"));
        QCOMPARE(h->windows().mainWindows().size(), 1);
        QCOMPARE(h->windows().primary(), nullptr);
    }

    void completionAppendsEveryAddress() {
        w->addressbar()->setEditText(QStringLiteral("typed"));
        w->NavigateComplete2(QStringLiteral("http://a.test/"));
        w->NavigateComplete2(QStringLiteral("http://a.test/"));
        QCOMPARE(w->addressbar()->count(), 2);
        QCOMPARE(w->addressbar()->itemText(1), QStringLiteral("http://a.test/"));
        QCOMPARE(w->addressbar()->currentText(), QStringLiteral("typed"));
        QCOMPARE(w->webstatus()->simpleText(), QStringLiteral("Site Loaded."));
    }

    void knownPopupAddressClosesTheWindow() {
        QPointer<MainF> primary(w);
        const QString popupAddress = blocklist::kKnownPopupAddresses.at(1);
        w->NavigateComplete2(popupAddress.toUpper());
        w->NavigateComplete2(popupAddress + "/");
        QVERIFY(primary);
        QCOMPARE(w->addressbar()->count(), 2);
        w->NavigateComplete2(popupAddress);
        QTRY_VERIFY(!primary);
    }

    void guardCancelsTheAdServerOnly() {
        bool cancel = true;
        w->BeforeNavigate2(QStringLiteral("http://example.org/"), cancel);
        QVERIFY(!cancel);
        w->BeforeNavigate2(
            QStringLiteral("http://x.test/frame?src=") + blocklist::kAdServerFragment.toUpper(),
            cancel);
        QVERIFY(cancel);
    }

    void blockingRefusesAndCounts() {
        w->command(10);
        bool cancelled = false;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(newWindow(w, &cancelled), nullptr);
            QVERIFY(cancelled);
        }
        QCOMPARE(w->webstatus()->panelText(2), QStringLiteral("3 Popups"));
        QCOMPARE(w->webstatus()->simpleText(), QStringLiteral("Popup Blocked"));
        QCOMPARE(h->beeps, 3);
        QCOMPARE(h->windows().mainWindows().size(), 1);
        w->command(10);
        QCOMPARE(w->webstatus()->panelText(2), QStringLiteral("3 Popups"));
    }

    void countKeepsGoingPastSixteenBits() {
        w->command(10);
        bool cancelled = false;
        for (int i = 0; i < 32768; ++i)
            newWindow(w, &cancelled);
        QCOMPARE(w->webstatus()->panelText(2), QStringLiteral("32768 Popups"));
    }

    void allowingOpensAFullWindowOfItsOwn() {
        w->command(10);
        bool cancelled = false;
        newWindow(w, &cancelled);
        w->command(10);
        Browser *target = newWindow(w, &cancelled);
        QVERIFY(!cancelled);
        QVERIFY(target);
        QCOMPARE(h->windows().mainWindows().size(), 2);
        MainF *popup = h->windows().mainWindows().last();
        QCOMPARE(popup->browserwindow(), target);
        QVERIFY(popup->isVisible());
        QVERIFY(!popup->isPrimary());
        QCOMPARE(popup->webstatus()->panelText(2), QStringLiteral("0 Popups"));
        QCOMPARE(popup->button(10)->text(), QStringLiteral("Block Popups"));
        QVERIFY(target->Silent());
        QVERIFY(target->RegisterAsBrowser());
        QVERIFY(!browser->Silent());
        QVERIFY(!browser->RegisterAsBrowser());
        QCOMPARE(w->webstatus()->panelText(2), QStringLiteral("1 Popups"));
    }

    void failedNavigationNoStops() {
        h->messages.answers = {MessageBoxes::No};
        bool cancel = false;
        w->NavigateError(QStringLiteral("http://127.0.0.1:9/"), -102, cancel);
        QVERIFY(cancel);
        QCOMPARE(h->messages.shown.size(), 1);
        const FakeMessageBoxes::Shown box = h->messages.shown.first();
        QCOMPARE(
            box.text,
            QStringLiteral("This page has an errors in it! Would you like to continue anyways?"));
        QCOMPARE(box.title, QStringLiteral("http://127.0.0.1:9/"));
        QCOMPARE(box.buttons, MessageBoxes::Buttons::YesNo);
        QCOMPARE(box.icon, MessageBoxes::Icon::None);
        QCOMPARE(browser->calls.last(), QStringLiteral("Stop"));
        QCOMPARE(w->webstatus()->panelText(1), QStringLiteral("-102"));
    }

    void failedNavigationYesGoesOn() {
        bool cancel = true;
        w->NavigateError(QStringLiteral("http://a.test/"), 404, cancel);
        QVERIFY(!cancel);
        QCOMPARE(h->messages.shown.size(), 1);
        QCOMPARE(browser->calls.last(), QStringLiteral("AdoptFailedFrame"));

        // The component refusing with a number outside the list: one more box.
        browser->failures.insert(QStringLiteral("AdoptFailedFrame"), -2147467263);
        w->NavigateError(QStringLiteral("http://a.test/"), 404, cancel);
        QCOMPARE(h->messages.shown.size(), 3);
        QCOMPARE(h->messages.shown.last().text, QStringLiteral("Browser Error# -2147467263"));
        QCOMPARE(h->messages.shown.last().title, QString());

        // A status text that fails with a listed number: still asked.
        browser->failures.clear();
        browser->failures.insert(QStringLiteral("SetStatusText"), BrowserError::kUnspecified);
        w->NavigateError(QStringLiteral("http://b.test/"), 500, cancel);
        QCOMPARE(h->messages.shown.last().title, QStringLiteral("http://b.test/"));
    }

    void quitAndFullScreen() {
        w->OnFullScreen(false);
        QVERIFY(w->addressbar()->isVisible());
        w->OnFullScreen(true);
        w->OnFullScreen(false);
        QVERIFY(w->addressbar()->isHidden());
        QVERIFY(w->findChild<QGroupBox *>(QStringLiteral("Frame1"))->isHidden());

        bool cancelled = false;
        newWindow(w, &cancelled);
        MainF *popup = h->windows().mainWindows().last();
        QPointer<MainF> guard(popup);
        popup->OnQuit();
        QTRY_VERIFY(!guard);
        QVERIFY(w->isVisible());
    }
};

QTEST_MAIN(PageEventsTest)
#include "test_page_events.moc"
