// Main windows on the real web engine, against pages served on 127.0.0.1:
// going to an address, history, popups, the guard, failed loads, quitting
// and full screen.

#include <sys/types.h>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <csignal>

#include "browser/web_engine_browser.h"
#include "engine_main.h"
#include "harness.h"
#include "http_server.h"
#include "main_window/mainf.h"
#include "main_window/status_bar.h"
#include "page_events/block_list.h"

using namespace quillow;
using namespace quillow::test;

class EngineWindowsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    HttpServer server;
    MainF *w = nullptr;
    QStringList asked;  // file names the save question was asked for
    QString saveAs;     // the answer: a name in the test's directory, or cancel

    void go(MainF *window, const QString &address) {
        window->addressbar()->setEditText(address);
        QTest::keyClick(window->addressbar(), Qt::Key_Return);
    }

    static QString location(MainF *window) { return window->browserwindow()->LocationURL(); }

    void clickInPage(MainF *window, QPoint at) {
        auto *view = static_cast<QWebEngineView *>(window->browserwindow()->widget());
        QWidget *target = view->focusProxy() ? view->focusProxy() : view;
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
    }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        const QByteArray open = "<html><body><script>window.open('" +
                                server.url(QStringLiteral("/popup.html")).toUtf8() +
                                "');</script>opener</body></html>";
        server.route(QStringLiteral("/opener.html"), open);
        server.route(QStringLiteral("/popup.html"),
                     "<html><head><title>Popup</title></head><body>popup</body></html>");
        server.route(QStringLiteral("/one.html"),
                     "<html><head><title>One</title></head><body>one</body></html>");
        server.route(QStringLiteral("/two.html"),
                     "<html><head><title>Two</title></head><body>two</body></html>");
        server.route(QStringLiteral("/blank-link.html"),
                     "<html><body style='margin:0'><a target='_blank' href='/popup.html' "
                     "style='display:block;width:400px;height:300px'>new</a></body></html>");
        server.route(QStringLiteral("/closer.html"),
                     "<html><body><script>setTimeout(function(){window.close();},50);"
                     "</script>closing</body></html>");
        server.route(QStringLiteral("/closer-opener.html"),
                     "<html><body><script>window.open('/closer.html');</script></body></html>");
        HttpServer::Response file;
        file.contentType = "application/octet-stream";
        file.body = QByteArray(300 * 1024, 'q');
        server.route(QStringLiteral("/data.bin"), file);
        server.route(QStringLiteral("/fullscreen.html"),
                     "<html><body style='margin:0'><div id='d' style='width:500px;height:400px' "
                     "onclick='document.documentElement.requestFullscreen()'>go</div>"
                     "</body></html>");
    }

    void init() {
        asked.clear();
        saveAs.clear();
        h = std::make_unique<Harness>();
        h->start([this](Context &c) {
            c.browserFactory = webEngineBrowserFactory(
                QWebEngineProfile::defaultProfile(), QUrl(server.url("/two.html")),
                [this](QWidget *, const QString &fileName) {
                    asked.append(fileName);
                    return saveAs.isEmpty() ? QString() : h->filePath(saveAs);
                });
        });
        w = h->windows().createPrimary();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTRY_COMPARE_WITH_TIMEOUT(location(w), QStringLiteral("about:blank"), 20000);
    }
    void cleanup() { h.reset(); }

    void typedAddressLoadsAndHistoryFollows() {
        // No earlier page: the component says so.
        QVERIFY(w->browserwindow()->GoBack().failed());
        w->command(1);
        QVERIFY(!w->button(2)->isEnabled());

        go(w, server.url("/one.html"));
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url("/one.html"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Tarn - Quillow :  One"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w->webstatus()->simpleText(), QStringLiteral("Site Loaded."),
                                  20000);
        QCOMPARE(w->addressbar()->currentText(), server.url("/one.html"));
        QVERIFY(w->button(1)->isEnabled());

        go(w, server.url("/two.html"));
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url("/two.html"), 20000);
        w->command(1);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url("/one.html"), 20000);
        QVERIFY(w->button(2)->isEnabled());
        w->command(2);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url("/two.html"), 20000);
        QVERIFY(w->addressbar()->findText(server.url("/one.html")) >= 0);
    }

    void blockedWindowOpenIsCounted() {
        w->command(10);
        go(w, server.url("/opener.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->webstatus()->panelText(2), QStringLiteral("1 Popups"), 20000);
        QCOMPARE(h->windows().mainWindows().size(), 1);
        QVERIFY(!server.requests.contains(QStringLiteral("/popup.html")));
    }

    void allowedWindowOpenGetsAMainWindow() {
        go(w, server.url("/opener.html"));
        QTRY_COMPARE_WITH_TIMEOUT(h->windows().mainWindows().size(), 2, 20000);
        MainF *popup = h->windows().mainWindows().last();
        QTRY_COMPARE_WITH_TIMEOUT(location(popup), server.url("/popup.html"), 20000);
        QVERIFY(popup->isVisible());
        QVERIFY(popup->browserwindow()->Silent());
        // The popup's title shows on the primary window.
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Tarn - Quillow :  Popup"),
                                  20000);
        QCOMPARE(w->webstatus()->panelText(2), QStringLiteral("0 Popups"));
    }

    void blankTargetLinkOpensAWindow() {
        go(w, server.url("/blank-link.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->webstatus()->simpleText(), QStringLiteral("Site Loaded."),
                                  20000);
        clickInPage(w, QPoint(50, 50));
        QTRY_COMPARE_WITH_TIMEOUT(h->windows().mainWindows().size(), 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(location(h->windows().mainWindows().last()),
                                  server.url("/popup.html"), 20000);
    }

    void popupThatClosesItselfGoesAlone() {
        go(w, server.url("/closer-opener.html"));
        QTRY_COMPARE_WITH_TIMEOUT(h->windows().mainWindows().size(), 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(h->windows().mainWindows().size(), 1, 20000);
        QCOMPARE(h->windows().mainWindows().first(), w);
        QVERIFY(w->isVisible());
    }

    void adServerNavigationIsCancelled() {
        const QString path = QStringLiteral("/x/") + blocklist::kAdServerFragment.toUpper() +
                             QStringLiteral("/ad.html");
        go(w, server.url(path));
        go(w, server.url("/one.html"));
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url("/one.html"), 20000);
        for (const QString &r : server.requests)
            QVERIFY2(!r.toLower().contains(blocklist::kAdServerFragment), qPrintable(r));
    }

    void failedLoadAsksAndNoStops() {
        h->messages.answers = {MessageBoxes::No};
        const QString dead = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort());
        go(w, dead);
        QTRY_COMPARE_WITH_TIMEOUT(h->messages.shown.size(), 1, 20000);
        QCOMPARE(h->messages.shown.first().title, dead);
        QCOMPARE(
            h->messages.shown.first().text,
            QStringLiteral("This page has an errors in it! Would you like to continue anyways?"));
        QVERIFY(w->webstatus()->panelText(1).startsWith('-'));
    }

    void localPagesCannotReadLocalFiles() {
        QFile secret(h->filePath(QStringLiteral("secret.txt")));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("secret");
        secret.close();
        QFile page(h->filePath(QStringLiteral("temp.htm")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(
            "<html><head><script>var t = 'blocked';"
            "try { var x = new XMLHttpRequest(); x.open('GET', 'secret.txt', false);"
            " x.send(); t = 'read:' + x.responseText; } catch (e) {}"
            "document.title = t;</script></head><body>local</body></html>");
        page.close();
        go(w, page.fileName());
        QTRY_VERIFY_WITH_TIMEOUT(w->windowTitle() != QStringLiteral("Tarn - Quillow :  "), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Tarn - Quillow :  blocked"),
                                  20000);
        QVERIFY(location(w).startsWith(QStringLiteral("file://")));
    }

    void downloadsAreSavedOrCancelledAndReported() {
        saveAs = QStringLiteral("saved.bin");
        go(w, server.url("/data.bin"));
        QTRY_VERIFY_WITH_TIMEOUT(
            w->webstatus()->panelText(1).startsWith(QStringLiteral("Download complete: ")), 20000);
        QCOMPARE(asked, QStringList{QStringLiteral("data.bin")});
        QFile saved(h->filePath(saveAs));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray(300 * 1024, 'q'));

        saveAs.clear();
        go(w, server.url("/data.bin?again"));
        QTRY_COMPARE_WITH_TIMEOUT(w->webstatus()->panelText(1),
                                  QStringLiteral("Download cancelled: data.bin"), 20000);
        QCOMPARE(asked.size(), 2);
    }

    void crashedPageLeavesTheWindowAlive() {
        go(w, server.url("/one.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->webstatus()->simpleText(), QStringLiteral("Site Loaded."),
                                  20000);
        auto *view = static_cast<QWebEngineView *>(w->browserwindow()->widget());
        const qint64 pid = view->page()->renderProcessPid();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            w->webstatus()->panelText(1).contains(QStringLiteral("stopped working")), 20000);
        QVERIFY(w->isVisible());
        w->webstatus()->setSimpleText(QString());
        w->command(4);
        QTRY_COMPARE_WITH_TIMEOUT(w->webstatus()->simpleText(), QStringLiteral("Site Loaded."),
                                  20000);
        QVERIFY(view->page()->renderProcessPid() != pid);
    }

    void fullScreenHidesTheNavigationControls() {
        go(w, server.url("/fullscreen.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->webstatus()->simpleText(), QStringLiteral("Site Loaded."),
                                  20000);
        clickInPage(w, QPoint(40, 40));
        QTRY_VERIFY_WITH_TIMEOUT(w->addressbar()->isHidden(), 20000);
        QVERIFY(w->findChild<QGroupBox *>(QStringLiteral("Frame1"))->isHidden());
    }
};

QUILLOW_ENGINE_TEST_MAIN(EngineWindowsTest)

#include "test_engine_windows.moc"
