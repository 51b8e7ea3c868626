#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "content_blocking/filter_list_blocker.h"
#include "http_server.h"

using namespace quillow;
using filter::RequestKind;

namespace {

const QUrl kPage(QStringLiteral("https://news.example.com/"));
const QUrl kAd(QStringLiteral("https://ads.example.com/x.js"));

// One run's folders: config (with filters/), cache, the system's lists and
// a small suffix list.
struct Folders {
    QTemporaryDir root;
    Folders() {
        QVERIFY(QDir(root.path()).mkpath("config/filters") && QDir(root.path()).mkpath("system"));
        write("psl.dat", "com\nco.uk\n");
    }
    QString path(const QString &name) const { return root.filePath(name); }
    void write(const QString &name, const QByteArray &text) const {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                file.write(text) == text.size());
    }
    QByteArray read(const QString &name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void conf(const QString &key, const QVariant &value) const {
        QSettings(path("config/quillow.conf"), QSettings::IniFormat)
            .setValue("ContentBlocking/" + key, value);
    }
    // Defaults but for the folders, the lists loaded at once and updates
    // checked at once.
    FilterListBlocker::Settings settings(QNetworkAccessManager *network = nullptr,
                                         bool offForRun = false) const {
        FilterListBlocker::Settings s;
        s.configDir = path("config");
        s.cacheDir = path("cache");
        s.systemListDir = path("system");
        s.suffixListPath = path("psl.dat");
        s.offForRun = offForRun;
        s.updateDelayMs = 0;
        s.network = network;
        s.loadDelayMs = 0;
        return s;
    }
};

test::HttpServer::Response answer(int status, const QByteArray &type, const QByteArray &body,
                                  const QByteArray &headers = {}) {
    test::HttpServer::Response r;
    std::tie(r.status, r.contentType, r.body, r.headers) = std::tie(status, type, body, headers);
    return r;
}

// Whether the blocker blocks a request of a page, as the web engine asks.
bool blocks(FilterListBlocker &blocker, const QUrl &url, const QUrl &page, RequestKind kind) {
    return blocker.isOn(page) && blocker.decide(url, page, kind).blocked;
}

// Starts the blocker and waits until its lists are loaded.
bool load(FilterListBlocker &blocker) {
    QSignalSpy spy(&blocker, &ContentBlocker::changed);
    blocker.start();
    return spy.wait(20000);
}

}  // namespace

class TestFilterListBlocker : public QObject {
    Q_OBJECT
private slots:
    void offOrWithoutLists() {
        const std::tuple<const char *, bool, bool, bool> cases[] = {
            {"Enabled=false", false, false, true},
            {"--no-content-blocking", true, true, true},
            {"no lists", false, true, false}};
        for (const auto &[name, turnedOff, enabled, lists] : cases) {
            Folders f;
            if (lists)
                f.write("system/easylist.txt", "||ads.example.com^\n##.ad\n");
            f.conf("Enabled", enabled);
            FilterListBlocker blocker(f.settings(nullptr, turnedOff));
            QSignalSpy spy(&blocker, &ContentBlocker::changed);
            blocker.start();
            if (!lists)
                QVERIFY2(spy.wait(20000), name);
            QVERIFY2(!blocker.isOn(QUrl()) && !blocker.ready() &&
                         !blocks(blocker, kAd, kPage, RequestKind::Script) &&
                         blocker.hidingForSite("example.org").isEmpty(),
                     name);
        }
    }

