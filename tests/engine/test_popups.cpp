// New windows on the real engine: opened as main windows of their own, a
// storm of them cut short, a link's new window opened.

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
        server.route(
            u"/storm.html"_s,
            "<html><body><script>for (var i = 0; i < 20; ++i) window.open('/popup.html?' + i);"
            "</script>storm</body></html>");
    }
    void init() {
        h = std::make_unique<Harness>();
        w = startOnEngine(*h);
        QVERIFY(w);
    }
    void cleanup() { h.reset(); }

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
};

QUILLOW_ENGINE_TEST_MAIN(EnginePopupsTest)
#include "test_popups.moc"
