// Content blocking on the real engine with Debian's EasyList and
// EasyPrivacy: every host resolves to 127.0.0.1, where the test serves a
// page whose resources come from hosts and paths the lists name.

#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "browser/page_blocking.h"
#include "browser/web_engine_browser.h"
#include "content_blocking/filter_list_blocker.h"
#include "engine_support.h"
#include "harness.h"
#include "http_server.h"

using namespace quillow;
using namespace quillow::test;

class ContentBlockingTest : public QObject {
    Q_OBJECT

    HttpServer server;
    QTemporaryDir dir;
    std::unique_ptr<FilterListBlocker> blocker;
    std::unique_ptr<Harness> h;
    MainWindow *w = nullptr;

    QString at(const QString &host, const QString &path) const {
        return u"http://%1:%2%3"_s.arg(host).arg(server.port()).arg(path);
    }
    QString pageUrl() const { return at(u"www.quillow-news.test"_s, u"/page.html"_s); }
    // The display of an element of the page, or of its own frame's document.
    QString style(const QString &id, const QString &in = u"document"_s) {
        QVariant result;
        viewOf(w)->page()->runJavaScript(
            u"getComputedStyle(%1.getElementById('%2')).display"_s.arg(in, id),
            QWebEngineScript::MainWorld, [&result](const QVariant &v) { result = v; });
        return QTest::qWaitFor([&result] { return result.isValid(); }, kPageWait)
                   ? result.toString()
                   : QString();
    }
    QString script(const QString &text) {
        QVariant result;
        viewOf(w)->page()->runJavaScript(text, QWebEngineScript::MainWorld,
                                         [&result](const QVariant &v) { result = v; });
        return QTest::qWaitFor([&result] { return result.isValid(); }, kPageWait)
                   ? result.toString()
                   : QString();
    }
    QString pageText() { return script(u"document.body.innerText"_s); }
    // Where the page shows the link to `href`, in the view's coordinates.
    QPoint linkCentre(const QString &href) {
        QVariant result;
        viewOf(w)->page()->runJavaScript(
            u"(function () { var r = document.querySelector('a[href=\"%1\"]')"
            ".getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2]; })()"_s
                .arg(href),
            QWebEngineScript::MainWorld, [&result](const QVariant &v) { result = v; });
        if (!QTest::qWaitFor([&result] { return result.isValid(); }, kPageWait))
            return {};
        const QVariantList xy = result.toList();
        return QPoint(int(xy.value(0).toDouble()), int(xy.value(1).toDouble()));
    }
    QString popupDetails() const {
        for (QLabel *label : statusBar(w)->findChildren<QLabel *>())
            if (label->text().endsWith(u" Popups"_s))
                return label->toolTip() + u'|' + label->accessibleDescription();
        return {};
    }
    void load() {
        server.requests.clear();
        typeAddress(w, pageUrl());
        QTRY_VERIFY_WITH_TIMEOUT(server.requests.contains(u"/done.js"_s), kPageWait);
        QTRY_VERIFY_WITH_TIMEOUT(!viewOf(w)->page()->isLoading(), kPageWait);
    }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        const QByteArray port = QByteArray::number(server.port());
        const QByteArray ads = "http://pagead2.googlesyndication.com:" + port;
        server.route(
            u"/page.html"_s,
            "<html><head><link rel=stylesheet href='/site.css'></head><body>"
            "<script src='" +
                ads +
                "/pagead/js/adsbygoogle.js'></script>"
                "<script src='http://www.google-analytics.com:" +
                port +
                "/analytics.js'>"
                "</script><script src='/adserver3.js'></script>"
                "<script src='/app.js'></script><img src='/logo.png'>"
                "<div id=ad class=banner-ad>ad</div><div id=story class=story>story</div>"
                "<div id=sponsor class=quillow-box>s</div><script>addEventListener('message', "
                "function (e) { window.otherFrameAd = e.data; });</script>"
                "<img id=adimg src='" +
                ads +
                "/pagead/imgad?id=1'>"
                "<iframe id=adframe src='" +
                ads +
                "/pagead/ads?id=1'></iframe>"
                "<iframe src='http://frame.quillow-other.test:" +
                port +
                "/frame.html'>"
                "</iframe><iframe id=own src='/own-frame.html'></iframe>"
                "<iframe id=ownadframe src='/ad.html?x=1'></iframe>"
                "<script>new WebSocket('ws://socket.quillow-other.test:" +
                port +
                "/socket');</script><script>setTimeout(function () { var d = "
                "document.createElement('div'); d.id = 'late'; d.className = 'x banner-ad';"
                " document.body.appendChild(d); }, 50);</script>"
                "<script src='/done.js'></script></body></html>");
        // A frame of another site, with a listed script and one of its own
        // that is third party to the page but not to the frame, and an
        // element a generic selector hides, whose style it tells the page.
        server.route(u"/frame.html"_s,
                     "<html><body><div id=otherad class=banner-ad>ad</div><script>"
                     "setInterval(function () { parent.postMessage(getComputedStyle("
                     "document.getElementById('otherad')).display, '*'); }, 50);</script>"
                     "<script src='/frame-own.js'></script>"
                     "<script src='" +
                         ads +
                         "/pagead/show_ads.js'></script>"
                         "</body></html>");
        server.route(u"/own-frame.html"_s,
                     QByteArray("<html><body><div id=framead class=banner-ad>ad</div>"
                                "<div id=framebox class=quillow-box>box</div></body></html>"));
        for (const char *path : {"/site.css", "/app.js", "/logo.png", "/done.js", "/adserver3.js",
                                 "/pagead/js/adsbygoogle.js", "/analytics.js", "/frame-own.js"})
            server.route(QString::fromLatin1(path), QByteArray("/* */"));
        server.route(u"/opener.html"_s,
                     "<html><body><script>window.open('http://0i0i0i0.com:" + port +
                         "/deal.html'); window.open('/page.html');</script></body></html>");
        server.route(u"/deal.html"_s, QByteArray("<html><body>deal</body></html>"));
        // A page that calls the tracker's function its script defines; the
        // tracker's address has no server behind it.
        server.route(u"/ga.html"_s,
                     "<html><body><script src='http://www.google-analytics.com/analytics.js'>"
                     "</script><script>ga('create', 'UA-1-1', 'auto'); ga('send', 'pageview');"
                     " document.title = 'ran';</script></body></html>");
        server.route(u"/tracked.html"_s, QByteArray("<html><body>tracked</body></html>"));
        server.route(u"/zqtk.html"_s,
                     "<html><body><script src='http://cdn.zqtk.net:" + port +
                         "/widget.js'></script><script src='/done.js'></script></body></html>");
        server.route(u"/widget.js"_s, QByteArray("/* */"));
        server.route(u"/hiding.html"_s,
                     QByteArray("<html><body><div id=deal class=quillow-deal>deal</div>"
                                "<div id=slot data-ad-name=top>ad</div><script>setTimeout("
                                "function () { document.body.insertAdjacentHTML('beforeend',"
                                " '<p><a id=late href=\"https://ad.admitad.com/g\">x</a></p>');"
                                " }, 50);</script></body></html>"));

