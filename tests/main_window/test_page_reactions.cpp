// The main window's reactions to a scripted page: feedback, the popup
// blocker, the navigation guard, failed loads, closing and full screen, and
// the page's questions answered through the fake.

#include <QProgressBar>
#include <QPushButton>

#include <QMenuBar>

#include "harness.h"
#include "main_window/block_list.h"
#include "main_window/popup_allowance.h"
#include "questions/question_texts.h"

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

    void pageDialogsOfferTheStopOnTheThird() {
        using Kind = PageDialogRequest::Kind;
        page->shown = u"http://a.test/page"_s;
        h->questions.dialogAnswers = {
            {true, {}, false}, {true, u"typed"_s, false}, {true, {}, true}};
        auto raise = [this](Kind kind) {
            PageDialogRequest r(kind, u"http://a.test/"_s, u"hi"_s);
            emit page->pageDialogRequested(r);
            return r;
        };
        QVERIFY(raise(Kind::Confirm).isAccepted());
        QCOMPARE(raise(Kind::Prompt).text(), u"typed"_s);
        raise(Kind::Alert);
        // Stopped: not asked, a confirm is cancelled; a reload keeps the stop.
        emit page->navigationCompleted(u"http://a.test/again"_s);
        QVERIFY(!raise(Kind::Confirm).isAccepted());
        QCOMPARE(h->questions.asked.size(), 3);
        QVERIFY(h->questions.asked.last().offerStop);
        QCOMPARE(h->questions.asked.first().title, u"http://a.test says"_s);
        // Another site's page asks again.
        emit page->navigationCompleted(u"http://b.test/"_s);
        raise(Kind::Alert);
        QCOMPARE(h->questions.asked.size(), 4);
    }

    void permissionsAndCertificatesRemembered() {
        // Each answer holds for the site and feature, in every window.
        using Feature = PermissionRequest::Feature;
        Browser *popup = page->requestNewWindow();
        h->questions.yesNo = {false, true};
        auto permit = [](Browser *b, Feature feature) {
            PermissionRequest r(u"http://a.test:81/"_s, feature);
            emit b->permissionRequested(r);
            return r.isGranted();
        };
        QVERIFY(!permit(page, Feature::Location));
        QVERIFY(permit(page, Feature::Camera));
        QVERIFY(!permit(popup, Feature::Location));
        QVERIFY(permit(popup, Feature::Camera));
        QCOMPARE(h->questions.asked.size(), 2);

        // A certificate: No shows the notice; Yes holds for the host.
        h->questions.yesNo = {false, true};
        auto certificate = [this](const QString &host, bool overridable, bool whole = true) {
            CertificateErrorRequest r(u"https://x/"_s, host, CertificateProblem::Revoked,
                                      overridable, whole);
            emit page->certificateErrorOccurred(r);
            return r;
        };
        const CertificateErrorRequest refused = certificate(u"b.test"_s, true);
        QVERIFY(!refused.proceeds());
        QCOMPARE(refused.noticeText(), certificateNoticeText(u"b.test"_s, refused.problem()));
        QVERIFY(certificate(u"b.test"_s, true).proceeds());
        QVERIFY(certificate(u"b.test"_s, true).proceeds());
        // Not to be overridden, or a part of the page: nothing asked.
        QVERIFY(!certificate(u"c.test"_s, false).noticeText().isEmpty());
        QVERIFY(!certificate(u"c.test"_s, true, false).proceeds());
        QCOMPARE(h->questions.asked.size(), 4);
    }

    void closingDuringAQuestionEndsItThenTheWindow() {
        QPointer<MainWindow> window(w);
        bool enabled = true;
        h->questions.signIns = {{u"ann"_s, u"pw"_s}};
        h->questions.whileAsking = [&] {
            enabled = w->centralWidget()->isEnabled() || w->menuBar()->isEnabled();
            QTest::keyClick(w, Qt::Key_W, Qt::ControlModifier);
        };
        AuthenticationRequest r(u"http://a.test/"_s, QString());
        emit page->authenticationRequired(r);
        // Still there while the page's call returns; the sign-in cancelled.
        QVERIFY(window && window->isHidden() && !r.isAnswered() && !enabled);
        QCOMPARE(h->questions.ended, 1);
        PageDialogRequest later(PageDialogRequest::Kind::Alert, QString(), QString());
        emit page->pageDialogRequested(later);
        QCOMPARE(h->questions.asked.size(), 1);
        QTRY_VERIFY(!window);
    }
};

QTEST_MAIN(PageReactionsTest)
#include "test_page_reactions.moc"
