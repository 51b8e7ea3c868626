// The main window on a scripted page: addresses, layout, commands, keys, and
// its reactions to the page, the popup blocker and the page's questions.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QProgressBar>
#include <QPushButton>

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
    QList<FakeQuestions::Asked> &asked() { return h->questions.asked; }
    QString lastAsked() { return asked().isEmpty() ? QString() : asked().last().title; }

private slots:
    void init() {
        h = std::make_unique<Primary>();
        w = h->primary;
        page = h->page;
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup() { h.reset(); }

    void enterGoesToTheTypedAddress() {
        // Typing at once replaces the blank page's address, which arrives
        // before the window is active, and again while the user types.
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        emit page->titleChanged(QString());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        emit page->navigationCompleted(u"about:blank"_s);
        QTest::keyClicks(addressBox(w), u"  a.test  "_s);
        emit page->titleChanged(QString());
        QTest::keyClick(addressBox(w), Qt::Key_Return);
        QCOMPARE(navigations().last(), u"navigate:a.test"_s);
        QVERIFY(button(1)->isEnabled());
        QCOMPARE(page->calls.last(), u"giveFocus"_s);
        // The same text again is passed over, with any modifier on Enter.
        addressBox(w)->setFocus();
        QTest::keyClick(addressBox(w), Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier);
        QCOMPARE(navigations().size(), 2);
        // So it is until its load ends (the engine may tell no start), then
        // from elsewhere it goes there again.
        page->shown = u"http://elsewhere.test/"_s;
        for (int ends = 0; ends < 2; ++ends) {
            QTest::keyClick(addressBox(w), Qt::Key_Return);
            QCOMPARE(navigations().size(), 2 + ends);
            emit page->loadingChanged(false);
        }
        // An empty box is refused once, then passed over; the box keeps the
        // focus, so typing goes on there.
        typeAddress(w, QString());
        typeAddress(w, QString());
        QCOMPARE(asked().size(), 1);
        QCOMPARE(lastAsked(), u"INVALID ADDRESS"_s);
        QTest::keyClicks(addressBox(w), u"b.test"_s);
        QTest::keyClick(addressBox(w), Qt::Key_Return);
        QCOMPARE(navigations().last(), u"navigate:b.test"_s);
        // From the page, the first click into the box selects the address;
        // a second one places the caret.
        page->giveFocus();
        QLineEdit *line = addressBox(w)->lineEdit();
        QTest::mouseClick(line, Qt::LeftButton);
        QTRY_COMPARE(line->selectedText(), u"b.test"_s);
        QTest::mouseClick(line, Qt::LeftButton);
        QVERIFY(!line->hasSelectedText());
    }

    // Typed or clicked on a page, another program's address opens only
    // after a yes; unanswered, the question says No. A page that cannot
    // take the focus is no error; any other failure is reported.
    void otherProgramsAndFailures() {
        typeAddress(w, u"mailto:someone@example.org"_s);
        h->questions.yesNo = {true};
        typeAddress(w, u"ssh://host.test/x"_s);
        emit page->externalAddressRequested(u"ssh://evil.test/clicked"_s);
        QCOMPARE(h->openedElsewhere, QList<QUrl>{QUrl(u"ssh://host.test/x"_s)});
        QCOMPARE(asked().size(), 3);
        QVERIFY(!asked()[0].yesIsDefault && asked()[0].text.contains(u"someone@example.org"_s));
        QVERIFY(asked()[2].text.contains(u"ssh://evil.test/clicked"_s));
        // A page that keeps asking is offered the stop on its third question.
        h->questions.stopAsking = true;
        for (int i = 0; i < 3; ++i)
            emit page->externalAddressRequested(u"ssh://again.test/"_s);
        QCOMPARE(asked().size(), 5);
        QVERIFY(asked()[4].offerStop && !asked()[3].offerStop);

        page->widget()->hide();
        typeAddress(w, u"a.test"_s);
        QCOMPARE(asked().size(), 5);
        button(1)->setEnabled(false);
        page->failures.insert(u"navigate"_s, BrowserResult::NoPageThere);
        typeAddress(w, u"b.test"_s);
        QCOMPARE(lastAsked(), u"Internal Error!"_s);
        QVERIFY(asked().last().text.startsWith(u"Error #-2147467259 "_s));
        QCOMPARE(w->lastAddress(), u"b.test"_s);
        QVERIFY(!button(1)->isEnabled());
    }

    void theAddressListKeepsTheNewestAndOnlyPicksGo() {
        for (int i = 0; i < AddressBox::kHistoryLimit + 10; ++i)
            emit page->navigationCompleted(u"http://a.test/%1"_s.arg(i));
        QComboBox *box = addressBox(w);
        QCOMPARE(box->count(), AddressBox::kHistoryLimit);
        QCOMPARE(box->itemText(0), u"http://a.test/10"_s);
        QCOMPARE(statusBar(w)->message(), u"Site Loaded."_s);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(box->view()->isVisible());
        const QRect first = box->view()->visualRect(box->model()->index(0, 0));
        QTest::mouseClick(box->view()->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(navigations().last(), u"navigate:http://a.test/10"_s);
        QCOMPARE(navigations().size(), 2);
        // Leaving the box with an entry's text picks nothing.
        box->lineEdit()->selectAll();
        QTest::keyClicks(box, u"http://a.test/12"_s);
        QTest::mouseClick(page->widget(), Qt::LeftButton);
        QTRY_VERIFY(!box->hasFocus());
        QCOMPARE(navigations().size(), 2);
    }

    // Too small a window snaps back with a beep; every layout but a
    // minimised one tests the connection, and so does a click on the label.
    void layoutAndConnectionTests() {
        w->resize(300, 500);
        QTRY_COMPARE(w->frameGeometry().size(), QSize(394, 222));
        QCOMPARE(h->beeps, 1);

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
        click(w, u"onoff"_s);
        QVERIFY(transfer->running);
    }

    void commandsFromTheMenus() {
        // No earlier page: no message, Forward stays off, the focus moves.
        page->failures.insert(u"goBack"_s, BrowserResult::NoPageThere);
        w->runCommand(Command::Back);
        QVERIFY(!button(2)->isEnabled());
        page->failures.clear();
        chooseMenuItem(w, u"navig(0)"_s, u"navi"_s);
        QVERIFY(button(2)->isEnabled());
        const int before = page->calls.size();
        for (int i = 1; i <= 4; ++i)
            chooseMenuItem(w, u"navig(%1)"_s.arg(i), u"navi"_s);
        QCOMPARE(page->calls.mid(before),
                 QStringList({"goForward", "giveFocus", "refresh", "stop", "goHome"}));
        chooseMenuItem(w, u"navig(5)"_s, u"navi"_s);
        chooseMenuItem(w, u"toolsm(1)"_s, u"td"_s);
        chooseMenuItem(w, u"aboutf"_s);
        QTRY_VERIFY(h->windows().find<SearchDialog>() && h->windows().find<HtmlWindow>() &&
                    h->windows().find<AboutWindow>());
        QVERIFY(asked().isEmpty());
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
        // Escape stops only a load that runs.
        for (QKeyCombination key : {Qt::ALT | Qt::Key_Left, Qt::CTRL | Qt::Key_R,
                                    QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_Minus})
            press(key);
        emit page->loadingChanged(true);
        press(QKeyCombination(Qt::Key_Escape));
        QCOMPARE(page->calls.mid(before), QStringList({"goBack", "giveFocus", "refresh", "stop"}));
        QCOMPARE(page->zoom, 0.9);
        addressBox(w)->setEditText(u"typed"_s);
        press(QKeyCombination(Qt::Key_F6));
        QCOMPARE(addressBox(w)->lineEdit()->selectedText(), u"typed"_s);
        page->shown = u"http://added.test/"_s;
        press(Qt::CTRL | Qt::Key_D);
        QCOMPARE(readFile(h->filePath(u"favorites.dat"_s)), QByteArray("http://added.test/\r\n"));
        QCOMPARE(h->browsers.at(1)->calls, QStringList({"navigate:about:blank"}));
        QPointer<MainWindow> first(w);
        QSignalSpy last(&h->program(), &Program::lastWindowClosed);
        press(Qt::CTRL | Qt::Key_W);
        QTRY_VERIFY(!first);
        QCOMPARE(mains(), QList<MainWindow *>{other});
        QCOMPARE(last.count(), 0);
    }

    void statusProgressAndTitle() {
        emit page->statusTextChanged(u"http://a.test/link"_s);
        QVERIFY(button(1)->isEnabled());
        // Past its maximum the progress goes to the box's address.
        addressBox(w)->setEditText(u"next.test"_s);
        emit page->progressChanged(5, 3);
        QCOMPARE(child<QProgressBar>(w, u"pageload"_s)->maximum(), 4);
        QCOMPARE(navigations().last(), u"navigate:next.test"_s);
        // A popup's title shows on the primary window; with that one gone,
        // nothing is made to show it.
        auto *popupPage = qobject_cast<FakeBrowser *>(page->requestNewWindow());
        MainWindow *popup = mains().last();
        popupPage->shown = u"  http://popup.test/  "_s;
        emit popupPage->titleChanged(u"Popup page"_s);
        QCOMPARE(w->windowTitle(), u"Tarn - Quillow :  Popup page"_s);
        QCOMPARE(popup->windowTitle(), u"Tarn - Quillow :  "_s);
        QCOMPARE(addressBox(popup)->currentText(), u"http://popup.test/"_s);
    }

    // The blocker refuses and counts past 16 bits, beeping; known popup
    // addresses close their window; the ad server is refused.
    void blockingRefusesAndCounts() {
        QVERIFY(!page->requestNavigation(blocklist::kAdServerFragment));
        click(w, u"buttons(10)"_s);
        QCOMPARE(button(10)->text(), u"Allow Popups"_s);
        for (int i = 0; i < 32768; ++i)
            QCOMPARE(page->requestNewWindow(true), nullptr);
        QCOMPARE(statusBar(w)->popupCount(), u"32768 Popups"_s);
        QCOMPARE(statusBar(w)->message(), u"Popup Blocked"_s);
        QCOMPARE(h->beeps, 32768);
        QCOMPARE(mains().size(), 1);
        QPointer<MainWindow> primary(w);
        emit page->navigationCompleted(blocklist::kKnownPopupAddresses.at(1) + u'/');
        QVERIFY(primary);
        emit page->navigationCompleted(blocklist::kKnownPopupAddresses.at(1));
        QTRY_VERIFY(!primary);
    }

    // With blocking off, three windows no click asked for open, each a full
    // main window whose page keeps its dialogs to itself; beyond them, in
    // all windows together, they are refused and counted. Clicks open theirs.
    void windowsWithoutAClickAreLimited() {
        for (int i = 0; i < 3; ++i)
            QVERIFY(page->requestNewWindow());
        MainWindow *popup = mains().last();
        QVERIFY(popup->isVisible() && popup->browser()->isSilent() && !page->isSilent());
        QCOMPARE(page->requestNewWindow(), nullptr);
        QCOMPARE(statusBar(w)->popupCount(), u"1 Popups"_s);
        QCOMPARE(h->browsers.last()->requestNewWindow(), nullptr);
        QVERIFY(page->requestNewWindow(true));
        QCOMPARE(mains().size(), 5);
        emit popup->browser()->closeRequested();
        QTRY_COMPARE(mains().size(), 4);
    }

    // Asked once at a time in the whole program: meanwhile another
    // window's failure gets No without a question. Yes leaves the page.
    void failedNavigationAsks() {
        h->questions.yesNo = {false};
        emit page->navigationFailed(u"http://127.0.0.1:9/"_s, -102);
        QCOMPARE(lastAsked(), u"http://127.0.0.1:9/"_s);
        QVERIFY(asked()[0].yesIsDefault);
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
        QCOMPARE(asked().size(), 2);
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
        QCOMPARE(asked().size(), 3);
        QVERIFY(asked().last().offerStop && !asked()[1].offerStop);
        QCOMPARE(asked().first().title, u"http://a.test says"_s);
        emit page->navigationCompleted(u"http://b.test/"_s);
        raise(Kind::Alert);
        QCOMPARE(asked().size(), 4);
    }

    // Each answer holds for its site and feature, in every window; a
    // certificate's Yes for its host. Unanswered, both are No.
    void permissionsAndCertificatesRemembered() {
        using Feature = PermissionRequest::Feature;
        Browser *popup = page->requestNewWindow();
        h->questions.yesNo = {false, true};
        auto permit = [](Browser *b, Feature feature, const QString &site = u"http://a.test:81"_s) {
            PermissionRequest r(site + u'/', feature);
            emit b->permissionRequested(r);
            return r.isGranted();
        };
        QVERIFY(!permit(page, Feature::Location));
        QVERIFY(permit(page, Feature::Camera));
        QVERIFY(!permit(popup, Feature::Location) && permit(popup, Feature::Camera));
        // Another port or scheme is another site.
        QVERIFY(!permit(page, Feature::Camera, u"http://a.test:82"_s));
        QVERIFY(!permit(page, Feature::Camera, u"https://a.test:81"_s));
        QCOMPARE(asked().size(), 4);
        auto certificate = [this](const QString &host, bool overridable, bool whole = true,
                                  const QByteArray &cert = "X") {
            CertificateErrorRequest r(u"https://x/"_s, host, CertificateProblem::Revoked,
                                      overridable, whole, cert);
            emit page->certificateErrorOccurred(r);
            return r;
        };
        QVERIFY(!certificate(u"b.test"_s, true).proceeds());
        h->questions.yesNo = {true};
        QVERIFY(certificate(u"b.test"_s, true).proceeds());
        QVERIFY(certificate(u"b.test"_s, true).proceeds());
        // Another certificate of the host, not to be overridden, or a part
        // of the page: asked again, or refused without a question.
        QVERIFY(!certificate(u"b.test"_s, true, true, "Y").proceeds());
        QVERIFY(!certificate(u"c.test"_s, false).noticeText().isEmpty());
        QVERIFY(!certificate(u"c.test"_s, true, false).proceeds());
        QCOMPARE(asked().size(), 7);
    }

    // A page asking to be printed again and again gets one print dialog at
    // a time, and the third in a row offers to stop them: the user's own
    // Ctrl+P still prints. A print that fails is told.
    void pagePrintRequestsAndAFailedPrint() {
        page->shown = u"http://a.test/"_s;
        const auto dialogs = [this] { return w->findChildren<QPrintDialog *>(); };
        for (int cancelled = 0; cancelled < 3; ++cancelled) {
            emit page->printRequested();
            emit page->printRequested();
            QTRY_COMPARE(dialogs().size(), 1);
            auto *stop = child<QCheckBox>(dialogs().first(), u"stopdialogs"_s);
            QCOMPARE(bool(stop), cancelled == 2);
            if (stop)
                QTest::mouseClick(stop, Qt::LeftButton, {}, QPoint(5, stop->height() / 2));
            QTest::keyClick(dialogs().first(), Qt::Key_Escape);
            QTRY_VERIFY(dialogs().isEmpty());
        }
        emit page->printRequested();
        QVERIFY(dialogs().isEmpty());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(addressBox(w), Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(dialogs().size(), 1);
        emit page->printFinished(false);
        QCOMPARE(asked().last().text, u"The page could not be printed."_s);
    }

    void closingDuringAQuestionEndsItThenTheWindow() {
        QPointer<MainWindow> window(w);
        bool enabled = true;
        h->questions.signIns = {{u"ann"_s, u"pw"_s}};
        h->questions.whileAsking = [&] {
            enabled = w->centralWidget()->isEnabled() || w->menuBar()->isEnabled();
            QTest::keyClick(w, Qt::Key_W, Qt::ControlModifier);
        };
        QSignalSpy last(&h->program(), &Program::lastWindowClosed);
        AuthenticationRequest r(u"http://a.test/"_s, QString());
        emit page->authenticationRequired(r);
        QCOMPARE(last.count(), 1);  // the program ends, whatever is asked
        // Still there while the page's call returns; the sign-in cancelled.
        QVERIFY(window && window->isHidden() && !r.isAnswered() && !enabled);
        QCOMPARE(h->questions.ended, 1);
        PageDialogRequest later(PageDialogRequest::Kind::Alert, QString(), QString());
        emit page->pageDialogRequested(later);
        QCOMPARE(asked().size(), 1);
        QTRY_VERIFY(!window);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
