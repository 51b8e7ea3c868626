#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "content_blocking/filter_list_blocker.h"
#include "content_blocking/list_updates.h"
#include "files/settings_file.h"
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
        s.systemLists = QStringList{path("system/easylist.txt")};
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
                         blocker.hidingForSite("example.org").isEmpty() &&
                         blocker.hidingScriptData() == "{\"on\":0}" &&
                         blocker.hidingNameFilter().isEmpty(),
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
        // Past 50 subscribed lists, and past 64 MiB in all (the list that
        // would pass the cap too), lists are left out.
        QVERIFY(QDir(f.root.path()).mkpath("cache/lists"));
        QStringList subscribed;
        for (int i = 1; i <= 51; ++i) {
            subscribed.append(QStringLiteral("https://lists.example/%1.txt").arg(i));
            f.write(ListUpdates::fileFor("cache/lists", subscribed.last()),
                    "||s" + QByteArray::number(i) + ".example^\n");
        }
        f.conf("Lists", subscribed);
        for (const char *name : {"config/filters/x1.txt", "config/filters/x2.txt"}) {
            QFile file(f.path(name));
            QVERIFY(file.open(QIODevice::WriteOnly) &&
                    file.resize(FilterListBlocker::kMostListBytes));
        }
        FilterListBlocker capped(f.settings());
        QVERIFY(load(capped));
        QCOMPARE(capped.problems(), QStringList{"1 lists too large left out"});
        QVERIFY(blocks(capped, QUrl("https://s50.example/"), kPage, RequestKind::Script));
        QVERIFY(!blocks(capped, QUrl("https://s51.example/"), kPage, RequestKind::Script));
    }

    // The package's default lists are all read, unless the user keeps some
    // of them by uBlock Origin's names for them ("DefaultLists=": none).
    void defaultListsChosen() {
        const std::tuple<const char *, QVariant, bool, bool> cases[] = {
            {"not said", QVariant(), true, true},
            {"EasyList alone", QStringList{"easylist", "no-such-list"}, true, false},
            {"uBlock's own and EasyList", QStringList{"ublock-filters", "easylist"}, true, true},
            {"none", QString(), false, false}};
        for (const auto &[name, chosen, easyList, ublock] : cases) {
            Folders f;
            QVERIFY(QDir(f.root.path()).mkpath("package/assets/ublock") &&
                    QDir(f.root.path()).mkpath("package/assets/thirdparties/easylist"));
            f.write("package/assets/thirdparties/easylist/easylist.txt", "||ads.example.com^\n");
            f.write("package/assets/ublock/filters.min.txt", "||t.example.net^\n");
            f.write("config/filters/mine.txt", "||mine.example^\n");
            if (chosen.isValid())
                f.conf("DefaultLists", chosen);
            FilterListBlocker::Settings settings = f.settings();
            settings.systemLists.clear();
            settings.packageDir = f.path("package");
            FilterListBlocker blocker(settings);
            QVERIFY2(load(blocker), name);
            QVERIFY2(blocks(blocker, QUrl("https://mine.example/"), kPage, RequestKind::Script),
                     name);
            QVERIFY2(blocks(blocker, kAd, kPage, RequestKind::Script) == easyList, name);
            QVERIFY2(blocks(blocker, QUrl("https://t.example.net/p"), kPage, RequestKind::Script) ==
                         ublock,
                     name);
        }
    }

    // A link, a pipe or a folder planted where the program keeps its
    // files is never written through nor waited on; without folders of its
    // own (no home, --private) it writes nothing and still blocks.
    void plantedFilesAndNoFolders() {
        const char *planted[] = {"link", "pipe", "folder"};
        for (const char *what : planted) {
            Folders f;
            f.write("system/easylist.txt", "||ads.example.com^\n");
            f.write("victim", "mine");
            QVERIFY(QDir(f.root.path()).mkpath("cache") && QDir(f.root.path()).mkpath("config"));
            for (const char *name : {"cache/filters.idx", "config/quillow.conf"}) {
                const QByteArray path = QFile::encodeName(f.path(name));
                if (qstrcmp(what, "link") == 0)
                    QVERIFY(QFile::link(f.path("victim"), f.path(name)));
                else if (qstrcmp(what, "pipe") == 0)
                    QCOMPARE(::mkfifo(path.constData(), 0600), 0);
                else
                    QVERIFY(QDir().mkpath(f.path(name)));
            }
            FilterListBlocker blocker(f.settings());
            QVERIFY2(load(blocker), what);
            blocker.setSiteAllowed("site.example", true);
            QVERIFY(blocks(blocker, kAd, kPage, RequestKind::Script));
            QCOMPARE(f.read("victim"), QByteArray("mine"));
            const bool folder = qstrcmp(what, "folder") == 0;
            QCOMPARE(QFileInfo(f.path("cache/filters.idx")).isFile(), !folder);
            QCOMPARE(f.read("config/quillow.conf").contains("site.example"), !folder);
            QCOMPARE(blocker.problems().join("").contains("could not be kept"), folder);
        }
        for (const bool noFolders : {true, false}) {
            Folders f;
            f.write("system/easylist.txt", "||ads.example.com^\n");
            FilterListBlocker::Settings settings = f.settings();
            if (noFolders)
                settings.configDir = settings.cacheDir = QString();
            else
                settings.writesNothing = true;
            FilterListBlocker blocker(settings);
            QVERIFY(load(blocker));
            blocker.setSiteAllowed("news.example.com", true);
            QVERIFY(blocks(blocker, kAd, QUrl("https://other.example.com/"), RequestKind::Script));
            QVERIFY(!blocker.isOn(kPage));
            QCOMPARE(QDir(f.root.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                     QStringList({"config", "psl.dat", "system"}));
            QVERIFY(!QFile::exists(f.path("config/quillow.conf")));
        }
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
                 "{\"off\":0,\"s\":[\".promo\"],\"e\":[\"div[title=\\\"a\u2028z\\\"]\"]}");
        QCOMPARE(blocker.hidingForNames("www.example.com", ".ad-banner .x"), "{\"s\":[]}");
        QCOMPARE(blocker.hidingForNames("example.org", ".x .ad-banner"),
                 "{\"s\":[\".ad-banner\"]}");
        // Every script carries what a site without data of its own is sent,
        // and the sites the user lets be while they are few.
        const QByteArray carried = blocker.hidingScriptData();
        QVERIFY(
            carried.contains(",\"d\":{\"off\":0,\"s\":[],\"e\":[\"div[title=\\\"a\u2028z\\\"]\"]},"
                             "\"a\":[\"example.org\"]}"));
        QVERIFY(carried.startsWith("{\"n\":\"" + blocker.hidingNameFilter() + "\",\"h\":\"") &&
                blocker.hidingNameFilter().size() > 1000);
        // Blocking back on for a subdomain takes away the entry that covered it.
        blocker.setSiteAllowed("shop.example.org", false);
        QVERIFY(blocker.isOn(QUrl("https://example.org/")) && inConf().isEmpty());
        for (int i = 0; i < 257; ++i)
            blocker.setSiteAllowed(QStringLiteral("site%1.org").arg(i), true);
        QVERIFY(blocker.hidingScriptData().endsWith(",\"a\":null}"));
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
        QVERIFY2(ready || waited >= 250, qPrintable(QString::number(waited)));
        QTRY_VERIFY_WITH_TIMEOUT(blocker.ready(), 20000);
        QVERIFY(blocks(blocker, kAd, kPage, RequestKind::Script));
        // Once ready, no load waits; one whose window is gone never runs.
        bool ran = false;
        blocker.whenReady(&context, [&] { ran = true; });
        QVERIFY(ran);
        // Loads that keep asking meanwhile do not put the deadline off: with
        // a short one, the first goes on long before the lists are ready.
        Folders other;
        other.write("system/easylist.txt", big);
        settings = other.settings();
        settings.loadDelayMs = 60000;
        settings.firstLoadWaitMs = 20;
        FilterListBlocker hurried(settings);
        hurried.start();
        ready = true;
        waited = -1;
        hurried.whenReady(&context, [&] {
            ready = hurried.ready();
            waited = clock.elapsed();
        });
        QTimer more;
        connect(&more, &QTimer::timeout, &context, [&] { hurried.whenReady(&context, [] {}); });
        more.start(5);
        QTRY_VERIFY_WITH_TIMEOUT(waited >= 0, 20000);
        QVERIFY(!ready);
    }

    // Subscribed lists: each address its own file, fetched together, a
    // change asked for; replaced only by a filter list, in time and within
    // the cap; what failed is told.
    void updates() {
        test::HttpServer server;
        QVERIFY(server.listen());
        const QByteArray list = "! Title: extra\n||tracker.example.net^\n";
        const QByteArray other = "||other.example.org^\n";
        const QByteArray headers =
            "ETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 10:00:00 GMT\r\n";
        server.route("/a/list.txt", answer(200, "text/plain", list, headers));
        server.route("/b/list.txt", answer(200, "text/plain", other));
        test::HttpServer::Response slow = answer(200, "text/plain", other);
        slow.trickleMs = 200;
        server.route("/slow/list.txt", slow);
        Folders f;
        f.write("system/easylist.txt", "||ads.example.com^\n");
        f.write("config/filters/list.txt", "||mine.example.com^\n");
        const QString a = server.url("/a/list.txt");
        f.conf("Lists", QStringList{a, server.url("/slow/list.txt"), server.url("/b/list.txt"),
                                    "file:///etc/hosts", "ftp://127.0.0.1/list.txt"});
        QNetworkAccessManager network;
        FilterListBlocker::Settings settings = f.settings(&network);
        settings.updateDeadlineMs = 1500;
        FilterListBlocker blocker(settings);
        QSignalSpy checked(&blocker, &FilterListBlocker::updatesChecked);
        QVERIFY(load(blocker));
        const QUrl tracker("https://tracker.example.net/t.gif");
        const QUrl otherAd("https://other.example.org/t.gif");
        const QUrl mine("https://mine.example.com/t.gif");
        // Both lists of the same name apply at once, the slow one holding up
        // neither; the user's own list of that name stays as it was.
        QTRY_VERIFY_WITH_TIMEOUT(blocks(blocker, tracker, kPage, RequestKind::Image) &&
                                     blocks(blocker, otherAd, kPage, RequestKind::Image),
                                 1400);
        QVERIFY(blocks(blocker, mine, kPage, RequestKind::Image));
        QCOMPARE(f.read("config/filters/list.txt"), QByteArray("||mine.example.com^\n"));
        QVERIFY(checked.wait(20000));
        QCOMPARE(blocker.problems(), QStringList{"not updated: " + server.url("/slow/list.txt") +
                                                 ": no whole answer within 1 s"});
        // Checked within a day: only the failed one is asked again.
        server.requests.clear();
        server.route("/slow/list.txt", answer(200, "text/plain", other));
        checked.clear();
        blocker.checkForUpdatesNow();
        QVERIFY(checked.wait(20000));
        QCOMPARE(server.requests, QStringList{"/slow/list.txt"});
        QVERIFY(blocker.problems().isEmpty());

        const QByteArray head = "! Title: large\n", tail = "\n||large.example^\n";
        const QByteArray atCap =
            head + QByteArray(FilterListBlocker::kMostListBytes - head.size() - tail.size(), '!') +
            tail;
        const std::pair<test::HttpServer::Response, const char *> answers[] = {
            {answer(200, "text/html",
                    "<html>\n<head><title>Moved</title></head>\n<body><h1>Moved</h1></body>\n"
                    "</html>\n"),
             "the answer is no filter list"},
            {answer(200, "application/json", "{\"error\":\"rate_limited\"}"),
             "the answer is no filter list"},
            {answer(200, "text/plain", "Forbidden\nhttps://status.example.net/\n"),
             "the answer is no filter list"},
            {answer(200, "text/plain", "! Title: caf\xe9\n||cafe.example^\n"),
             "the answer is no filter list"},
            {answer(200, "text/plain", "\x01\x02\xff\xfe{{{ ]]]\n###\n@@\n"),
             "the answer is no filter list"},
            {answer(500, "text/plain", other), "the server answered 500"},
            {answer(200, "text/plain", atCap + "x"), "larger than 32 MiB"},
            {answer(200, "text/plain", atCap, headers), nullptr},
            {answer(304, "text/plain", {}, "ETag: \"v1\"\r\n"), nullptr},
        };
        for (const auto &[response, failure] : answers) {
            files::SettingsFile records(f.path("cache/filter-updates.ini"));
            for (const QString &group : records.settings().childGroups())
                records.settings().setValue(group + "/checked", 1);  // long ago
            QCOMPARE(records.save(), files::FileProblem::None);
            server.route("/a/list.txt", response);
            server.heads.clear();
            server.requests.clear();
            checked.clear();
            blocker.checkForUpdatesNow();
            QVERIFY(checked.wait(20000));
            const QByteArray asked = server.heads.value(server.requests.indexOf("/a/list.txt"));
            QVERIFY(asked.contains("\r\nIf-None-Match: \"v1\""));
            QVERIFY(asked.contains("\r\nIf-Modified-Since: Mon, 07 Dec 2026 10:00:00 GMT"));
            const QString problem = failure ? "not updated: " + a + ": " + failure : QString();
            QCOMPARE(blocker.problems().join(""), problem);
            // A failure keeps the list as it was.
            if (failure)
                QVERIFY(blocks(blocker, tracker, kPage, RequestKind::Image));
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            blocks(blocker, QUrl("https://large.example/x"), kPage, RequestKind::Image), 20000);
        // A 304 is a check too: nothing is due again within a day.
        server.requests.clear();
        checked.clear();
        blocker.checkForUpdatesNow();
        QVERIFY(checked.count() == 1 && server.requests.isEmpty());
    }

    // Rules of two lists asked out of order, one twice and one the lists do
    // not hold: the texts come in the order asked.
    void rulesDescribed() {
        Folders f;
        f.write("system/easylist.txt", "! list\n||ads.example.com^\n/banner/*$image\n");
        f.write("config/filters/mine.txt", "||t.example.net^\n");
        FilterListBlocker blocker(f.settings());
        QVERIFY(load(blocker));
        const auto ruleOf = [&](const char *url, RequestKind kind) {
            return blocker.decide(QUrl(url), kPage, kind).rule;
        };
        const filter::RuleRef ad = ruleOf("https://ads.example.com/x.js", RequestKind::Script);
        const filter::RuleRef banner =
            ruleOf("https://cdn.example.org/banner/a.png", RequestKind::Image);
        const filter::RuleRef tracker = ruleOf("https://t.example.net/p", RequestKind::Script);
        QStringList shown;
        blocker.describeRules({banner, tracker, ad, banner, filter::RuleRef()},
                              [&](const QList<ContentBlocker::RuleText> &texts) {
                                  for (const ContentBlocker::RuleText &t : texts)
                                      shown.append(t.text + '@' + t.list);
                              });
        QTRY_COMPARE(
            shown,
            QStringList({"/banner/*$image@easylist.txt", "||t.example.net^@mine.txt",
                         "||ads.example.com^@easylist.txt", "/banner/*$image@easylist.txt", "@"}));
        QString one;
        blocker.describe(tracker, [&](const QString &text) { one = text; });
        QTRY_COMPARE(one, QString("||t.example.net^ (mine.txt)"));
    }
};

QTEST_GUILESS_MAIN(TestFilterListBlocker)
#include "test_filter_list_blocker.moc"
