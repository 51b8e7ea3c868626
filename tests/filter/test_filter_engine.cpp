// The filter engine by table: rules as EasyList and EasyPrivacy write them,
// requests, and the verdicts uBlock Origin gives for them; the public-suffix
// list; what the engine skips and the bounds it keeps; the compiled cache.

#include <QUrl>
#include <QtTest>

#include "filter/filter_engine.h"

using namespace quillow::filter;
using namespace Qt::StringLiterals;

namespace {

const PublicSuffixList &suffixes() {
    static const PublicSuffixList list = PublicSuffixList::fromText(
        "// comment\ncom\nnet\norg\nuk\nco.uk\nde\n*.ck\n!www.ck\nblogspot.com\n"
        "\xe5\x85\xac\xe5\x8f\xb8.cn\n");
    return list;
}

std::unique_ptr<FilterEngine> engineOf(const QString &rules, const FilterLimits &limits = {}) {
    const std::string text = rules.toStdString();
    return FilterEngine::build({text}, suffixes(), limits);
}

}  // namespace

class FilterEngineTest : public QObject {
    Q_OBJECT

private slots:
    void verdicts_data() {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("blocked");
        const auto row = [](const char *name, const char *rules, const char *kind, const char *page,
                            const char *url, bool blocked) {
            QTest::newRow(name) << QString::fromUtf8(rules) << QString::fromLatin1(kind)
                                << QString::fromUtf8(page) << QString::fromUtf8(url) << blocked;
        };
        const char *site = "https://www.site.co.uk/";
        row("host and its subdomains", "||ads.example.com^", "script", site,
            "https://x.ads.example.com:8080/a.js", true);
        row("not a longer host", "||ads.example.com^", "script", site,
            "https://ads.example.com.evil.net/a.js", false);
        row("not a host ending alike", "||ads.example.com^", "image", site,
            "https://xads.example.com/", false);
        row("exception", "||ads.com^\n@@||ads.com/ok/", "script", site, "https://ads.com/ok/x.js",
            false);
        row("important beats the exception", "||ads.com^$important\n@@||ads.com/ok/", "script",
            site, "https://ads.com/ok/x.js", true);
        row("same site is first party", "||cdn.site.co.uk^$third-party", "image", site,
            "https://cdn.site.co.uk/a.png", false);
        row("other site is third party", "||other.co.uk^$third-party", "image", site,
            "https://other.co.uk/a.png", true);
        row("a blank page is no site", "||t.net^$~third-party", "image", "about:blank",
            "https://t.net/p", false);
        row("any excluded name wins", "/ad/*$domain=a.site.com|~site.com", "image",
            "https://a.site.com/", "https://x.net/ad/1.gif", false);
        row("listed site and subdomains", "/ad/*$domain=site.com", "image", "https://b.site.com/",
            "https://x.net/ad/1.gif", true);
        row("entity name", "/ad/*$domain=google.*", "image", "https://www.google.co.uk/",
            "https://x.net/ad/1.gif", true);
        row("entity name, suffix only", "/ad/*$domain=google.*", "image",
            "https://google.example.com/", "https://x.net/ad/1.gif", false);
        row("no kind: not the page itself", "||ads.com^", "document", site, "https://ads.com/",
            false);
        row("no kind: not a popup", "||ads.com^", "popup", site, "https://ads.com/", false);
        row("document rule", "||ads.com^$document", "document", site, "https://ads.com/", true);
        row("popup rule", "||ads.com^$popup", "popup", site, "https://ads.com/p", true);
        row("all", "||ads.com^$all", "popup", site, "https://ads.com/p", true);
        row("negated kind", "/track^$~image", "ping", site, "https://x.net/track?a", true);
        row("negated kind excluded", "/track^$~image", "image", site, "https://x.net/track", false);
        row("separator is not a dot", "||ads.com/x^", "script", site, "https://ads.com/x.js",
            false);
        row("separator at the end", "||ads.com/x^", "script", site, "https://ads.com/x", true);
        row("end anchor", "|http://ads.com|", "script", site, "http://ads.com/", false);
        row("start anchor", "|https://ads.", "script", site, "HTTPS://ads.x.net/", true);
        row("bare host name is a host", "example.com", "script", site,
            "https://x.org/example.com/a.js", false);
        row("bare host name blocks", "example.com", "script", site, "https://www.example.com/",
            true);
        row("substring", "-ad-300x250.", "image", site, "https://x.net/i/top-ad-300x250.gif", true);
        row("wildcards", "/banner/*/img^", "image", site, "https://x.net/banner/a/b/img?1", true);
        row("regular expression, any case", "/ad[0-9]\\//", "image", site,
            "https://x.net/AD1/x.png", true);
        row("match-case", "/BannerAd.$match-case", "image", site, "https://x.net/bannerad.gif",
            false);
        row("badfilter cancels its twin", "||ads.com^\n||ads.com^$badfilter", "script", site,
            "https://ads.com/a.js", false);
        row("badfilter leaves others", "||ads.com^$script\n||ads.com^$badfilter", "script", site,
            "https://ads.com/a.js", true);
        row("websocket", "$websocket,domain=site.co.uk", "websocket", site, "wss://x.net/s", true);
        row("redirect skipped", "||ads.com^$script,redirect=noop.js", "script", site,
            "https://ads.com/a.js", false);
        row("unknown option never half read", "||ads.com^$webbundle", "script", site,
            "https://ads.com/a.js", false);
    }
    void verdicts() {
        QFETCH(QString, rules);
        QFETCH(QString, kind);
        QFETCH(QString, page);
        QFETCH(QString, url);
        QFETCH(bool, blocked);
        RequestKind k = RequestKind::Other;
        QVERIFY(requestKindFromName(kind.toStdString(), k));
        const auto engine = engineOf(rules);
        QCOMPARE(engine->blocks(url.toStdString(), page.toStdString(), k), blocked);
        // From the web engine's addresses, and from the compiled cache.
        QCOMPARE(engine->blocks(QUrl(url), QUrl(page), k), blocked);
        const auto cached = FilterEngine::deserialize(engine->serialize("s"), "s");
        QVERIFY(cached);
        QCOMPARE(cached->blocks(url.toStdString(), page.toStdString(), k), blocked);
    }