        // What a page's first script sees of the scriptlets for its host;
        // in a frame, told to the page.
        server.route(
            u"/scriptlets.html"_s,
            QByteArray("<html><body><script>var r = [typeof window.sssp];"
                       "try { window.detector; r.push('read'); } catch (e) { r.push('aborted'); }"
                       "r.push(String(JSON.parse('{\"enabled\":1,\"force_disabled\":1}').enabled));"
                       "r.push(typeof window.quillowMine, typeof window.quillowTrusted);"
                       "setTimeout(function () { r.push('adBlockerDetected'); }, 0);"
                       "setTimeout(function () { document.title = r.join(' ');"
                       " if (parent !== window) parent.postMessage(r.join(' '), '*'); }, 30);"
                       "</script></body></html>"));
        server.route(u"/framed.html"_s,
                     "<html><body><script>addEventListener('message', function (e) {"
                     " document.title = 'frame: ' + e.data; });</script><iframe src='http://"
                     "golem.de:" +
                         port + "/scriptlets.html'></iframe></body></html>");

        // What real procedural rules name (sport1.de's ":has-text()",
        // feet9.com's ":upward()" and ":remove()"), and the same added later.
        server.route(u"/procedural.html"_s,
                     QByteArray("<html><body><strong id=t1>Anzeige</strong><strong id=t2>News"
                                "</strong><div id=u1><div><div><a href='https://go.cam.feet9.com/"
                                "x'>x</a></div></div></div><div id=r1 data-vid=live-1>v</div>"
                                "<p>aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!</p>"
                                "<script>setTimeout(function () { document.body.insertAdjacentHTML("
                                "'beforeend', '<strong id=t3>ANZEIGE</strong><div id=r2 data-vid="
                                "live-2>v</div><div id=u2><div><div><a href=\"https://go.cam."
                                "feet9.com/y\">y</a></div></div></div>'); }, 50);</script>"
                                "</body></html>"));

