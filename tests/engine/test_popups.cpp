// New windows on the real engine: refused and counted, or opened as main
// windows of their own; a popup that closes itself goes alone.

#include <QWebEnginePage>
#include <QWebEngineView>

#include "engine_support.h"
#include "harness.h"
#include "http_server.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

class EnginePopupsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    HttpServer server;
    MainWindow *w = nullptr;

    QList<MainWindow *> windows() { return h->windows().mainWindows(); }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        server.route(
            u"/opener.html"_s,
            "<html><body><script>window.open('/popup.html');</script>opener</body></html>");
        server.route(u"/popup.html"_s,
                     "<html><head><title>Popup</title></head><body>popup</body></html>");
        server.route(u"/blank-link.html"_s,
                     "<html><body style='margin:0'><a target='_blank' href='/popup.html' "
                     "style='display:block;width:400px;height:300px'>new</a></body></html>");
        server.route(u"/closer.html"_s,
                     "<html><body><script>setTimeout(function(){window.close();},50);"
                     "</script>closing</body></html>");
        server.route(
            u"/storm.html"_s,
            "<html><body><script>for (var i = 0; i < 20; ++i) window.open('/popup.html?' + i);"
            "</script>storm</body></html>");
        server.route(u"/closer-opener.html"_s,
                     "<html><body><script>window.open('/closer.html');</script></body></html>");
    }
    void init() {
        h = std::make_unique<Harness>();
        w = startOnEngine(*h);
        QVERIFY(w);
    }
    void cleanup() { h.reset(); }

    void blockedWindowOpenIsCounted() {
        QTest::mouseClick(child(w, u"buttons(10)"_s), Qt::LeftButton);
        typeAddress(w, server.url(u"/opener.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->popupCount(), u"1 Popups"_s, kPageWait);
        // The page completes before its script opens the window: the
        // refusal is what the status says last.
        QTRY_VERIFY_WITH_TIMEOUT(!viewOf(w)->page()->isLoading(), kPageWait);
        QCOMPARE(statusBar(w)->message(), u"Popup Blocked"_s);
        QCOMPARE(windows().size(), 1);
        QVERIFY(!server.requests.contains(u"/popup.html"_s));
    }

    void allowedWindowOpenGetsAMainWindow() {
        typeAddress(w, server.url(u"/opener.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(windows().size(), 2, kPageWait);
        MainWindow *popup = windows().last();
        QTRY_COMPARE_WITH_TIMEOUT(location(popup), server.url(u"/popup.html"_s), kPageWait);
        QVERIFY(popup->isVisible() && popup->browser()->isSilent());
        // The popup's title shows on the primary window.
        QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), u"Tarn - Quillow :  Popup"_s, kPageWait);
        QCOMPARE(statusBar(w)->popupCount(), u"0 Popups"_s);
    }

    // Blocking off, a storm of script windows opens a few and counts the rest.
    void windowStormIsCut() {
        typeAddress(w, server.url(u"/storm.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->popupCount(), u"17 Popups"_s, kPageWait);
        QCOMPARE(windows().size(), 4);
    }

    void blankTargetLinkOpensAWindow() {
        typeAddress(w, server.url(u"/blank-link.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->message(), u"Site Loaded."_s, kPageWait);
        QTRY_VERIFY_WITH_TIMEOUT(!viewOf(w)->page()->isLoading(), kPageWait);
        QVERIFY(clickInPage(w, QPoint(50, 50), [this] { return windows().size() == 2; }));
        QTRY_COMPARE_WITH_TIMEOUT(location(windows().last()), server.url(u"/popup.html"_s),
                                  kPageWait);
    }

    void popupThatClosesItselfGoesAlone() {
        typeAddress(w, server.url(u"/closer-opener.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(windows().size(), 2, kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(windows().size(), 1, kPageWait);
        QCOMPARE(windows().first(), w);
        QVERIFY(w->isVisible());
    }
};

QUILLOW_ENGINE_TEST_MAIN(EnginePopupsTest)
#include "test_popups.moc"
