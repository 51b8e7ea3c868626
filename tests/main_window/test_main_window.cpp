// The main window with a scripted page: going to an address, the address
// box's list, layout, commands and keys, and its reactions to the page:
// feedback, the popup blocker, failed loads, closing, full screen and the
// page's questions.

#include <QAbstractItemView>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QWheelEvent>

#include "harness.h"
#include "main_window/address_box.h"
#include "main_window/block_list.h"

using namespace quillow;
using namespace quillow::test;

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Primary> h;
    MainWindow *w = nullptr;
    FakeBrowser *page = nullptr;

    QPushButton *button(int index) const {
        return child<QPushButton>(w, u"buttons(%1)"_s.arg(index));
    }
    QStringList navigations() const { return page->navigations(); }
    QList<MainWindow *> mains() const { return h->windows().mainWindows(); }
    QStringList asked() const {
        QStringList out;
        for (const FakeQuestions::Asked &a : h->questions.asked)
            out.append(a.kind + u':' + a.title);
        return out;
    }

private slots:
    void init() {
        h = std::make_unique<Primary>();
        w = h->primary;
        page = h->page;
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup() { h.reset(); }

    void startsOnTheBlankPageWithPopupsAllowed() {
        QCOMPARE(page->calls.first(), u"navigate:about:blank"_s);
        QCOMPARE(w->lastAddress(), u"about:blank"_s);
        QCOMPARE(statusBar(w)->popupCount(), u"0 Popups"_s);
        QVERIFY(!w->isBlockingPopups());
        QCOMPARE(button(10)->text(), u"Block Popups"_s);
        QVERIFY(!button(1)->isEnabled() && !button(2)->isEnabled());
        QCOMPARE(w->focusWidget(), addressBox(w));
        QVERIFY(h->questions.asked.isEmpty());
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
        QCOMPARE(asked(), QStringList{u"tell:INVALID ADDRESS"_s});
        QCOMPARE(w->focusWidget(), addressBox(w));
        QCOMPARE(navigations().size(), 2);
    }

    void typingAtStartReplacesTheAddressShown() {
        emit page->titleChanged(QString());
        QTest::keyClicks(addressBox(w), u"a.test"_s);
        // The page's address arriving meanwhile leaves typed text alone.
        emit page->titleChanged(QString());
        QTest::keyClick(addressBox(w), Qt::Key_Return);
        QCOMPARE(navigations().last(), u"navigate:a.test"_s);
        // After a refusal the box has the focus, its text selected.
        typeAddress(w, u"about:blank"_s);
        QTest::keyClicks(addressBox(w), u"b.test"_s);
        QTest::keyClick(addressBox(w), Qt::Key_Return);
        QCOMPARE(navigations().last(), u"navigate:b.test"_s);
    }

    // Typed or clicked on a page, another program's address opens only
    // after a yes; unanswered, the question says No.
    void otherProgramsAddressesOpenOnlyAfterAYes() {
        typeAddress(w, u"mailto:someone@example.org"_s);
        h->questions.yesNo = {true};
        typeAddress(w, u"ssh://host.test/x"_s);
        emit page->externalAddressRequested(u"ssh://evil.test/clicked"_s);
        QCOMPARE(h->openedElsewhere, QList<QUrl>{QUrl(u"ssh://host.test/x"_s)});
        QCOMPARE(asked(), QStringList(3, u"yesno:"_s));
        QVERIFY(!h->questions.asked[0].yesIsDefault);
        QVERIFY(h->questions.asked[0].text.contains(u"someone@example.org"_s));
        QVERIFY(h->questions.asked[2].text.contains(u"ssh://evil.test/clicked"_s));
        QCOMPARE(navigations().size(), 1);  // the page stays
    }

    void failuresGoingToAnAddress() {
        // A page that cannot take the focus is passed over quietly.
        page->widget()->hide();
        typeAddress(w, u"a.test"_s);
        QVERIFY(button(1)->isEnabled());
        QVERIFY(h->questions.asked.isEmpty());
        // Any other failure: the report, nothing after the failed step.
        button(1)->setEnabled(false);
        page->failures.insert(u"navigate"_s, BrowserResult::NoPageThere);
        typeAddress(w, u"b.test"_s);
        QCOMPARE(asked(), QStringList{u"tell:Internal Error!"_s});
        QVERIFY(h->questions.asked[0].text.startsWith(u"Error #-2147467259 "_s));
        QCOMPARE(w->lastAddress(), u"b.test"_s);
        QVERIFY(!button(1)->isEnabled());
    }

    void theAddressListKeepsTheNewestAndOnlyPicksGo() {
        for (int i = 0; i < AddressBox::kHistoryLimit + 10; ++i)
            emit page->navigationCompleted(u"http://a.test/%1"_s.arg(i));
        QComboBox *box = addressBox(w);
        QCOMPARE(box->count(), AddressBox::kHistoryLimit);
        QCOMPARE(box->itemText(0), u"http://a.test/10"_s);
        // By keys: open the list, move down, Enter; then by the mouse.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(box->view()->isVisible());
        QTest::keyClick(box->view(), Qt::Key_Down);
        QTest::keyClick(box->view(), Qt::Key_Return);
        QCOMPARE(navigations().last(), u"navigate:http://a.test/11"_s);
        QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(box->view()->isVisible());
        const QRect first = box->view()->visualRect(box->model()->index(0, 0));
        QTest::mouseClick(box->view()->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(navigations().last(), u"navigate:http://a.test/10"_s);
        // Leaving the box with an entry's text, or turning the wheel over
        // it, picks nothing.
        box->lineEdit()->selectAll();
        QTest::keyClicks(box, u"http://a.test/12"_s);
        QTest::mouseClick(page->widget(), Qt::LeftButton);
        QTRY_VERIFY(!box->hasFocus());
        QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
        QCOMPARE(box->currentText(), u"http://a.test/12"_s);
        QCOMPARE(navigations().size(), 3);
    }

    // The favorites panel takes room from the page; too small a window
    // snaps back with a beep; every layout but a minimised one tests the
    // connection, and so does a click on the label.
    void layoutAndConnectionTests() {
        const QRect whole = page->widget()->geometry();
        click(w, u"buttons(8)"_s);
        const int panel = child(w, u"favfr"_s)->width();
        QCOMPARE(page->widget()->geometry(), whole.adjusted(panel, 0, 0, 0));
        click(w, u"buttons(8)"_s);
        QCOMPARE(page->widget()->geometry(), whole);

        w->resize(300, 500);
        QTRY_COMPARE(w->frameGeometry().size(), QSize(394, 222));
        QVERIFY(h->beeps >= 1);
        const int beeps = h->beeps;
        w->resize(394, 222);
        QCOMPARE(h->beeps, beeps);

        FakeTransfer *transfer = h->transfers.last();
        const auto tests = [transfer] { return transfer->opened.size(); };
        transfer->finish(TransferResult::End::Failed);
        const int before = tests();
        w->showMinimized();
        QTRY_VERIFY(w->isMinimized());
        w->resize(w->width() + 10, w->height());
        QCOMPARE(tests(), before);
        w->showNormal();
        QTRY_VERIFY(tests() > before);
        transfer->finish(TransferResult::End::Failed);
        const int restored = tests();
        click(w, u"onoff"_s);
        QCOMPARE(tests(), restored + 1);
    }

    void backForwardAndTheMenus() {
        // No earlier page: no message, Forward stays off, the focus moves.
        page->failures.insert(u"goBack"_s, BrowserResult::NoPageThere);
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
        QVERIFY(h->questions.asked.isEmpty());

        chooseMenuItem(w, u"navig(5)"_s, u"navi"_s);
        QTRY_VERIFY(h->windows().find<SearchDialog>());
        chooseMenuItem(w, u"toolsm(1)"_s, u"td"_s);
        QTRY_VERIFY(h->windows().find<HtmlWindow>());
        chooseMenuItem(w, u"aboutf"_s);
        QTRY_VERIFY(h->windows().find<AboutWindow>());
    }

    void keysActOnTheWindowWithTheFocus() {
        MainWindow *other = h->program().createPopup();
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
            QCOMPARE(addressBox(w)->lineEdit()->selectedText(), u"typed"_s);
        }
        page->shown = u"http://added.test/"_s;
        press(Qt::CTRL | Qt::Key_D);
        QCOMPARE(readFile(h->filePath(u"favorites.dat"_s)), QByteArray("http://added.test/\r\n"));
        QCOMPARE(h->browsers.at(1)->calls, QStringList({"navigate:about:blank"}));
        QPointer<MainWindow> first(w);
        press(Qt::CTRL | Qt::Key_W);
        QTRY_VERIFY(!first);
        QVERIFY(other->isVisible());
        // The other window is no primary one: closing it, or Exit, goes alone.
        QCOMPARE(h->windows().primary(), nullptr);
        QCOMPARE(mains(), QList<MainWindow *>{other});
    }

    void statusTitleProgressAndCompletion() {
        emit page->statusTextChanged(u"http://a.test/link"_s);
        QCOMPARE(statusBar(w)->pageStatus(), u"http://a.test/link"_s);
        QVERIFY(button(1)->isEnabled());
        // Past its maximum the progress goes to the box's address.
        auto *bar = child<QProgressBar>(w, u"pageload"_s);
        emit page->progressChanged(-1, 100);
        QCOMPARE(bar->value(), 1);
        addressBox(w)->setEditText(u"next.test"_s);
        emit page->progressChanged(5, 3);
        QCOMPARE(bar->maximum(), 4);
        QCOMPARE(navigations().last(), u"navigate:next.test"_s);

        // Every completion is listed; the box keeps what is typed.
        addressBox(w)->setEditText(u"typed"_s);
        for (int i = 0; i < 2; ++i)
            emit page->navigationCompleted(u"http://a.test/"_s);
        QCOMPARE(addressBox(w)->count(), 2);
        QCOMPARE(addressBox(w)->currentText(), u"typed"_s);
        QCOMPARE(statusBar(w)->message(), u"Site Loaded."_s);

        // A popup's title shows on the primary window; with that one gone,
        // nothing is made to show it.
        auto *popupPage = qobject_cast<FakeBrowser *>(page->requestNewWindow());
        MainWindow *popup = mains().last();
        popupPage->shown = u"  http://popup.test/  "_s;
        emit popupPage->titleChanged(u"Popup page"_s);
        QCOMPARE(w->windowTitle(), u"Tarn - Quillow :  Popup page"_s);
        QCOMPARE(popup->windowTitle(), u"Tarn - Quillow :  "_s);
        QCOMPARE(addressBox(popup)->currentText(), u"http://popup.test/"_s);
        w->close();
        QTRY_VERIFY(!h->windows().primary());
        emit popupPage->titleChanged(u"Later"_s);
        QCOMPARE(mains().size(), 1);
    }

    void knownPopupsCloseAndTheAdServerIsRefused() {
        QVERIFY(page->requestNavigation(u"http://example.org/"_s));
        QVERIFY(!page->requestNavigation(u"http://x.test/f?src="_s +
                                         blocklist::kAdServerFragment.toUpper()));
        QPointer<MainWindow> primary(w);
        const QString known = blocklist::kKnownPopupAddresses.at(1);
        emit page->navigationCompleted(known + u'/');
        QVERIFY(primary);
        emit page->navigationCompleted(known);
        QTRY_VERIFY(!primary);
    }

    void blockingRefusesAndCounts() {
        click(w, u"buttons(10)"_s);
        QCOMPARE(button(10)->text(), u"Allow Popups"_s);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(page->requestNewWindow(true), nullptr);
        QCOMPARE(statusBar(w)->popupCount(), u"3 Popups"_s);
        QCOMPARE(statusBar(w)->message(), u"Popup Blocked"_s);
        QCOMPARE(h->beeps, 3);
        QCOMPARE(mains().size(), 1);
        click(w, u"buttons(10)"_s);
        QCOMPARE(button(10)->text(), u"Block Popups"_s);
        QCOMPARE(statusBar(w)->popupCount(), u"3 Popups"_s);
        // The count goes on past 16 bits instead of wrapping.
        click(w, u"buttons(10)"_s);
        for (int i = 3; i < 32768; ++i)
            page->requestNewWindow();
        QCOMPARE(statusBar(w)->popupCount(), u"32768 Popups"_s);
    }

    // With blocking off, three windows no click asked for open, each a full
    // main window whose page keeps its dialogs to itself; beyond them, in
    // all windows together, they are refused and counted. Clicks open theirs.
    void windowsWithoutAClickAreLimited() {
        for (int i = 0; i < 3; ++i)
            QVERIFY(page->requestNewWindow());
        MainWindow *popup = mains().last();
        QVERIFY(popup->isVisible() && popup->browser()->isSilent() && !page->isSilent());
        QCOMPARE(statusBar(popup)->popupCount(), u"0 Popups"_s);
        QCOMPARE(page->requestNewWindow(), nullptr);
        QCOMPARE(statusBar(w)->popupCount(), u"1 Popups"_s);
        QCOMPARE(h->browsers.last()->requestNewWindow(), nullptr);
        QVERIFY(page->requestNewWindow(true));
        QCOMPARE(mains().size(), 5);
    }

    // Asked once at a time in the whole program: meanwhile another
    // window's failure gets No without a question. Yes leaves the page.
    void failedNavigationAsks() {
        h->questions.yesNo = {false};
        emit page->navigationFailed(u"http://127.0.0.1:9/"_s, -102);
        QCOMPARE(asked(), QStringList{u"yesno:http://127.0.0.1:9/"_s});
        QVERIFY(h->questions.asked[0].yesIsDefault);
        QCOMPARE(page->calls.last(), u"abandonFailedNavigation"_s);
        QCOMPARE(statusBar(w)->pageStatus(), u"-102"_s);
        auto *popupPage = qobject_cast<FakeBrowser *>(page->requestNewWindow());
        h->questions.whileAsking = [popupPage] {
            emit popupPage->navigationFailed(u"http://b.test/"_s, -105);
        };
        const int calls = page->calls.size();
        emit page->navigationFailed(u"http://a.test/"_s, 404);
        QCOMPARE(page->calls.size(), calls);
        QCOMPARE(popupPage->calls.last(), u"abandonFailedNavigation"_s);
        QCOMPARE(h->questions.asked.size(), 2);
    }

    void closeRequestAndFullScreen() {
        emit page->fullScreenRequested(false);
        QVERIFY(addressBox(w)->isVisible());
        emit page->fullScreenRequested(true);
        emit page->fullScreenRequested(false);
        QVERIFY(addressBox(w)->isHidden() && child(w, u"Frame1"_s)->isHidden());
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
        QVERIFY(h->questions.asked.last().offerStop && !h->questions.asked[1].offerStop);
        QCOMPARE(h->questions.asked.first().title, u"http://a.test says"_s);
        emit page->navigationCompleted(u"http://b.test/"_s);
        raise(Kind::Alert);
        QCOMPARE(h->questions.asked.size(), 4);
    }

    // Each answer holds for its site and feature, in every window; a
    // certificate's Yes for its host. Unanswered, both are No.
    void permissionsAndCertificatesRemembered() {
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
        QVERIFY(!permit(popup, Feature::Microphone));
        QCOMPARE(h->questions.asked.size(), 3);

        auto certificate = [this](const QString &host, bool overridable, bool whole = true) {
            CertificateErrorRequest r(u"https://x/"_s, host, CertificateProblem::Revoked,
                                      overridable, whole);
            emit page->certificateErrorOccurred(r);
            return r;
        };
        QVERIFY(!certificate(u"b.test"_s, true).proceeds());
        h->questions.yesNo = {true};
        QVERIFY(certificate(u"b.test"_s, true).proceeds());
        QVERIFY(certificate(u"b.test"_s, true).proceeds());
        // Not to be overridden, or a part of the page: nothing asked.
        QVERIFY(!certificate(u"c.test"_s, false).noticeText().isEmpty());
        QVERIFY(!certificate(u"c.test"_s, true, false).proceeds());
        QCOMPARE(h->questions.asked.size(), 5);
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

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
