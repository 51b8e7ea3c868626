// Pages on the real engine, served on 127.0.0.1: history, failed loads, local
// files, full screen, downloads, find, print, the page's menu, the windows
// pages open, and what they ask: sign-in and dialogs in a loop.

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPushButton>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "browser/download_controller.h"
#include "engine_support.h"
#include "harness.h"
#include "html_window/html_window.h"
#include "http_server.h"
#include "inet/network_transfer.h"
#include "questions/desktop_questions.h"

using namespace quillow;
using namespace quillow::test;

namespace {

QDialog *openPageDialog() {
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == u"pagedialog"_s && top->isVisible())
            return static_cast<QDialog *>(top);
    return nullptr;
}

}  // namespace

class EnginePagesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    HttpServer server;
    DesktopQuestions desktopQuestions;
    MainWindow *w = nullptr;

    QString title() const { return w->windowTitle().mid(MainWindow::kCaption.size()); }
    // What a script in the page says, once it has answered.
    QVariant pageSays(const QString &script) {
        auto answer = std::make_shared<QVariant>();
        viewOf(w)->page()->runJavaScript(script, [answer](const QVariant &v) { *answer = v; });
        static_cast<void>(QTest::qWaitFor([answer] { return answer->isValid(); }, kPageWait));
        return *answer;
    }

    // The address changes before the load ends: a navigation started before
    // its end would be taken into the running load.
    void goAndWait(const QString &path) {
        typeAddress(w, server.url(path));
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(path), kPageWait);
        QTRY_VERIFY_WITH_TIMEOUT(!viewOf(w)->page()->isLoading(), kPageWait);
    }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        for (const char *name : {"one", "two"})
            server.route(u"/%1.html"_s.arg(QLatin1String(name)),
                         "<html><head><title>" + QByteArray(name) + "</title></head></html>");
        server.route(u"/elsewhere.html"_s,
                     "<html><body style='margin:0'><a href='ssh://evil.test/clicked' "
                     "style='display:block;width:400px;height:300px'>ssh</a></body></html>");
        server.route(
            u"/find.html"_s,
            "<html><body style='margin:0'><a href='/one.html' style='display:block;"
            "height:100px'>link</a><p>Apple pie marker: " +
                QByteArray("apple ").repeated(11) +
                "</p><div style='height:2000px'></div><p id='last'>zebra</p></body></html>");
        server.route(u"/popup.html"_s, "<html><head><title>Popup</title></head></html>");
        server.route(u"/storm.html"_s,
                     "<html><body><script>for (var i = 0; i < 20; ++i) "
                     "window.open('/popup.html?' + i);</script>storm</body></html>");
        server.route(
            u"/fullscreen.html"_s,
            "<html><body style='margin:0'><div style='width:500px;height:400px' "
            "onclick='document.documentElement.requestFullscreen()'>go</div></body></html>");
        HttpServer::Response inside;
        inside.body = "<html><head><title>inside</title></head><body>in</body></html>";
        inside.authorization = "Basic " + QByteArray("ann:secret").toBase64();
        server.route(u"/private.html"_s, inside);
        server.route(u"/three.html"_s,
                     "<html><body><script>for (var i = 0; i < 8; ++i) alert(i);"
                     "document.title = 'through';</script></body></html>");
        server.route(u"/trap.html"_s,
                     "<html><body><script>while (true) alert('again');"
                     "</script></body></html>");
    }
    void init() {
        h = std::make_unique<Harness>();
        // The page's own dialogs are answered on the desktop's dialogs.
        const bool realDialogs = QByteArray(QTest::currentTestFunction()).contains("Dialog");
        w = startOnEngine(*h, QUrl(server.url(u"/two.html"_s)), [this, realDialogs](Context &c) {
            if (realDialogs)
                c.questions = &desktopQuestions;
            c.transferFactory = [](QObject *p) -> InternetTransfer * {
                return new NetworkTransfer(p);
            };
        });
        QVERIFY(w);
    }
    // Find from the keys: counts, next and previous, Escape back to the
    // page. Printed to a PDF file from the print dialog, the text stays.
    void findInPageAndPrintToPdf() {
        goAndWait(u"/find.html"_s);
        QTest::keyClick(addressBox(w), Qt::Key_F, Qt::ControlModifier);
        auto *text = child<QLineEdit>(w, u"findtext"_s);
        auto *result = child<QLabel>(w, u"findresult"_s);
        QVERIFY(text->hasFocus());
        // The page makes room for the bar: its last line shows above it.
        QVERIFY(viewOf(w)->geometry().bottom() < text->parentWidget()->geometry().top());
        QTRY_VERIFY_WITH_TIMEOUT(pageSays(u"innerHeight"_s) == viewOf(w)->height(), kPageWait);
        QTest::keyClicks(text, u"zebra"_s);
        QTRY_COMPARE_WITH_TIMEOUT(result->text(), u"1 of 1"_s, kPageWait);
        QTRY_VERIFY_WITH_TIMEOUT(
            pageSays(u"last.getBoundingClientRect().bottom <= innerHeight"_s).toBool(), kPageWait);
        // Only the answer to the last of searches typed in a row is shown.
        text->clear();
        QSignalSpy answers(w->browser(), &Browser::findFinished);
        QTest::keyClicks(text, u"apple"_s);
        QTRY_COMPARE_WITH_TIMEOUT(result->text(), u"1 of 12"_s, kPageWait);
        for (const QList<QVariant> &answer : answers)
            QCOMPARE(answer.at(1).toInt(), 12);
        for (const auto &[key, shown] : {std::pair(QKeyCombination(Qt::Key_Return), "2 of 12"),
                                         {Qt::SHIFT | Qt::Key_Return, "1 of 12"},
                                         {Qt::SHIFT | Qt::Key_F3, "12 of 12"},
                                         {QKeyCombination(Qt::Key_F3), "1 of 12"}}) {
            QTest::keyClick(text, key.key(), key.keyboardModifiers());
            QTRY_COMPARE_WITH_TIMEOUT(result->text(), QString::fromLatin1(shown), kPageWait);
        }
        QTest::keyClicks(text, u"zz"_s);
        QTRY_COMPARE_WITH_TIMEOUT(result->text(), u"Not found"_s, kPageWait);
        QTest::keyClick(text, Qt::Key_Escape);
        QVERIFY(!text->isVisible() && viewOf(w)->focusProxy()->hasFocus());
        // The bar opened again looks anew; another page clears its count.
        QTest::keyClick(viewOf(w)->focusProxy(), Qt::Key_F3);
        QTRY_COMPARE_WITH_TIMEOUT(result->text(), u"Not found"_s, kPageWait);
        QVERIFY(clickInPage(w, {40, 40}, [this] { return location(w).endsWith(u"/one.html"_s); }));
        QTRY_COMPARE_WITH_TIMEOUT(result->text(), QString(), kPageWait);
        goAndWait(u"/find.html"_s);

        QSignalSpy printed(w->browser(), &Browser::printFinished);
        QTest::keyClick(addressBox(w), Qt::Key_P, Qt::ControlModifier);
        auto *dialog = w->findChild<QPrintDialog *>();
        auto *file = child<QLineEdit>(dialog, u"filename"_s);
        file->selectAll();
        QTest::keyClicks(file, h->filePath(u"page.pdf"_s));
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(printed.count(), 1, kPageWait);
        QVERIFY(printed.first().first().toBool());
        QProcess pdfText;
        pdfText.start(u"pdftotext"_s, {h->filePath(u"page.pdf"_s), u"-"_s});
        QVERIFY2(pdfText.waitForFinished(), "pdftotext (poppler-utils) is needed");
        QVERIFY(pdfText.readAllStandardOutput().contains("Apple pie marker"));
    }

    // The page's menu has no engine tools, and carries the user's own
    // commands past the popup switch.
    void pageMenuOpensWhatTheUserAsksFor() {
        w->runCommand(Command::PopupBlocking);
        goAndWait(u"/find.html"_s);
        // Opens the menu at a place in the page, checks its entries and
        // clicks the one named.
        const auto choose = [this](QPoint at, const QString &entries, const QString &entry) {
            QMenu *menu = nullptr;
            QVERIFY(clickInPage(
                w, at,
                [&] { return menu = qobject_cast<QMenu *>(QApplication::activePopupWidget()); },
                Qt::RightButton));
            QStringList texts;
            for (const QAction *a : menu->actions())
                texts.append(a->isSeparator() ? u"|"_s : a->text());
            QCOMPARE(texts.join(u','), entries);
            const QRect place = menu->actionGeometry(menu->actions().at(texts.indexOf(entry)));
            QTest::mouseClick(menu, Qt::LeftButton, {}, place.center());
        };
        choose({40, 40},
               u"Back,Forward,Reload,|,Save Page,|,Open Link in New Window,|,Save Link,"
               u"Copy Link Address"_s,
               u"Open Link in New Window"_s);
        QTRY_COMPARE_WITH_TIMEOUT(h->windows().mainWindows().size(), 2, kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(location(h->windows().mainWindows().last()),
                                  server.url(u"/one.html"_s), kPageWait);
        QVERIFY(h->windows().mainWindows().last()->pos() != w->pos());  // not over its origin
        QCOMPARE(statusBar(w)->popupCount(), u"0 Popups"_s);
        choose({40, 300}, u"Back,Forward,Reload,|,Save Page,|,View Page Source"_s,
               u"View Page Source"_s);
        auto *html = h->windows().find<HtmlWindow>();
        QVERIFY(html);
        QCOMPARE(child<QLineEdit>(html, u"wsite"_s)->text(), server.url(u"/find.html"_s));
        QTRY_VERIFY_WITH_TIMEOUT(
            child<QPlainTextEdit>(html, u"hcontents"_s)->toPlainText().contains(u"Apple pie"_s),
            kPageWait);
    }

    void cleanup() {
        robot.stop();
        robot.disconnect();
        h.reset();
    }

    void typedAddressLoadsAndHistoryFollows() {
        QCOMPARE(w->browser()->goBack(), BrowserResult::NoPageThere);
        goAndWait(u"/one.html"_s);
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), u"Tarn - Quillow :  one"_s, kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->message(), u"Site Loaded."_s, kPageWait);
        w->runCommand(Command::Home);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(u"/two.html"_s), kPageWait);
        w->runCommand(Command::Back);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(u"/one.html"_s), kPageWait);
        QVERIFY(addressBox(w)->findText(server.url(u"/one.html"_s)) >= 0);
        // Gone elsewhere by a link, the address typed again goes there again.
        const QString typed = server.url(u"/find.html"_s).mid(7);  // without http://
        typeAddress(w, typed);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(u"/find.html"_s), kPageWait);
        QVERIFY(clickInPage(w, {40, 40}, [this] { return location(w).endsWith(u"/one.html"_s); }));
        typeAddress(w, typed);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(u"/find.html"_s), kPageWait);
    }

    // No takes the engine's own error page away: back to the page before.
    // A page the server sent stays as it came.
    void failedLoadAskedAndNoLeavesNoErrorPage() {
        goAndWait(u"/one.html"_s);
        h->questions.yesNo = {false, false};
        const QString dead = u"http://127.0.0.1:%1/"_s.arg(closedPort());
        // The engine's page about the failure is no loaded page.
        statusBar(w)->setMessage(QString());
        QString said;
        h->questions.whileAsking = [&] { said = statusBar(w)->message(); };
        typeAddress(w, dead);
        QTRY_COMPARE_WITH_TIMEOUT(h->questions.asked.size(), 1, kPageWait);
        QVERIFY(said.isEmpty() && addressBox(w)->findText(dead) < 0);
        QCOMPARE(h->questions.asked.first().title, dead);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(u"/one.html"_s), kPageWait);
        typeAddress(w, server.url(u"/missing.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(h->questions.asked.size(), 2, kPageWait);
        QCOMPARE(statusBar(w)->pageStatus(), u"404"_s);
        QString shown;
        viewOf(w)->page()->toPlainText([&shown](const QString &text) { shown = text; });
        QTRY_COMPARE_WITH_TIMEOUT(shown, u"not found"_s, kPageWait);
    }

    // What a script asks for by itself is refused without a question,
    // however often: the user sees it in the status bar only.
    void scriptsCannotAskForOtherPrograms() {
        server.route(u"/loop.html"_s,
                     "<html><body><script>var i = 0; setInterval(function () "
                     "{ location = 'ssh://loop' + i++ + '.test/'; }, 50);"
                     "</script></body></html>");
        goAndWait(u"/loop.html"_s);
        // Seen at its third try or later: the status shows the latest.
        const QRegularExpression third(u"ssh://loop([3-9]|[1-9][0-9]+)\\.test"_s);
        QTRY_VERIFY_WITH_TIMEOUT(statusBar(w)->pageStatus().contains(third), kPageWait);
        QVERIFY(h->questions.asked.isEmpty() && h->openedElsewhere.isEmpty());
        QCOMPARE(statusBar(w)->popupCount(), u"0 Popups"_s);
    }

    void linkToAnotherProgramAsksFirst() {
        goAndWait(u"/elsewhere.html"_s);
        h->questions.yesNo = {false, true};
        QVERIFY(clickInPage(w, QPoint(50, 50), [this] { return !h->questions.asked.isEmpty(); }));
        QVERIFY(h->questions.asked[0].text.contains(u"ssh://evil.test/clicked"_s));
        QVERIFY(h->openedElsewhere.isEmpty());
        QVERIFY(clickInPage(w, QPoint(50, 50), [this] { return !h->openedElsewhere.isEmpty(); }));
        QCOMPARE(location(w), server.url(u"/elsewhere.html"_s));
    }

    // Popups allowed, a storm of script windows opens three main windows,
    // each showing its page without dialogs, and counts the rest.
    void scriptWindowsOpenAFewAndCountTheRest() {
        typeAddress(w, server.url(u"/storm.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->popupCount(), u"17 Popups"_s, kPageWait);
        const QList<MainWindow *> windows = h->windows().mainWindows();
        QCOMPARE(windows.size(), 4);
        QTRY_VERIFY_WITH_TIMEOUT(location(windows.last()).contains(u"/popup.html?"_s), kPageWait);
        QVERIFY(windows.last()->isVisible() && windows.last()->browser()->isSilent());
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), u"Tarn - Quillow :  Popup"_s, kPageWait);
    }

    void localPagesCannotReadLocalFiles() {
        h->writeFile(u"secret.txt"_s, "secret");
        h->writeFile(u"temp.htm"_s,
                     "<html><head><script>var t = 'blocked';"
                     "try { var x = new XMLHttpRequest(); x.open('GET', 'secret.txt', false);"
                     " x.send(); t = 'read:' + x.responseText; } catch (e) {}"
                     "document.title = t;</script></head><body>local</body></html>");
        typeAddress(w, h->filePath(u"temp.htm"_s));
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), u"Tarn - Quillow :  blocked"_s, kPageWait);
    }

    // Full screen hides the navigation controls.
    void fullScreenHidesTheNavigationControls() {
        goAndWait(u"/fullscreen.html"_s);
        QVERIFY(clickInPage(w, QPoint(40, 40), [this] { return addressBox(w)->isHidden(); }));
        QVERIFY(child(w, u"Frame1"_s)->isHidden());
    }

    void downloadsSavedOrCancelled() {
        HttpServer::Response file;
        file.contentType = "application/octet-stream";
        file.body = QByteArray(300 * 1024, 'q');
        server.route(u"/data.bin"_s, file);
        QStringList asked;  // the file names the question was asked for
        QString saveAs;     // the answer: a name in the test's directory, or cancel
        DownloadController downloads(QWebEngineProfile::defaultProfile(),
                                     [&](QWidget *, const QString &fileName) {
                                         asked.append(fileName);
                                         return saveAs.isEmpty() ? QString() : h->filePath(saveAs);
                                     });
        saveAs = u"saved.bin"_s;
        typeAddress(w, server.url(u"/data.bin"_s));
        QTRY_VERIFY_WITH_TIMEOUT(statusBar(w)->pageStatus().startsWith(u"Download complete: "_s),
                                 kPageWait);
        QCOMPARE(readFile(h->filePath(saveAs)), file.body);
        saveAs.clear();
        typeAddress(w, server.url(u"/data.bin?again"_s));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->pageStatus(), u"Download cancelled: data.bin"_s,
                                  kPageWait);
        QCOMPARE(asked, QStringList(2, u"data.bin"_s));
        // Names that would fool the user or a terminal are made safe.
        file.headers =
            "Content-Disposition: attachment; filename*=UTF-8''a%01b%1B%0Ac%E2%80%AEd\r\n";
        server.route(u"/named"_s, file);
        typeAddress(w, server.url(u"/named"_s));
        QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 3, kPageWait);
        QCOMPARE(asked.last(), u"a_b__c_d"_s);
    }

    void cancelShowsTheRefusalAndTheRightPasswordSignsIn() {
        typeAddress(w, server.url(u"/private.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"refused"_s, kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->pageStatus(), u"Done"_s, kPageWait);
        QCoreApplication::sendPostedEvents();
        // No question about a failed page after the user's own Cancel.
        QCOMPARE(h->questions.asked.size(), 1);
        QVERIFY(h->questions.asked.first().text.contains(u"\"Test Realm\""_s));

        h->questions.signIns = {{u"ann"_s, u"secret"_s}};
        typeAddress(w, server.url(u"/private.html?again"_s));
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"inside"_s, kPageWait);
        QVERIFY(server.heads.last().contains("\r\nAuthorization: Basic YW5uOnNlY3JldA=="));
    }

    // The dialogs' local event loop runs inside the engine's call, below
    // which this test waits: act on each dialog from a timer, as the user
    // would from the desktop.
    void thirdDialogOffersToStopThem() {
        QList<bool> offers;
        onEachDialog([&](QDialog *d) {
            auto *stop = d->findChild<QCheckBox *>();
            offers.append(stop);
            if (stop)
                QTest::mouseClick(stop, Qt::LeftButton, {}, QPoint(5, stop->height() / 2));
            QTest::mouseClick(d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        });
        typeAddress(w, server.url(u"/three.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"through"_s, kPageWait);
        QCOMPARE(offers, QList<bool>({false, false, true}));
    }

    void closingTheWindowEndsAnEndlessDialogLoop() {
        QPointer<MainWindow> window(w);
        bool blocked = false;
        onEachDialog([&](QDialog *) {
            // As the close box does: Qt drops it for a window a modal one blocks.
            blocked = QGuiApplication::modalWindow();
            QCloseEvent close;
            QCoreApplication::sendEvent(window->windowHandle(), &close);
        });
        typeAddress(w, server.url(u"/trap.html"_s));
        QSignalSpy last(&h->program(), &Program::lastWindowClosed);
        QTRY_VERIFY_WITH_TIMEOUT(!window, kPageWait);
        QVERIFY(!blocked && !openPageDialog() && last.count() == 1);
    }

private:
    QTimer robot;
    QPointer<QDialog> handled;
    void onEachDialog(const std::function<void(QDialog *)> &act) {
        connect(&robot, &QTimer::timeout, this, [this, act] {
            QDialog *d = openPageDialog();
            if (d && d != handled)
                act(handled = d);
        });
        robot.start(20);
    }
};

QUILLOW_ENGINE_TEST_MAIN(EnginePagesTest)
#include "test_pages.moc"