    void publicSuffixes_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("domain");
        QTest::newRow("two-label suffix") << u"a.b.site.co.uk"_s << u"site.co.uk"_s;
        QTest::newRow("wildcard") << u"x.a.b.ck"_s << u"a.b.ck"_s;
        QTest::newRow("exception") << u"a.www.ck"_s << u"www.ck"_s;
        QTest::newRow("a public suffix itself") << u"co.uk"_s << u"co.uk"_s;
        QTest::newRow("unlisted top level") << u"a.b.example"_s << u"b.example"_s;
        QTest::newRow("address") << u"10.0.0.1"_s << u"10.0.0.1"_s;
        QTest::newRow("international, in ASCII") << u"a.b.xn--55qx5d.cn"_s << u"b.xn--55qx5d.cn"_s;
    }
    void publicSuffixes() {
        QFETCH(QString, host);
        const std::string h = host.toStdString();
        QTEST(QString::fromStdString(std::string(suffixes().registrableDomain(h))), "domain");
    }

    // Rules beyond refusing and hiding are skipped and counted; a hostile
    // list costs no more than the bounds.
    void skippedAndBounded() {
        const auto engine = engineOf(
            u"! comment\n[Adblock Plus 2.0]\n||a.com^$redirect=noop.js\n||b.com^$csp=x\n"
            "##+js(aopr, x)\nsite.com##div:has(.ad)\nsite.com#?#.x\n||c.com^$removeparam=x\n"
            "/(/\n||d.com^$nonsense\n##.ok\n||e.com^\n"_s +
            QString(9000, u'x'));
        const FilterStats &s = engine->stats();
        QCOMPARE(s.networkRules, 1u);
        QCOMPARE(s.cosmeticRules, 1u);
        QCOMPARE(s.unsupported, 6u);
        QCOMPARE(s.invalid, 3u);  // a bad expression, an unknown option, a huge line
        FilterLimits limits;
        limits.maxNetworkRules = 1000;
        limits.maxRegexRules = 2;
        QString many;
        for (int i = 0; i < 1500; ++i)
            many += u"||h%1.com^\n/r%1[0-9]/\n"_s.arg(i);
        const auto bounded = engineOf(many, limits);
        QCOMPARE(bounded->stats().networkRules, 1000u);
        QCOMPARE(bounded->stats().overLimit, 2000u);
    }

    // Element hiding as the page script reads it.
    void elementHiding() {
        const auto engine = engineOf(
            u"##.ad\n##.gone\nsite.com,~x.site.com##div[id=\"x\"]\nsite.com#@#.ad\n#@#.gone\n"
            "@@||quiet.com^$generichide\n@@||none.com^$elemhide"_s);
        QCOMPARE(
            QString::fromStdString(engine->cosmeticJson()),
            QStringLiteral("{\"g\":[\".ad\"],\"s\":{\"site.com\":[\"div[id=\\\"x\\\"]\"]},"
                           "\"x\":{\"site.com\":[\".ad\"],\"x.site.com\":[\"div[id=\\\"x\\\"]\"]},"
                           "\"o\":{\"none.com\":2,\"quiet.com\":1}}"));
    }

    // A cache from other lists, or cut short, is not read.
    void cacheOfOtherListsRefused() {
        const auto engine = engineOf(u"||ads.com^\n##.ad"_s);
        const std::string cache = engine->serialize("lists v1");
        QVERIFY(!FilterEngine::deserialize(cache, "lists v2"));
        QVERIFY(!FilterEngine::deserialize(cache.substr(0, cache.size() - 1), "lists v1"));
        QVERIFY(!FilterEngine::deserialize(std::string(), "lists v1"));
    }
};

QTEST_APPLESS_MAIN(FilterEngineTest)
#include "test_filter_engine.moc"
