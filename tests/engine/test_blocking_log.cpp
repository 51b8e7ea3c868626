// The Blocked Requests window on the real engine, with a small list of its
// own: every host resolves to 127.0.0.1, where the test serves pages whose
// requests the list refuses, redirects and cleans.

#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "blocking_log/blocking_log_window.h"
#include "browser/page_blocking.h"
#include "browser/web_engine_browser.h"
#include "content_blocking/filter_list_blocker.h"
#include "engine_support.h"
#include "harness.h"
#include "http_server.h"

using namespace quillow;
using namespace quillow::test;

namespace {

const QByteArray kList =
    "! Quillow's test list\n"
    "||ads.quillow.test^$script,redirect=noop.js\n"
    "||ads.quillow.test^$image\n"
    "$removeparam=quillow_track\n"
    "||gone.quillow.test^$document\n"
    "scripted.quillow.test##+js(set-constant, quillowLogged, 1)\n";

}  // namespace

class BlockingLogTest : public QObject {
    Q_OBJECT

    HttpServer server;
    QTemporaryDir dir;
    std::unique_ptr<FilterListBlocker> blocker;
    std::unique_ptr<Harness> h;
    MainWindow *w = nullptr;

    // An address on a host of the test's site.
    QString at(const QString &host, const QString &path) const {
        return u"http://%1.quillow.test:%2%3"_s.arg(host).arg(server.port()).arg(path);
    }
    // A line of the list and the list's name, as the window shows them.
    static QString rule(int line) {
        return QString::fromLatin1(kList.split('\n').at(line)) + u"|quillow-log.txt"_s;
    }
    void load(const QString &url) {
        server.requests.clear();
        typeAddress(w, url);
        QTRY_VERIFY_WITH_TIMEOUT(server.requests.contains(u"/done.js"_s), kPageWait);
        QTRY_VERIFY_WITH_TIMEOUT(!viewOf(w)->page()->isLoading(), kPageWait);
    }
    BlockingLogWindow *window() const { return h->windows().find<BlockingLogWindow>(); }
    QString summary() const {
        return window() ? child<QLabel>(window(), u"summary"_s)->text() : QString();
    }
    // The window's rows, sorted: the engine asks for a page's parts in an
    // order of its own.
    QStringList rows() const {
        QStringList rows;
        QTreeWidget *entries = child<QTreeWidget>(window(), u"entries"_s);
        for (int i = 0; i < entries->topLevelItemCount(); ++i) {
            QStringList texts;
            for (int column = 0; column < entries->columnCount(); ++column)
                texts.append(entries->topLevelItem(i)->text(column));
            rows.append(texts.join(u'|'));
        }
        rows.sort();
        return rows;
    }
    // "Blocked Requests..." in the page's menu, chosen with the mouse; the
    // window then shows the record of the page at `page`.
    void openRecord(const QString &page) {
        QMenu *menu = nullptr;
        QVERIFY(clickInPage(
            w, {40, 200},
            [&] { return menu = qobject_cast<QMenu *>(QApplication::activePopupWidget()); },
            Qt::RightButton));
        QAction *entry = nullptr;
        for (QAction *a : menu->actions())
            if (a->text() == u"Blocked Requests..."_s)
                entry = a;
        QVERIFY(entry);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        QTRY_VERIFY_WITH_TIMEOUT(summary().contains(page), kPageWait);
    }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        server.route(u"/page.html"_s,
                     u"<html><body><script src='%1'></script><img src='%2'>"
                     "<script src='/app.js?quillow_track=5&v=1'></script>"
                     "<script src='/done.js'></script></body></html>"_s
                         .arg(at(u"ads"_s, u"/track.js"_s), at(u"ads"_s, u"/banner.png"_s))
                         .toUtf8());
        server.route(u"/many.html"_s,
                     u"<html><body><script>for (var i = 0; i < 505; ++i)"
                     " new Image().src = '%1?' + i;</script></body></html>"_s
                         .arg(at(u"ads"_s, u"/banner.png"_s))
                         .toUtf8());
        server.route(u"/plain.html"_s,
                     "<html><body><script src='/done.js'></script></body></html>");
        for (const QString &path : {u"/app.js"_s, u"/done.js"_s, u"/track.js"_s, u"/banner.png"_s})
            server.route(path, QByteArray("/* */"));