    void listsFromBothFoldersAndTheCache() {
        Folders f;
        f.write("system/easylist.txt", "[Adblock Plus 2.0]\n||ads.example.com^\n");
        f.write("config/filters/mine.txt", "/banner/*$image\n");
        const auto touch = [&] {
            QFile file(f.path("config/filters/mine.txt"));
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(QDateTime::currentDateTime().addSecs(3600),
                                     QFileDevice::FileModificationTime));
        };
        // Each step changes something, then a new blocker loads the lists.
        const std::tuple<const char *, std::function<void()>, bool, std::size_t> steps[] = {
            {"first start", [] {}, false, 2},
            {"unchanged", [] {}, true, 2},
            {"list edited",
             [&] { f.write("config/filters/mine.txt", "/banner/*$image\n||t.example.net^\n"); },
             false, 3},
            {"list touched", touch, false, 3},
            {"cache damaged", [&] { f.write("cache/filters.idx", "QFI\x01garbage"); }, false, 3},
            {"cache rewritten", [] {}, true, 3},
        };
        for (const auto &[name, change, fromCache, rules] : steps) {
            change();
            FilterListBlocker blocker(f.settings());
            QVERIFY2(load(blocker), name);
            QVERIFY2(blocker.ready() && blocker.loadedFromCache() == fromCache, name);
            QCOMPARE(blocker.stats().networkRules, rules);
            QVERIFY(blocks(blocker, kAd, kPage, RequestKind::Script));
            const QUrl banner("https://cdn.example.org/banner/a.png");
            QVERIFY(blocks(blocker, banner, kPage, RequestKind::Image));
            QVERIFY(!blocks(blocker, banner, kPage, RequestKind::Script));
            QVERIFY(
                !blocks(blocker, QUrl("https://cdn.example.org/a.png"), kPage, RequestKind::Image));
            QCOMPARE(blocks(blocker, QUrl("https://t.example.net/p"), kPage, RequestKind::Ping),
                     rules == 3);
        }
        // The group's and others' bits: none.
        QCOMPARE(int(QFile::permissions(f.path("cache/filters.idx")) & 0x77), 0);
    }

    void allowedSitesAndElementHiding() {
        Folders f;
        f.write("system/easylist.txt",
                "##.ad-banner\nexample.com##.promo\nexample.com#@#.ad-banner\n"
                "##div[title=\"a\xe2\x80\xa8z\"]\n||ads.example.com^\n");
        {
            FilterListBlocker blocker(f.settings());
            QVERIFY(load(blocker));
            QSignalSpy spy(&blocker, &ContentBlocker::changed);
            blocker.setSiteAllowed("www.Example.ORG", true);
            QCOMPARE(spy.count(), 1);
        }
        const auto inConf = [&] {
            return QSettings(f.path("config/quillow.conf"), QSettings::IniFormat)
                .value("ContentBlocking/AllowedSites")
                .toStringList();
        };
        QCOMPARE(inConf(), QStringList{"example.org"});
        FilterListBlocker blocker(f.settings());
        QVERIFY(load(blocker));
        const std::pair<const char *, bool> hosts[] = {
            {"example.org", true},           {"shop.example.org", true}, {"www.example.org", true},
            {"example.org.evil.com", false}, {"notexample.org", false},  {"org", false}};
        for (const auto &[host, allowed] : hosts) {
            const QUrl page(QStringLiteral("https://") + host);
            QVERIFY2((blocker.stateFor(page) == ContentBlocker::State::OffForSite) == allowed,
                     host);
            QVERIFY2(blocks(blocker, kAd, QUrl(QStringLiteral("https://") + host),
                            RequestKind::Script) == !allowed,
                     host);
        }
        QCOMPARE(blocker.hidingForSite("www.example.com"),
                 "{\"off\":0,\"s\":[\".promo\",\"div[title=\\\"a\u2028z\\\"]\"]}");
        QCOMPARE(blocker.hidingForNames("www.example.com", ".ad-banner .x"), "{\"s\":[]}");
        QCOMPARE(blocker.hidingForNames("example.org", ".x .ad-banner"),
                 "{\"s\":[\".ad-banner\"]}");
        // Blocking back on for a subdomain takes away the entry that covered it.
        blocker.setSiteAllowed("shop.example.org", false);
        QVERIFY(blocker.isOn(QUrl("https://example.org/")) && inConf().isEmpty());
    }

    // The program's first load waits for the lists, never past its
    // deadline; requests never wait.
    void firstLoadWaitsUntilTheDeadline() {
        QByteArray big;
        for (int i = 0; i < 100000; ++i)
            big += "||ad" + QByteArray::number(i) + ".example.net^$third-party\n";
        big += "||ads.example.com^\n";
        Folders f;
        f.write("system/easylist.txt", big);
        FilterListBlocker::Settings settings = f.settings();
        settings.loadDelayMs = 60000;  // only when a page asks
        FilterListBlocker blocker(settings);
        blocker.start();
        QVERIFY(!blocks(blocker, kAd, kPage, RequestKind::Script));
        QElapsedTimer clock;
        clock.start();
        bool ready = false;
        qint64 waited = -1;
        QObject context;
        blocker.whenReady(&context, [&] {
            ready = blocker.ready();
            waited = clock.elapsed();
        });
        QTRY_VERIFY_WITH_TIMEOUT(waited >= 0, 20000);
        QVERIFY2(ready || waited >= 290, qPrintable(QString::number(waited)));
        QTRY_VERIFY_WITH_TIMEOUT(blocker.ready(), 20000);
        QVERIFY(blocks(blocker, kAd, kPage, RequestKind::Script));
        // Once ready, no load waits; one whose window is gone never runs.
        bool ran = false;
        blocker.whenReady(&context, [&] { ran = true; });
        QVERIFY(ran);
    }

    void updates() {
        test::HttpServer server;
        QVERIFY(server.listen());
        const QByteArray list = "! Title: extra\n||tracker.example.net^\n";
        server.route("/lists/Extra%20List.txt",
                     answer(200, "text/plain", list,
                            "ETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 10:00:00 GMT\r\n"));
        Folders f;
        f.write("system/easylist.txt", "||ads.example.com^\n");
        f.conf("Lists", QStringList{server.url("/lists/Extra%20List.txt"), "file:///etc/hosts",
                                    "ftp://127.0.0.1/list.txt"});
        QNetworkAccessManager network;
        FilterListBlocker blocker(f.settings(&network));
        QSignalSpy checked(&blocker, &FilterListBlocker::updatesChecked);
        QVERIFY(load(blocker));
        const QUrl tracker("https://tracker.example.net/t.gif");
        // The first check, right after start, fetches the list and applies it.
        QTRY_VERIFY_WITH_TIMEOUT(blocks(blocker, tracker, kPage, RequestKind::Image), 20000);
        QCOMPARE(server.requests, QStringList{"/lists/Extra%20List.txt"});
        QCOMPARE(f.read("config/filters/extralist.txt"), list);
        checked.clear();
        blocker.checkForUpdatesNow();  // checked within a day: nothing to ask
        QCOMPARE(checked.count(), 1);
        QCOMPARE(server.requests.size(), 1);

        const test::HttpServer::Response answers[] = {
            answer(304, "text/plain", {}, "ETag: \"v1\"\r\n"),
            answer(200, "text/html", "<!doctype html>\n<html><body>Moved</body></html>\n"),
            answer(200, "text/plain", "\x01\x02\xff\xfe{{{ ]]]\n###\n@@\n"),
            answer(500, "text/plain", "||other.example.org^\n"),
        };
        for (const auto &response : answers) {
            QSettings records(f.path("cache/filter-updates.ini"), QSettings::IniFormat);
            for (const QString &address : records.childGroups())
                records.setValue(address + "/checked", 1);  // long ago
            records.sync();
            server.route("/lists/Extra%20List.txt", response);
            checked.clear();
            blocker.checkForUpdatesNow();
            QVERIFY(checked.wait(20000));
            QVERIFY(server.heads.last().contains("\r\nIf-None-Match: \"v1\""));
            QVERIFY(server.heads.last().contains(
                "\r\nIf-Modified-Since: Mon, 07 Dec 2026 10:00:00 GMT"));
            QCOMPARE(f.read("config/filters/extralist.txt"), list);
            QVERIFY(blocks(blocker, tracker, kPage, RequestKind::Image));
            // A 304 counts as a check; a failure is tried again at the next one.
            const qsizetype asked = server.requests.size();
            blocker.checkForUpdatesNow();
            QVERIFY(checked.count() == 2 || checked.wait(20000));
            QCOMPARE(server.requests.size(), asked + (response.status == 304 ? 0 : 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestFilterListBlocker)
#include "test_filter_list_blocker.moc"
