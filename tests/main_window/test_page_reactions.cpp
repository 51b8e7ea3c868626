// The main window's reactions to a scripted page: feedback, the popup
// blocker, the navigation guard, failed loads, closing and full screen.

#include <QProgressBar>
#include <QPushButton>

#include "harness.h"
#include "main_window/block_list.h"
#include "main_window/popup_allowance.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

class PageReactionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    MainWindow *w = nullptr;
    FakeBrowser *page = nullptr;

    QProgressBar *progressBar() const { return child<QProgressBar>(w, u"pageload"_s); }

private slots:
    void init() {
        h = std::make_unique<Harness>();
        w = h->startWithPrimary();
        page = h->browsers.last();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup() { h.reset(); }

    void statusTextAndProgress() {
        emit page->statusTextChanged(QString());
        QVERIFY(child(w, u"buttons(1)"_s)->isEnabled());
        emit page->statusTextChanged(u"http://a.test/link"_s);
        QCOMPARE(statusBar(w)->pageStatus(), u"http://a.test/link"_s);

        emit page->progressChanged(-1, 100);
        QCOMPARE(progressBar()->maximum(), 101);
        QCOMPARE(progressBar()->value(), 1);
        // Past its maximum: the value stays and the box's address is gone to.
        addressBox(w)->setEditText(u"next.test"_s);
        emit page->progressChanged(5, 3);
        QCOMPARE(progressBar()->maximum(), 4);
        QCOMPARE(progressBar()->value(), 1);
        QCOMPARE(page->calls.last(), u"giveFocus"_s);
        QVERIFY(page->calls.contains(u"navigate:next.test"_s));
    }

    void titleGoesToThePrimaryWindowAndAddressToTheBox() {
        page->shown = u"  about:blank  "_s;
        emit page->titleChanged(QString());
        QCOMPARE(w->windowTitle(), u"Tarn - Quillow :  "_s);
        QCOMPARE(addressBox(w)->currentText(), u"about:blank"_s);

        QVERIFY(page->requestNewWindow());
        MainWindow *popup = h->windows().mainWindows().last();
        FakeBrowser *popupPage = h->browsers.last();
        popupPage->shown = u"http://popup.test/"_s;
        emit popupPage->titleChanged(u"Popup page"_s);
        QCOMPARE(w->windowTitle(), u"Tarn - Quillow :  Popup page"_s);
        QCOMPARE(popup->windowTitle(), u"Tarn - Quillow :  "_s);
        QCOMPARE(addressBox(popup)->currentText(), u"http://popup.test/"_s);

        // With the primary window gone the title is dropped, and nothing
        // hidden is made to hold it.
        w->close();
        QTRY_VERIFY(!h->windows().primary());
        emit popupPage->titleChanged(u"Later"_s);
        QCOMPARE(h->windows().mainWindows().size(), 1);
    }

    void completionAppendsEveryAddressAndKnownPopupsClose() {
        addressBox(w)->setEditText(u"typed"_s);
        for (int i = 0; i < 2; ++i)
            emit page->navigationCompleted(u"http://a.test/"_s);
        QCOMPARE(addressBox(w)->count(), 2);
        QCOMPARE(addressBox(w)->itemText(1), u"http://a.test/"_s);
        QCOMPARE(addressBox(w)->currentText(), u"typed"_s);
        QCOMPARE(statusBar(w)->message(), u"Site Loaded."_s);

        QPointer<MainWindow> primary(w);
        const QString known = blocklist::kKnownPopupAddresses.at(1);
        emit page->navigationCompleted(known + QLatin1Char('/'));
        QVERIFY(primary);
        emit page->navigationCompleted(known);
        QTRY_VERIFY(!primary);
    }

    void guardRefusesTheAdServerOnly() {
        QVERIFY(page->requestNavigation(u"http://example.org/"_s));
        QVERIFY(!page->requestNavigation(u"http://x.test/frame?src="_s +
                                         blocklist::kAdServerFragment.toUpper()));
    }

    void blockingRefusesAndCounts() {
        w->runCommand(Command::PopupBlocking);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(page->requestNewWindow(), nullptr);
        QCOMPARE(statusBar(w)->popupCount(), u"3 Popups"_s);
        QCOMPARE(statusBar(w)->message(), u"Popup Blocked"_s);
        QCOMPARE(h->beeps, 3);
        QCOMPARE(h->windows().mainWindows().size(), 1);
        w->runCommand(Command::PopupBlocking);
        QCOMPARE(statusBar(w)->popupCount(), u"3 Popups"_s);
        // The count goes on past 16 bits instead of wrapping.
        w->runCommand(Command::PopupBlocking);
        for (int i = 3; i < 32768; ++i)
            page->requestNewWindow();
        QCOMPARE(statusBar(w)->popupCount(), u"32768 Popups"_s);
    }

    // With blocking off, a few windows no click asked for open; beyond them
    // they are refused and counted. The user's clicks always open theirs.
    void windowsWithoutAClickAreLimited() {
        for (int i = 0; i < PopupAllowance::kWindows; ++i)
            QVERIFY(page->requestNewWindow());
        QCOMPARE(page->requestNewWindow(), nullptr);
        QCOMPARE(statusBar(w)->popupCount(), u"1 Popups"_s);
        QCOMPARE(statusBar(w)->message(), u"Popup Blocked"_s);
        QCOMPARE(h->beeps, 1);
        // Also when the windows it opened open more.
        QCOMPARE(h->browsers.last()->requestNewWindow(), nullptr);
        QVERIFY(page->requestNewWindow(true));
        QCOMPARE(h->windows().mainWindows().size(), PopupAllowance::kWindows + 2);
    }

    void allowingOpensAFullWindowOfItsOwn() {
        Browser *target = page->requestNewWindow();
        QVERIFY(target);
        QCOMPARE(h->windows().mainWindows().size(), 2);
        MainWindow *popup = h->windows().mainWindows().last();
        QCOMPARE(popup->browser(), target);
        QVERIFY(popup->isVisible() && !popup->isPrimary());
        QCOMPARE(statusBar(popup)->popupCount(), u"0 Popups"_s);
        QVERIFY(!popup->isBlockingPopups());
        // Only a popup's page keeps its dialogs to itself.
        QVERIFY(target->isSilent() && !page->isSilent());
    }

    void failedNavigationAsks() {
        h->messages.answers = {MessageBoxes::Answer::No, MessageBoxes::Answer::Yes};
        emit page->navigationFailed(u"http://127.0.0.1:9/"_s, -102);
        QCOMPARE(h->messages.shown.size(), 1);
        const FakeMessageBoxes::Shown box = h->messages.shown.first();
        QCOMPARE(box.text, u"This page has an errors in it! Would you like to continue anyways?"_s);
        QCOMPARE(box.title, u"http://127.0.0.1:9/"_s);
        QCOMPARE(box.buttons, MessageBoxes::Buttons::YesNo);
        QCOMPARE(box.icon, MessageBoxes::Icon::None);
        QCOMPARE(page->calls.last(), u"abandonFailedNavigation"_s);
        QCOMPARE(statusBar(w)->pageStatus(), u"-102"_s);
        // Yes leaves the page to the engine. While the question is open,
        // another window's failure gets No without a question.
        auto *popupPage = qobject_cast<FakeBrowser *>(page->requestNewWindow());
        h->messages.whileShown = [popupPage] {
            emit popupPage->navigationFailed(u"http://b.test/"_s, -105);
        };
        const int calls = page->calls.size();
        emit page->navigationFailed(u"http://a.test/"_s, 404);
        QCOMPARE(page->calls.size(), calls);
        QCOMPARE(popupPage->calls.last(), u"abandonFailedNavigation"_s);
        QCOMPARE(h->messages.shown.size(), 2);
        QCOMPARE(statusBar(w)->pageStatus(), u"404"_s);
    }

    void pageLinksToOtherProgramsAsk() {
        h->messages.answers = {MessageBoxes::Answer::No, MessageBoxes::Answer::Yes};
        emit page->externalAddressRequested(u"ssh://evil.test/clicked"_s);
        QVERIFY(h->openedElsewhere.isEmpty());
        emit page->externalAddressRequested(u"mailto:a@b.test"_s);
        QCOMPARE(h->openedElsewhere, QList<QUrl>{QUrl(u"mailto:a@b.test"_s)});
        QVERIFY(h->messages.shown[0].text.contains(u"ssh://evil.test/clicked"_s));
    }

    void closeRequestAndFullScreen() {
        emit page->fullScreenRequested(false);
        QVERIFY(addressBox(w)->isVisible());
        emit page->fullScreenRequested(true);
        emit page->fullScreenRequested(false);
        QVERIFY(addressBox(w)->isHidden());
        QVERIFY(child(w, u"Frame1"_s)->isHidden());

        QPointer<MainWindow> popup =
            qobject_cast<MainWindow *>(page->requestNewWindow()->widget()->window());
        emit popup->browser()->closeRequested();
        QTRY_VERIFY(!popup);
        QVERIFY(w->isVisible());
    }
};

QTEST_MAIN(PageReactionsTest)
#include "test_page_reactions.moc"