        QVERIFY(dir.isValid());
        QFile list(dir.filePath(u"quillow-log.txt"_s));
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write(kList) == kList.size());
        list.close();
        FilterListBlocker::Settings settings;
        settings.configDir = dir.filePath(u"config"_s);
        settings.cacheDir = dir.filePath(u"cache"_s);
        // Only this list; the neutral resources come from uBlock Origin's
        // package.
        settings.systemLists = {list.fileName()};
        settings.loadDelayMs = 0;
        blocker = std::make_unique<FilterListBlocker>(settings);
        blocker->start();
        QTRY_VERIFY_WITH_TIMEOUT(blocker->ready(), kPageWait);
        QByteArray type, body;
        QVERIFY2(blocker->neutralResource(u"noop.js"_s, type, body),
                 "the Debian package webext-ublock-origin-chromium is needed");
        serveBlockingScheme(QWebEngineProfile::defaultProfile(), blocker.get());
    }
    void init() {
        h = std::make_unique<Harness>();
        w = startBlockingOnEngine(*h, blocker.get());
        QVERIFY(w);
    }
    void cleanup() { h.reset(); }

    // A page's refused, redirected and cleaned requests, each with its
    // rule and list; the next page starts the record again, and a page the
    // list refuses whole keeps its own entry while its notice shows.
    void theRecordOfThePageOnShow() {
        const QString page = at(u"www"_s, u"/page.html"_s);
        load(page);
        QVERIFY(!server.requests.contains(u"/track.js"_s));
        openRecord(page);
        QCOMPARE(summary(), u"Content blocking acted on 3 requests of %1:"_s.arg(page));
        QCOMPARE(rows(),
                 QStringList({u"Answered with noop.js|Script|%1|%2"_s.arg(
                                  at(u"ads"_s, u"/track.js"_s), rule(1)),
                              u"Refused|Image|%1|%2"_s.arg(at(u"ads"_s, u"/banner.png"_s), rule(2)),
                              u"Sent without tracking parameters to %1|Script|%2|%3"_s.arg(
                                  at(u"www"_s, u"/app.js?v=1"_s),
                                  at(u"www"_s, u"/app.js?quillow_track=5&v=1"_s), rule(3))}));

        const QString plain = at(u"www"_s, u"/plain.html"_s);
        load(plain);
        openRecord(plain);
        QCOMPARE(summary(), u"Content blocking has done nothing on %1."_s.arg(plain));
        QCOMPARE(rows(), QStringList());

        const QString gone = at(u"gone"_s, u"/landing.html"_s);
        typeAddress(w, gone);
        QTRY_COMPARE_WITH_TIMEOUT(viewOf(w)->page()->title(), u"Blocked by the filter lists"_s,
                                  kPageWait);
        openRecord(gone);
        QCOMPARE(rows(), QStringList{u"Refused|Page|%1|%2"_s.arg(gone, rule(4))});
    }

    // The scriptlets a page runs are in its record, with their rule and list.
    void scriptletsInTheRecord() {
        QTRY_VERIFY_WITH_TIMEOUT(!blocker->scriptletsFor(u"scripted.quillow.test"_s).isEmpty(),
                                 kPageWait);
        const QString page = at(u"scripted"_s, u"/plain.html"_s);
        load(page);
        openRecord(page);
        QCOMPARE(rows(), QStringList{u"Scriptlet applied: ##+js(set-constant, quillowLogged, 1)|"
                                     "Page|%1|%2"_s.arg(page, rule(5))});
    }

    // A page that makes more requests than the record keeps leaves only its
    // latest there.
    void theRecordIsBounded() {
        QSignalSpy counts(w->browser(), &Browser::blockedRequestsChanged);
        const QString page = at(u"www"_s, u"/many.html"_s);
        typeAddress(w, page);
        QTRY_COMPARE_WITH_TIMEOUT(counts.isEmpty() ? 0 : counts.last().at(0).toInt(), 505,
                                  kPageWait);
        openRecord(page);
        QCOMPARE(rows().size(), 500);
    }
};

int main(int argc, char **argv) {
    // Every host name is this machine: the list's hosts are served here.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --host-resolver-rules=\"MAP * 127.0.0.1\"");
    return runEngineTest(argc, argv, [argc, argv] {
        BlockingLogTest test;
        return QTest::qExec(&test, argc, argv);
    });
}

#include "test_blocking_log.moc"
