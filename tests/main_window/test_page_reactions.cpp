// The main window's reactions to a scripted page: feedback, the popup
// blocker, the navigation guard, failed loads, closing and full screen.

#include <QProgressBar>
#include <QPushButton>

#include "harness.h"
#include "main_window/block_list.h"

using namespace quillow;
using namespace quillow::test;

class PageReactionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    MainWindow *w = nullptr;
    FakeBrowser *page = nullptr;

    QProgressBar *progressBar() const { return child<QProgressBar>(w, QStringLiteral("pageload")); }

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
        QVERIFY(child(w, QStringLiteral("buttons(1)"))->isEnabled());
        emit page->statusTextChanged(QStringLiteral("http://a.test/link"));
        QCOMPARE(statusBar(w)->pageStatus(), QStringLiteral("http://a.test/link"));

        emit page->progressChanged(-1, 100);
        QCOMPARE(progressBar()->maximum(), 101);
        QCOMPARE(progressBar()->value(), 1);
        // Past its maximum: the value stays and the box's address is gone to.
        addressBox(w)->setEditText(QStringLiteral("next.test"));
        emit page->progressChanged(5, 3);
        QCOMPARE(progressBar()->maximum(), 4);
        QCOMPARE(progressBar()->value(), 1);
        QCOMPARE(page->calls.last(), QStringLiteral("giveFocus"));
        QVERIFY(page->calls.contains(QStringLiteral("navigate:next.test")));
    }

    void titleGoesToThePrimaryWindowAndAddressToTheBox() {
        page->shown = QStringLiteral("  about:blank  ");
        emit page->titleChanged(QString());
        QCOMPARE(w->windowTitle(), QStringLiteral("Tarn - Quillow :  "));
        QCOMPARE(addressBox(w)->currentText(), QStringLiteral("about:blank"));

        QVERIFY(page->requestNewWindow());
        MainWindow *popup = h->windows().mainWindows().last();
        FakeBrowser *popupPage = h->browsers.last();
        popupPage->shown = QStringLiteral("http://popup.test/");
        emit popupPage->titleChanged(QStringLiteral("Popup page"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Tarn - Quillow :  Popup page"));
        QCOMPARE(popup->windowTitle(), QStringLiteral("Tarn - Quillow :  "));
        QCOMPARE(addressBox(popup)->currentText(), QStringLiteral("http://popup.test/"));

        // With the primary window gone the title is dropped, and nothing
        // hidden is made to hold it.
        w->close();
        QTRY_VERIFY(!h->windows().primary());
        emit popupPage->titleChanged(QStringLiteral("Later"));
        QCOMPARE(h->windows().mainWindows().size(), 1);
    }

    void completionAppendsEveryAddressAndKnownPopupsClose() {
        addressBox(w)->setEditText(QStringLiteral("typed"));
        for (int i = 0; i < 2; ++i)
            emit page->navigationCompleted(QStringLiteral("http://a.test/"));
        QCOMPARE(addressBox(w)->count(), 2);
        QCOMPARE(addressBox(w)->itemText(1), QStringLiteral("http://a.test/"));
        QCOMPARE(addressBox(w)->currentText(), QStringLiteral("typed"));
        QCOMPARE(statusBar(w)->message(), QStringLiteral("Site Loaded."));

        QPointer<MainWindow> primary(w);
        const QString known = blocklist::kKnownPopupAddresses.at(1);
        emit page->navigationCompleted(known + QLatin1Char('/'));
        QVERIFY(primary);
        emit page->navigationCompleted(known);
        QTRY_VERIFY(!primary);
    }

    void guardRefusesTheAdServerOnly() {
        QVERIFY(page->requestNavigation(QStringLiteral("http://example.org/")));
        QVERIFY(!page->requestNavigation(QStringLiteral("http://x.test/frame?src=") +
                                         blocklist::kAdServerFragment.toUpper()));
    }

    void blockingRefusesAndCounts() {
        w->runCommand(Command::PopupBlocking);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(page->requestNewWindow(), nullptr);
        QCOMPARE(statusBar(w)->popupCount(), QStringLiteral("3 Popups"));
        QCOMPARE(statusBar(w)->message(), QStringLiteral("Popup Blocked"));
        QCOMPARE(h->beeps, 3);
        QCOMPARE(h->windows().mainWindows().size(), 1);
        w->runCommand(Command::PopupBlocking);
        QCOMPARE(statusBar(w)->popupCount(), QStringLiteral("3 Popups"));
        // The count goes on past 16 bits instead of wrapping.
        w->runCommand(Command::PopupBlocking);
        for (int i = 3; i < 32768; ++i)
            page->requestNewWindow();
        QCOMPARE(statusBar(w)->popupCount(), QStringLiteral("32768 Popups"));
    }

    void allowingOpensAFullWindowOfItsOwn() {
        Browser *target = page->requestNewWindow();
        QVERIFY(target);
        QCOMPARE(h->windows().mainWindows().size(), 2);
        MainWindow *popup = h->windows().mainWindows().last();
        QCOMPARE(popup->browser(), target);
        QVERIFY(popup->isVisible() && !popup->isPrimary());
        QCOMPARE(statusBar(popup)->popupCount(), QStringLiteral("0 Popups"));
        QVERIFY(!popup->isBlockingPopups());
        // Only a popup's page keeps its dialogs to itself.
        QVERIFY(target->isSilent() && !page->isSilent());
    }

    void failedNavigationAsks() {
        h->messages.answers = {MessageBoxes::Answer::No, MessageBoxes::Answer::Yes};
        emit page->navigationFailed(QStringLiteral("http://127.0.0.1:9/"), -102);
        QCOMPARE(h->messages.shown.size(), 1);
        const FakeMessageBoxes::Shown box = h->messages.shown.first();
        QCOMPARE(
            box.text,
            QStringLiteral("This page has an errors in it! Would you like to continue anyways?"));
        QCOMPARE(box.title, QStringLiteral("http://127.0.0.1:9/"));
        QCOMPARE(box.buttons, MessageBoxes::Buttons::YesNo);
        QCOMPARE(box.icon, MessageBoxes::Icon::None);
        QCOMPARE(page->calls.last(), QStringLiteral("stop"));
        QCOMPARE(statusBar(w)->pageStatus(), QStringLiteral("-102"));
        // Yes leaves the page to the engine.
        const int calls = page->calls.size();
        emit page->navigationFailed(QStringLiteral("http://a.test/"), 404);
        QCOMPARE(page->calls.size(), calls);
        QCOMPARE(statusBar(w)->pageStatus(), QStringLiteral("404"));
    }

    void closeRequestAndFullScreen() {
        emit page->fullScreenRequested(false);
        QVERIFY(addressBox(w)->isVisible());
        emit page->fullScreenRequested(true);
        emit page->fullScreenRequested(false);
        QVERIFY(addressBox(w)->isHidden());
        QVERIFY(child(w, QStringLiteral("Frame1"))->isHidden());

        QPointer<MainWindow> popup =
            qobject_cast<MainWindow *>(page->requestNewWindow()->widget()->window());
        emit popup->browser()->closeRequested();
        QTRY_VERIFY(!popup);
        QVERIFY(w->isVisible());
    }
};

QTEST_MAIN(PageReactionsTest)
#include "test_page_reactions.moc"
