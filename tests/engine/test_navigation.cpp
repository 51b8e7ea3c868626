// Going to addresses on the real engine, against pages served on
// 127.0.0.1: history, the ad-server guard, failed loads, local files, a
// crashed page and full screen.

#include <sys/types.h>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <csignal>

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

    void goAndWait(const QString &path) {
        typeAddress(w, server.url(path));
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(path), kPageWait);
    }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        for (const char *name : {"one", "two"})
            server.route(QStringLiteral("/%1.html").arg(QLatin1String(name)),
                         "<html><head><title>" + QByteArray(name) + "</title></head><body>" + name +
                             "</body></html>");
        server.route(
            QStringLiteral("/fullscreen.html"),
            "<html><body style='margin:0'><div style='width:500px;height:400px' "
            "onclick='document.documentElement.requestFullscreen()'>go</div></body></html>");
    }
    void init() {
        h = std::make_unique<Harness>();
        w = startOnEngine(*h, QUrl(server.url(QStringLiteral("/two.html"))));
        QVERIFY(w);
    }
    void cleanup() { h.reset(); }

    void typedAddressLoadsAndHistoryFollows() {
        // No earlier page: the component says so.
        QVERIFY(w->browser()->goBack().failed());
        goAndWait(QStringLiteral("/one.html"));
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Tarn - Quillow :  one"),
                                  kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->message(), QStringLiteral("Site Loaded."),
                                  kPageWait);
        QCOMPARE(addressBox(w)->currentText(), server.url(QStringLiteral("/one.html")));

        w->runCommand(Command::Home);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(QStringLiteral("/two.html")), kPageWait);
        w->runCommand(Command::Back);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(QStringLiteral("/one.html")), kPageWait);
        QVERIFY(child(w, QStringLiteral("buttons(2)"))->isEnabled());
        w->runCommand(Command::Forward);
        QTRY_COMPARE_WITH_TIMEOUT(location(w), server.url(QStringLiteral("/two.html")), kPageWait);
        QVERIFY(addressBox(w)->findText(server.url(QStringLiteral("/one.html"))) >= 0);
    }

    void adServerNavigationIsRefused() {
        goAndWait(QStringLiteral("/one.html"));
        QSignalSpy finished(viewOf(w)->page(), &QWebEnginePage::loadFinished);
        const QString ad = QStringLiteral("/x/") + blocklist::kAdServerFragment.toUpper() +
                           QStringLiteral("/ad.html");
        typeAddress(w, server.url(ad));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), kPageWait);
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(location(w), server.url(QStringLiteral("/one.html")));
        for (const QString &r : server.requests)
            QVERIFY2(!r.toLower().contains(blocklist::kAdServerFragment), qPrintable(r));
    }

    void failedLoadAsksAndNoStops() {
        h->messages.answers = {MessageBoxes::Answer::No};
        const QString dead = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort());
        typeAddress(w, dead);
        QTRY_COMPARE_WITH_TIMEOUT(h->messages.shown.size(), 1, kPageWait);
        QCOMPARE(h->messages.shown.first().title, dead);
        QVERIFY(statusBar(w)->pageStatus().startsWith(QLatin1Char('-')));
    }

    void localPagesCannotReadLocalFiles() {
        h->writeFile(QStringLiteral("secret.txt"), "secret");
        h->writeFile(QStringLiteral("temp.htm"),
                     "<html><head><script>var t = 'blocked';"
                     "try { var x = new XMLHttpRequest(); x.open('GET', 'secret.txt', false);"
                     " x.send(); t = 'read:' + x.responseText; } catch (e) {}"
                     "document.title = t;</script></head><body>local</body></html>");
        typeAddress(w, h->filePath(QStringLiteral("temp.htm")));
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), QStringLiteral("Tarn - Quillow :  blocked"),
                                  kPageWait);
        QVERIFY(location(w).startsWith(QStringLiteral("file://")));
    }

    void crashedPageLeavesTheWindowAlive() {
        goAndWait(QStringLiteral("/one.html"));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->message(), QStringLiteral("Site Loaded."),
                                  kPageWait);
        const qint64 pid = viewOf(w)->page()->renderProcessPid();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            statusBar(w)->pageStatus().contains(QStringLiteral("stopped working")), kPageWait);
        statusBar(w)->setMessage(QString());
        QTest::mouseClick(child(w, QStringLiteral("buttons(4)")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->message(), QStringLiteral("Site Loaded."),
                                  kPageWait);
        QVERIFY(viewOf(w)->page()->renderProcessPid() != pid);
    }

    void fullScreenHidesTheNavigationControls() {
        goAndWait(QStringLiteral("/fullscreen.html"));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->message(), QStringLiteral("Site Loaded."),
                                  kPageWait);
        clickInPage(w, QPoint(40, 40));
        QTRY_VERIFY_WITH_TIMEOUT(addressBox(w)->isHidden(), kPageWait);
        QVERIFY(child(w, QStringLiteral("Frame1"))->isHidden());
    }
};

QUILLOW_ENGINE_TEST_MAIN(EngineNavigationTest)
#include "test_navigation.moc"
