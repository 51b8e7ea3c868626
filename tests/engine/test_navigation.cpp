// Going to addresses on the real engine, against pages served on
// 127.0.0.1: history, the ad-server guard, failed loads, the window's keys
// from the page, local files, a crashed page, full screen, downloads and
// the windows pages open.

#include <sys/types.h>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <csignal>

#include "browser/download_controller.h"
#include "engine_support.h"
#include "harness.h"
#include "http_server.h"
#include "main_window/block_list.h"

using namespace quillow;
using namespace quillow::test;

class EngineNavigationTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    HttpServer server;
    MainWindow *w = nullptr;

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
        server.route(u"/popup.html"_s, "<html><head><title>Popup</title></head></html>");
        server.route(u"/storm.html"_s,
                     "<html><body><script>for (var i = 0; i < 20; ++i) "
                     "window.open('/popup.html?' + i);</script>storm</body></html>");
        server.route(
            u"/fullscreen.html"_s,
            "<html><body style='margin:0'><div style='width:500px;height:400px' "
            "onclick='document.documentElement.requestFullscreen()'>go</div></body></html>");
    }
    void init() {
        h = std::make_unique<Harness>();
        w = startOnEngine(*h, QUrl(server.url(u"/two.html"_s)));
        QVERIFY(w);
    }
    void cleanup() { h.reset(); }

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
    }

    void adServerNavigationIsRefused() {
        goAndWait(u"/one.html"_s);
        QSignalSpy finished(viewOf(w)->page(), &QWebEnginePage::loadFinished);
        typeAddress(w, server.url(u"/x/"_s + blocklist::kAdServerFragment.toUpper()));
        // The page before may still report its own end a moment later.
        QTRY_VERIFY_WITH_TIMEOUT(finished.contains(QVariantList{false}), kPageWait);
        QCOMPARE(location(w), server.url(u"/one.html"_s));
        for (const QString &r : server.requests)
            QVERIFY2(!r.toLower().contains(blocklist::kAdServerFragment), qPrintable(r));
    }

    // No takes the engine's own error page away: back to the page before.
    // A page the server sent stays as it came.
    void failedLoadAskedAndNoLeavesNoErrorPage() {
        goAndWait(u"/one.html"_s);
        h->questions.yesNo = {false, false};
        const QString dead = u"http://127.0.0.1:%1/"_s.arg(closedPort());
        typeAddress(w, dead);
        QTRY_COMPARE_WITH_TIMEOUT(h->questions.asked.size(), 1, kPageWait);
        QCOMPARE(h->questions.asked.first().title, dead);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(u"/one.html"_s), kPageWait);
        typeAddress(w, server.url(u"/missing.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(h->questions.asked.size(), 2, kPageWait);
        QCOMPARE(statusBar(w)->pageStatus(), u"404"_s);
        QString shown;
        viewOf(w)->page()->toPlainText([&shown](const QString &text) { shown = text; });
        QTRY_COMPARE_WITH_TIMEOUT(shown, u"not found"_s, kPageWait);
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

    // The page's view leaves the window's keys to the window.
    void keysFromThePage() {
        goAndWait(u"/one.html"_s);
        goAndWait(u"/two.html"_s);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QWidget *page = viewOf(w)->focusProxy();
        QTRY_COMPARE(QApplication::focusWidget(), page);
        QTest::keyClick(page, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(viewOf(w)->zoomFactor(), 1.1);
        QTest::keyClick(page, Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(u"/one.html"_s), kPageWait);
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

    void crashedPageLeavesTheWindowAliveAndFullScreenHides() {
        goAndWait(u"/one.html"_s);
        const qint64 pid = viewOf(w)->page()->renderProcessPid();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(statusBar(w)->pageStatus().contains(u"stopped working"_s),
                                 kPageWait);
        click(w, u"buttons(4)"_s);
        QTRY_VERIFY_WITH_TIMEOUT(viewOf(w)->page()->renderProcessPid() != pid, kPageWait);
        goAndWait(u"/fullscreen.html"_s);
        QVERIFY(clickInPage(w, QPoint(40, 40), [this] { return addressBox(w)->isHidden(); }));
        QVERIFY(child(w, u"Frame1"_s)->isHidden());
    }

    // Saved where the user says, or cancelled, and told in the status bar.
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
    }
};

QUILLOW_ENGINE_TEST_MAIN(EngineNavigationTest)
#include "test_navigation.moc"