        QVERIFY(dir.isValid() && QDir(dir.path()).mkpath(u"config/filters"_s));
        // The user's list; its first selector (an open parenthesis) the
        // engine cannot read, which costs only that selector.
        QFile mine(dir.filePath(u"config/filters/mine.txt"_s));
        QVERIFY(mine.open(QIODevice::WriteOnly) &&
                mine.write(
                    "www.quillow-news.test##.open:not(.shut\nwww.quillow-news.test##.quillow-box\n"
                    "/frame-own.js$third-party\n"
                    "||socket.quillow-other.test^$websocket\n"
                    "quillow-shop.*##.quillow-deal\nquillow-mall.test##.quillow-deal\n"
                    "www.quillow-news.test##+js(set-constant, quillowMine, 1)\n"
                    "sport1.de##strong:has-text(/[/)\nsport1.de##p:has-text(/(a+)+$/)\n"
                    "www.quillow-news.test##+js(trusted-set-constant, quillowTrusted, 1)\n") > 0);
        mine.close();
        FilterListBlocker::Settings settings;
        settings.configDir = dir.filePath(u"config"_s);
        settings.cacheDir = dir.filePath(u"cache"_s);
        // The lists load when the first page asks, and it waits for them.
        settings.loadDelayMs = 600000;
        settings.firstLoadWaitMs = kPageWait;
        blocker = std::make_unique<FilterListBlocker>(settings);
        blocker->start();
        QVERIFY2(blocker->isOn(QUrl()),
                 "the Debian package webext-ublock-origin-chromium is needed");
        serveBlockingScheme(QWebEngineProfile::defaultProfile(), blocker.get());
    }
    void init() {
        h = std::make_unique<Harness>();
        w = startBlockingOnEngine(*h, blocker.get());
        QVERIFY(w);
    }
    void cleanup() { h.reset(); }

    // The session's first page waits for the lists. Their hosts and paths
    // never reach the server; the page's own resources do. What the lists
    // hide is hidden, also when the page adds it later; blocked images and
    // frames are collapsed; the popup panel tells how many requests were
    // blocked.
    void adsAndTrackersBlockedPageIntact() {
        QVERIFY(!blocker->ready());
        load();
        for (const char *path :
             {"/page.html", "/site.css", "/app.js", "/logo.png", "/frame.html", "/frame-own.js"})
            QVERIFY2(server.requests.contains(QString::fromLatin1(path)), path);
        for (const QString &path : std::as_const(server.requests))
            QVERIFY2(!path.startsWith(u"/pagead/"_s) && path != u"/analytics.js"_s &&
                         path != u"/adserver3.js"_s && path != u"/socket"_s,
                     qPrintable(path));
        // A refused frame of the page's own site too.
        for (const QString &hidden :
             {u"ad"_s, u"sponsor"_s, u"late"_s, u"adimg"_s, u"adframe"_s, u"ownadframe"_s})
            QTRY_COMPARE_WITH_TIMEOUT(style(hidden), u"none"_s, kPageWait);
        // The page's own frame hides by the page's answer for the site too.
        for (const QString &hidden : {u"framead"_s, u"framebox"_s})
            QTRY_COMPARE_WITH_TIMEOUT(
                style(hidden, u"document.getElementById('own').contentDocument"_s), u"none"_s,
                kPageWait);
        QCOMPARE(style(u"story"_s), u"block"_s);
        QTRY_COMPARE_WITH_TIMEOUT(script(u"window.otherFrameAd"_s), u"none"_s, kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(popupDetails(),
                                  u"0 Popups refused, 8 requests blocked|"
                                  u"0 Popups refused, 8 requests blocked"_s,
                                  kPageWait);
    }

    // Unchecking "Block ads on this site" in the page's menu lets the site
    // be and reloads it; checking it again blocks again.
    void theUserLetsASiteBe() {
        load();
        const auto toggle = [this](bool wasChecked) {
            QMenu *menu = nullptr;
            QVERIFY(clickInPage(
                w, {40, 200},
                [&] { return menu = qobject_cast<QMenu *>(QApplication::activePopupWidget()); },
                Qt::RightButton));
            QAction *entry = menu->actions().last();
            QCOMPARE(entry->text(), u"Block ads on this site"_s);
            QCOMPARE(entry->isChecked(), wasChecked);
            server.requests.clear();
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
            QTRY_VERIFY_WITH_TIMEOUT(server.requests.contains(u"/done.js"_s), kPageWait);
        };
        toggle(true);
        QVERIFY(!blocker->isOn(QUrl(pageUrl())));
        // The page on show decides, for its frames of other sites too.
        QVERIFY(server.requests.contains(u"/pagead/js/adsbygoogle.js"_s));
        QTRY_VERIFY_WITH_TIMEOUT(server.requests.contains(u"/pagead/show_ads.js"_s), kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(style(u"ad"_s), u"block"_s, kPageWait);
        toggle(false);
        QVERIFY(blocker->isOn(QUrl(pageUrl())));
        QVERIFY(!server.requests.contains(u"/pagead/js/adsbygoogle.js"_s));
    }

    // Once the lists are ready, a document knows without asking whether its
    // site has selectors of its own: under its host, a parent of it, or its
    // name with any ending. A site without takes those for every site, on
    // what the page holds and on what it adds later.
    void siteSelectorsKnownWithoutAsking() {
        load();
        QVERIFY(blocker->ready());
        for (const auto &[site, hidden] : {std::pair(u"www.quillow-shop.test"_s, true),
                                           std::pair(u"a.b.quillow-mall.test"_s, true),
                                           std::pair(u"www.quillow-plain.test"_s, false)}) {
            typeAddress(w, at(site, u"/hiding.html"_s));
            QTRY_COMPARE_WITH_TIMEOUT(location(w), at(site, u"/hiding.html"_s), kPageWait);
            QTRY_VERIFY_WITH_TIMEOUT(!viewOf(w)->page()->isLoading(), kPageWait);
            QTRY_COMPARE_WITH_TIMEOUT(style(u"slot"_s), u"none"_s, kPageWait);
            QTRY_COMPARE_WITH_TIMEOUT(style(u"late"_s), u"none"_s, kPageWait);
            QCOMPARE(style(u"deal"_s), hidden ? u"none"_s : u"block"_s);
        }
    }

    // A page the lists refuse whole never reaches the server and is no
    // failure to ask about.
    void listedPageRefusedWithoutAQuestion() {
        const QString landing = at(u"www.trksmorestreacking.com"_s, u"/landing.html"_s);
        server.requests.clear();
        typeAddress(w, landing);
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->pageStatus(),
                                  u"Blocked by the filter lists: "_s + landing, kPageWait);
        QVERIFY(!server.requests.contains(u"/landing.html"_s));
        QVERIFY(h->questions.asked.isEmpty());
        // A notice of Quillow's own tells which rule of which list, and
        // offers the ways on; the user's click goes there this time only.
        QTRY_COMPARE_WITH_TIMEOUT(viewOf(w)->page()->title(), u"Blocked by the filter lists"_s,
                                  kPageWait);
        // The notice keeps the refused page's count.
        QCOMPARE(popupDetails(),
                 u"0 Popups refused, 1 requests blocked|0 Popups refused, 1 requests blocked"_s);
        QVERIFY(pageText().contains(u"||trksmorestreacking.com^"_s));
        QVERIFY(pageText().contains(u".txt)"_s));
        QVERIFY(clickInPage(w, linkCentre(u"quillow:go"_s),
                            [this] { return server.requests.contains(u"/landing.html"_s); }));
        server.requests.clear();
        typeAddress(w, landing + u"?again"_s);
        QTRY_COMPARE_WITH_TIMEOUT(viewOf(w)->page()->title(), u"Blocked by the filter lists"_s,
                                  kPageWait);
        QVERIFY(clickInPage(w, linkCentre(u"quillow:back"_s), [this] {
            return location(w) == u"about:blank"_s || !location(w).contains(u"again"_s);
        }));
        QVERIFY(!server.requests.contains(u"/landing.html?again"_s));
    }

    // uBlock Origin's own lists, as its package installs them: a tracker's
    // script answered with the neutral one, so the page calling it runs;
    // a tracking parameter taken off the address a page is asked at; a
    // script the other lists refuse kept for the site that needs it.
    void uBlockOriginsListsApplied() {
        typeAddress(w, at(u"www.quillow-news.test"_s, u"/ga.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(viewOf(w)->page()->title(), u"ran"_s, kPageWait);

        server.requests.clear();
        typeAddress(w, at(u"control.kochava.com"_s, u"/tracked.html?utm_source=news&id=7"_s));
        QTRY_VERIFY_WITH_TIMEOUT(server.requests.contains(u"/tracked.html?id=7"_s), kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(location(w),
                                  at(u"control.kochava.com"_s, u"/tracked.html?id=7"_s), kPageWait);
        QVERIFY(!server.requests.contains(u"/tracked.html?utm_source=news&id=7"_s));

        for (const QString &site : {u"www.wsj.com"_s, u"www.quillow-news.test"_s}) {
            server.requests.clear();
            typeAddress(w, at(site, u"/zqtk.html"_s));
            QTRY_VERIFY_WITH_TIMEOUT(server.requests.contains(u"/done.js"_s), kPageWait);
            QCOMPARE(server.requests.contains(u"/widget.js"_s), site == u"www.wsj.com"_s);
        }
    }

    // uBlock Origin's scriptlets, from its own library, for the hosts their
    // rules name (filters.min.txt's for www.seznam.cz, timesofindia.com,
    // chip.de and golem.de), before the page's first script, in a frame of
    // another site too; on another host none. A trusted scriptlet in the
    // user's own list is refused; an ordinary one runs.
    void scriptletsRunBeforeThePage() {
        typeAddress(w, at(u"www.quillow-news.test"_s, u"/tracked.html"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!blocker->scriptletsFor(u"golem.de"_s).isEmpty(), kPageWait);
        const std::pair<QString, QString> expected[] = {
            {u"www.seznam.cz"_s, u"object read 1 undefined undefined adBlockerDetected"_s},
            {u"timesofindia.com"_s, u"undefined aborted 1 undefined undefined adBlockerDetected"_s},
            {u"chip.de"_s, u"undefined read undefined undefined undefined adBlockerDetected"_s},
            {u"golem.de"_s, u"undefined read 1 undefined undefined"_s},
            {u"www.quillow-news.test"_s, u"undefined read 1 number undefined adBlockerDetected"_s},
        };
        for (const auto &[host, seen] : expected) {
            typeAddress(w, at(host, u"/scriptlets.html"_s));
            QTRY_COMPARE_WITH_TIMEOUT(viewOf(w)->page()->title(), seen, kPageWait);
        }
        typeAddress(w, at(u"www.quillow-news.test"_s, u"/framed.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(viewOf(w)->page()->title(),
                                  u"frame: undefined read 1 undefined undefined"_s, kPageWait);
    }

    // Procedural selectors from the lists act on the elements they name,
    // also on those the page adds later, for their own sites only; one that
    // throws (the user's, a broken expression) costs only itself, and one
    // that would backtrack for ever on the page's text is refused.
    void proceduralSelectorsApplied() {
        const std::pair<QString, QString> expected[] = {
            {u"sport1.de"_s, u"none inline none block block block block"_s},
            {u"feet9.com"_s, u"inline inline inline none none gone gone"_s},
            {u"www.quillow-news.test"_s, u"inline inline inline block block block block"_s},
        };
        for (const auto &[host, seen] : expected) {
            typeAddress(w, at(host, u"/procedural.html"_s));
            QTRY_COMPARE_WITH_TIMEOUT(
                script(u"['t1','t2','t3','u1','u2','r1','r2'].map(function (id) {"
                       " var e = document.getElementById(id);"
                       " return e ? getComputedStyle(e).display : 'gone'; }).join(' ')"_s),
                seen, kPageWait);
        }
    }

    // With popups allowed, a window the lists name as a popup is still
    // refused and counted; another one opens. A page refused next is told
    // without the popup's message.
    void listedPopupsRefused() {
        typeAddress(w, at(u"www.quillow-news.test"_s, u"/opener.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(h->windows().mainWindows().size(), 2, kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->popupCount(), u"1 Popups"_s, kPageWait);
        QVERIFY(!server.requests.contains(u"/deal.html"_s));
        QCOMPARE(statusBar(w)->message(), u"Popup Blocked"_s);
        const QString landing = at(u"www.trksmorestreacking.com"_s, u"/landing.html"_s);
        typeAddress(w, landing);
        QTRY_COMPARE_WITH_TIMEOUT(viewOf(w)->page()->title(), u"Blocked by the filter lists"_s,
                                  kPageWait);
        // The notice's title arrives before its load ends, which tells why.
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->pageStatus(),
                                  u"Blocked by the filter lists: "_s + landing, kPageWait);
        QCOMPARE(statusBar(w)->message(), QString());
    }
};

int main(int argc, char **argv) {
    // Every host name is this machine: the lists' hosts are served here.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --host-resolver-rules=\"MAP * 127.0.0.1\"");
    return runEngineTest(argc, argv, [argc, argv] {
        ContentBlockingTest test;
        return QTest::qExec(&test, argc, argv);
    });
}

#include "test_content_blocking.moc"
