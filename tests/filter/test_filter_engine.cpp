// The filter engine by table: rules as the lists write them, requests, and
// the verdicts uBlock Origin gives for them, through every way the index
// finds a rule; the public-suffix list; what the engine skips and the
// bounds it keeps; the compiled cache, also damaged; the kinds the web
// engine's requests are given.

#include <QUrl>
#include <QtTest>

#include "browser/content_blocking.h"
#include "filter/cache_format.h"
#include "filter/filter_engine.h"
#include "filter/host_hash.h"
#include "filter/list_reader.h"
#include "filter/rule_parser.h"
#include "filter/scriptlet_library.h"

using namespace quillow::filter;
using namespace Qt::StringLiterals;

namespace {

const PublicSuffixList &suffixes() {
    static const PublicSuffixList list = PublicSuffixList::fromText(
        "// comment\ncom\nnet\norg\nuk\nco.uk\nde\n*.ck\n!www.ck\nblogspot.com\n"
        "\xe5\x85\xac\xe5\x8f\xb8.cn\n\xd1\x80\xd1\x84\n");
    return list;
}

std::unique_ptr<FilterEngine> engineOf(const QString &rules, const FilterLimits &limits = {}) {
    const std::string text = rules.toStdString();
    return FilterEngine::build({text}, suffixes(), limits);
}

QString many(const QString &piece, int times) {
    QString out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
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
        QTest::addColumn<int>("line");  // of the rule that blocks; 0: allowed
        const auto row = [](const char *name, const QString &rules, const char *kind,
                            const char *page, const QString &url, int line) {
            QTest::newRow(name) << rules << QString::fromLatin1(kind) << QString::fromUtf8(page)
                                << url << line;
        };
        const char *site = "https://www.site.co.uk/";
        // By the request's host.
        row("host and its subdomains", u"||ads.example.com^"_s, "script", site,
            u"https://x.ads.example.com:8080/a.js"_s, 1);
        row("not a longer host", u"||ads.example.com^"_s, "script", site,
            u"https://ads.example.com.evil.net/a.js"_s, 0);
        row("not a host ending alike", u"||ads.example.com^"_s, "image", site,
            u"https://xads.example.com/"_s, 0);
        row("a host's final dot", u"||google-analytics.com^"_s, "script", site,
            u"https://www.google-analytics.com./analytics.js"_s, 1);
        row("a host in Unicode", u"!\n||пример.рф^"_s, "script", site,
            u"https://ads.пример.рф/a.js"_s, 2);
        row("past 32 labels", u"||ads.com^"_s, "script", site,
            u"https://"_s + many(u"a."_s, 40) + u"ads.com/x.js"_s, 1);
        row("bare host name is a host", u"example.com"_s, "script", site,
            u"https://x.org/example.com/a.js"_s, 0);
        row("bare host name blocks", u"example.com"_s, "script", site,
            u"https://www.example.com/"_s, 1);
        row("a host rule of one kind", u"||ads.com^$script"_s, "image", site,
            u"https://ads.com/a.png"_s, 0);
        // By a word of the address, at the word's place.
        row("substring", u"-ad-300x250."_s, "image", site, u"https://x.net/i/top-ad-300x250.gif"_s,
            1);
        row("wildcards", u"/banner/*/img^"_s, "image", site, u"https://x.net/banner/a/b/img?1"_s,
            1);
        row("a word after a wildcard", u"/ads/*/banner."_s, "image", site,
            u"https://x.net/ads/xyz/banner.gif"_s, 1);
        row("a word cut at the pattern's start", u"ad-*.gif"_s, "image", site,
            u"https://x.net/bad-banner.gif"_s, 1);
        row("^ is no letter", u"||ads.com/x^"_s, "script", site, u"https://ads.com/xa"_s, 0);
        row("^ is no dot", u"||ads.com/x^"_s, "script", site, u"https://ads.com/x.js"_s, 0);
        row("^ at the end", u"||ads.com/x^"_s, "script", site, u"https://ads.com/x"_s, 1);
        row("a run of ^ before text", u"*^^x.gif"_s, "image", site, u"https://y.net/a&&x.gif"_s, 1);
        row("a run of ^, too short", u"*^^x.gif"_s, "image", site, u"https://y.net/a&x.gif"_s, 0);
        row("|| at a label", u"||ad*.net/banner.gif"_s, "image", site,
            u"https://x.ad.net/banner.gif"_s, 1);
        row("|| not inside a label", u"||ad*.net/banner.gif"_s, "image", site,
            u"https://bad.net/banner.gif"_s, 0);
        row("end anchor", u"|http://ads.com|"_s, "script", site, u"http://ads.com/"_s, 0);
        row("start anchor", u"|https://ads."_s, "script", site, u"HTTPS://ads.x.net/"_s, 1);
        row("past 256 words", u"/js/prebid.js"_s, "script", site,
            u"https://x.net/"_s + many(u"a/"_s, 260) + u"js/prebid.js"_s, 1);
        row("over 4 KiB", u"/pixel.gif?"_s, "image", site,
            u"https://x.net/"_s + many(u"ab"_s, 3000) + u"/pixel.gif?x"_s, 1);
        // Words are read 64 characters at a time and hashed eight at a
        // time: a word across either edge is found whole.
        const QString word = u"/trackingpixelcollector."_s;
        for (const int before : {27, 42, 45, 49, 105}) {
            const QByteArray name = "a long word after " + QByteArray::number(before);
            row(name.constData(), word, "image", site,
                u"https://x.com/"_s + many(u"a"_s, before) + word + u"gif"_s, 1);
        }
        row("a long word ends the address", u"=trackingpixelcollector|"_s, "image", site,
            u"https://x.com/"_s + many(u"a"_s, 70) + u"?q=trackingpixelcollector"_s, 1);
        row("a word of eight", u"/adbanner."_s, "image", site, u"https://x.com/adbanner.gif"_s, 1);
        row("a word of nine", u"/adbanners."_s, "image", site, u"https://x.com/adbanners.gif"_s, 1);
        row("a word of nine is not eight", u"/adbanner."_s, "image", site,
            u"https://x.com/adbanners.gif"_s, 0);
        // By a site of domain=, or tried on every request.
        row("domain= only", u"$websocket,domain=site.co.uk"_s, "websocket", site,
            u"wss://x.net/s"_s, 1);
        row("entity name", u"/ad/*$domain=google.*"_s, "image", "https://www.google.co.uk/",
            u"https://x.net/ad/1.gif"_s, 1);
        row("entity name, suffix only", u"/ad/*$domain=google.*"_s, "image",
            "https://google.example.com/", u"https://x.net/ad/1.gif"_s, 0);
        row("by an entity name alone", u"*$image,domain=google.*"_s, "image",
            "https://www.google.co.uk/", u"https://x.net/a.gif"_s, 1);
        row("by an entity name, another site", u"*$image,domain=google.*"_s, "image", site,
            u"https://x.net/a.gif"_s, 0);
        row("unindexed", u"$image,domain=~other.com"_s, "image", site, u"https://x.net/a"_s, 1);
        row("unindexed, another kind", u"$image,domain=~other.com"_s, "script", site,
            u"https://x.net/a"_s, 0);
        // A host rules for some sites name: found by the page's site.
        QString perSite;
        for (int n = 1; n <= 6; ++n)
            perSite += u"||cdn.com/ima3.js$domain=s%1.com\n"_s.arg(n);
        row("a host named for many sites", perSite, "script", "https://www.s5.com/",
            u"https://cdn.com/ima3.js"_s, 5);
        row("a host named for many sites, another", perSite, "script", site,
            u"https://cdn.com/ima3.js"_s, 0);
        row("any excluded name wins", u"/ad/*$domain=a.site.com|~site.com"_s, "image",
            "https://a.site.com/", u"https://x.net/ad/1.gif"_s, 0);
        row("listed site and subdomains", u"/ad/*$domain=site.com"_s, "image",
            "https://b.site.com/", u"https://x.net/ad/1.gif"_s, 1);
        row("a site in Unicode", u"/ad.js$domain=пример.рф"_s, "script", "https://пример.рф/",
            u"https://cdn.net/ad.js"_s, 1);
        row("IPv6 sites excluded", u"||0.0.0.0^$third-party,domain=~0.0.0.0|~127.0.0.1|~[::1]"_s,
            "image", "http://[::1]/", u"http://0.0.0.0/x"_s, 0);
        row("IPv6 sites, another page", u"||0.0.0.0^$third-party,domain=~0.0.0.0|~[::1]|~local"_s,
            "image", site, u"http://0.0.0.0/x"_s, 1);
        row("an IPv6 host", u"||[::1]^$third-party\n||[::]^"_s, "image", site,
            u"http://[::1]:8080/x"_s, 1);
        row("an IPv6 host, not a longer one", u"||[::1]^"_s, "image", site, u"http://[::1:2]/x"_s,
            0);
        row("a top-level name's path", u"||com/ick.infonium.org^$frame"_s, "subdocument", site,
            u"https://com/ick.infonium.org/x"_s, 1);
        row("a top-level name's sites", u"/z-$script,domain=com|to"_s, "script", "https://a.to/",
            u"https://cdn.net/z-1.js"_s, 1);
        row("a text every request of a kind tries", u"/sytheb\n||dlscord*."_s, "image", site,
            u"https://www.dlscord.net/a.png"_s, 2);
        // Party, kinds, exceptions.
        row("exception", u"||ads.com^\n@@||ads.com/ok/"_s, "script", site,
            u"https://ads.com/ok/x.js"_s, 0);
        row("important beats the exception", u"@@||ads.com/ok/\n||ads.com^$important"_s, "script",
            site, u"https://ads.com/ok/x.js"_s, 2);
        row("same site is first party", u"||cdn.site.co.uk^$third-party"_s, "image", site,
            u"https://cdn.site.co.uk/a.png"_s, 0);
        row("other site is third party", u"||other.co.uk^$third-party"_s, "image", site,
            u"https://other.co.uk/a.png"_s, 1);
        row("a blank page is no site", u"||t.net^$~third-party"_s, "image", "about:blank",
            u"https://t.net/p"_s, 0);
        row("no kind: not the page itself", u"||ads.com^"_s, "document", site,
            u"https://ads.com/"_s, 0);
        row("no kind: not a popup", u"||ads.com^"_s, "popup", site, u"https://ads.com/"_s, 0);
        row("document rule", u"||ads.com^$document"_s, "document", site, u"https://ads.com/"_s, 1);
        row("popup rule", u"||ads.com^$popup"_s, "popup", site, u"https://ads.com/p"_s, 1);
        row("all", u"||ads.com^$all"_s, "popup", site, u"https://ads.com/p"_s, 1);
        row("negated kind", u"/track^$~image"_s, "ping", site, u"https://x.net/track?a"_s, 1);
        row("negated kind excluded", u"/track^$~image"_s, "image", site, u"https://x.net/track"_s,
            0);
        row("negated kind: not the page itself", u"||ads.com^$~image"_s, "document", site,
            u"https://ads.com/"_s, 0);
        row("xhr", u"||ads.com^$xhr"_s, "xmlhttprequest", site, u"https://ads.com/a"_s, 1);
        row("a hiding switch allows no request", u"||ads.com^\n@@||ads.com^$generichide"_s,
            "script", site, u"https://ads.com/a.js"_s, 1);
        // Regular expressions, and case.
        row("regular expression, any case", u"/ad[0-9]\\//"_s, "image", site,
            u"https://x.net/AD1/x.png"_s, 1);
        row("an escaped character", u"/ad\\x2dbanner/"_s, "image", site,
            u"https://x.net/ad-banner.gif"_s, 1);
        row("an optional character", u"/ads?x/"_s, "image", site, u"https://x.net/adx.gif"_s, 1);
        // What an expression's every match holds is looked for first: never
        // more than it holds, however its classes and repetitions are written.
        const QString counted = u"/^https?:\\/\\/[a-z]{3}\\.com\\/[0-9a-f]{8}\\.js$/"_s;
        row("counted repetitions", counted, "script", site, u"https://abc.com/deadbeef.js"_s, 1);
        row("counted repetitions, too short", counted, "script", site, u"https://abc.com/dead.js"_s,
            0);
        // A run of a class every match holds is looked for first, in any
        // case, negated and escaped classes too.
        const QString hash = u"/\\/[0-9a-f]{32}\\.js$/"_s;
        row("a run of a class", hash, "script", site,
            u"https://x.net/0123456789ABCDEF0123456789abcdef.js"_s, 1);
        row("a run of a class, broken", hash, "script", site,
            u"https://x.net/0123456789abcdef0123456789abcdeg/0123456789abcdef.js"_s, 0);
        row("a run of an upper-case class", u"/\\/[A-Z]{10}\\//$match-case"_s, "image", site,
            u"https://x.net/ABCDEFGHIJ/"_s, 1);
        row("a run of a negated class", u"/[^\\/.]{12}\\.gif/"_s, "image", site,
            u"https://x.net/a-b_c%20d~efg.gif"_s, 1);
        row("a run of digits", u"/\\/\\d{8}\\/[\\w-]{9}$/"_s, "image", site,
            u"https://x.net/20261209/ab_cd-EF9"_s, 1);
        row("a class opening with ']'", u"/\\/x[]ab]{2}y\\//"_s, "image", site,
            u"https://x.net/xbay/"_s, 1);
        row("a named class", u"/^https:\\/\\/x\\.net\\/[[:digit:]]$/"_s, "image", site,
            u"https://x.net/7"_s, 1);
        row("quoted text", u"/^https:\\/\\/x\\.net\\/\\Qa\\E$/"_s, "image", site,
            u"https://x.net/a"_s, 1);
        row("a group's choice counts for nothing", u"/^https:\\/\\/(?:a|bbbbbbbbbb)\\.com\\//"_s,
            "image", site, u"https://a.com/"_s, 1);
        row("lazy and word edges", u"/\\bab+?c{2,}?\\b/"_s, "image", site, u"https://x.net/abcc/"_s,
            1);
        row("a '{' standing for itself, then a choice", u"/abcd{|wxyz/"_s, "image", site,
            u"https://x.net/wxyz"_s, 1);
        const QString end = u"/^https:\\/\\/x\\.net\\/"_s;
        for (const QString &one : {u"\\101"_s, u"\\pL"_s, u"\\x{61}"_s, u"\\p{Latin}"_s})
            row(qPrintable(u"one character written "_s + one), end + one + u"$/"_s, "image", site,
                u"https://x.net/A"_s, 1);
        // A large program is compiled with more room, kept in the cache.
        const QString large = u"/^https:\\/\\/[a-z]{8,15}\\.club\\/[%0-9a-zA-Z]{170,}$/"_s;
        row("a large program", large, "image", site,
            u"https://abcdefgh.club/"_s + many(u"a1B2"_s, 45), 1);
        row("a large program, too short", large, "image", site,
            u"https://abcdefgh.club/"_s + many(u"a1B2"_s, 40), 0);
        row("match-case expression", u"/\\/RegexAd\\./$match-case"_s, "image", site,
            u"https://x.net/RegexAd.gif"_s, 1);
        row("match-case expression, other case", u"/\\/RegexAd\\./$match-case"_s, "image", site,
            u"https://x.net/regexad.gif"_s, 0);
        row("match-case pattern dropped", u"/BannerAd.$match-case"_s, "image", site,
            u"https://x.net/BannerAd.gif"_s, 0);
        row("match-case pattern, lower case", u"/BannerAd.$match-case"_s, "image", site,
            u"https://x.net/bannerad.gif"_s, 0);
        // badfilter, in any order, case and line end.
        row("badfilter cancels its twin", u"||ads.com^\n||ads.com^$badfilter"_s, "script", site,
            u"https://ads.com/a.js"_s, 0);
        row("badfilter, options reordered",
            u"||ads.com^$third-party,script\r\n||ads.com^$SCRIPT,Third-Party,BadFilter\r\n"_s,
            "script", site, u"https://ads.com/a.js"_s, 0);
        row("badfilter leaves others", u"||ads.com^$script\r\n||ads.com^$badfilter\r\n"_s, "script",
            site, u"https://ads.com/a.js"_s, 1);
        // A rule for every address from some sites loses only the sites a
        // badfilter names.
        const QString popups =
            u"$popup,third-party,domain=a.com|site.co.uk\n"
            u"*$popup,3p,domain=site.co.uk,badfilter"_s;
        row("badfilter takes a site out", popups, "popup", site, u"https://b.com/"_s, 0);
        row("badfilter leaves the other sites", popups, "popup", "https://a.com/",
            u"https://b.com/"_s, 1);
        row("a host QUrl refuses and the web engine asks", u"||pub-.net^"_s, "script", site,
            u"https://www.pub-.net/a.js"_s, 1);
        row("bare numbers are no host", u"1.2.3.4"_s, "image", site, u"https://x.com/?ip=1.2.3.4"_s,
            1);
        // A host many rules name: its rules are still each found.
        QString crowded;
        for (int n = 1; n <= 40; ++n)
            crowded += u"||files.com/a%1.js\n"_s.arg(n);
        row("a crowded host's rule", crowded, "script", site, u"https://files.com/a37.js"_s, 37);
        row("a crowded host's other address", crowded, "script", site, u"https://files.com/b.js"_s,
            0);
        // Options beyond refusing.
        row("redirect blocks", u"||ads.com^$script,redirect=noop.js"_s, "script", site,
            u"https://ads.com/a.js"_s, 1);
        row("redirect-rule alone does not", u"||ads.com^$script,redirect-rule=noop.js"_s, "script",
            site, u"https://ads.com/a.js"_s, 0);
        row("removeparam does not block", u"||x.com^$removeparam=/^utm_/"_s, "document", site,
            u"https://x.com/?utm_source=1"_s, 0);
        row("replace does not block", u"||x.com/a.js$replace=/ads/x/"_s, "script", site,
            u"https://x.com/a.js"_s, 0);
        row("unknown option never half read", u"||ads.com^$webbundle"_s, "script", site,
            u"https://ads.com/a.js"_s, 0);
    }
    void verdicts() {
        QFETCH(QString, rules);
        QFETCH(QString, kind);
        QFETCH(QString, page);
        QFETCH(QString, url);
        QFETCH(int, line);
        RequestKind k = RequestKind::Other;
        QVERIFY(requestKindFromName(kind.toStdString(), k));
        const auto engine = engineOf(rules);
        const QUrl request(url);
        const QUrl pageUrl(page);
        const auto cached = FilterEngine::deserialize(engine->serialize("s"), "s");
        QVERIFY(cached);
        // From the web engine's addresses, from the encoded ones, and from
        // the compiled cache.
        for (const Verdict &v :
             {engine->decide(request, pageUrl, k),
              engine->decide((request.isValid() ? request.toEncoded() : url.toUtf8()).toStdString(),
                             pageUrl.toEncoded().toStdString(), k),
              cached->decide(request, pageUrl, k)}) {
            QCOMPARE(v.blocked, line != 0);
            if (line)
                QCOMPARE(int(v.rule.line), line);
        }
    }

    // Neutral resources for blocked requests and parameters taken off the
    // others, the other party's hosts and methods, as uBlock Origin decides.
    void modifiers_data() {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("method");
        QTest::addColumn<bool>("blocked");
        QTest::addColumn<QString>("outcome");  // the resource, or the cleaned address
        const auto row = [](const char *name, const char *rules, const char *url, bool blocked,
                            const char *outcome, int method = 0) {
            QTest::newRow(name) << QString::fromLatin1(rules) << QString::fromLatin1(url) << method
                                << blocked << QString::fromLatin1(outcome);
        };
        const char *ad = "https://ads.com/a.js";
        row("redirect", "||ads.com^$script,redirect=noop.js", ad, true, "noop.js");
        row("redirect-rule where another blocks", "||ads.com^\n||ads.com^$redirect-rule=noopjs", ad,
            true, "noopjs");
        row("redirect-rule alone", "||ads.com^$redirect-rule=noop.js", ad, false, "");
        row("the higher priority", "||ads.com^$redirect=1x1.gif:5\n||ads.com^$redirect=noop.js:10",
            ad, true, "noop.js");
        row("excepted", "||ads.com^$redirect=noop.js\n@@||ads.com^$redirect=noop.js", ad, true, "");
        row("all excepted", "||ads.com^$redirect=noop.js\n@@||ads.com^$redirect-rule", ad, true,
            "");
        row("important beats the exception",
            "||ads.com^$redirect=noop.js,important\n@@||ads.com^$redirect-rule", ad, true,
            "noop.js");
        row("a resource there is none of", "||ads.com^$redirect=missing.js", ad, true, "");
        row("none by a higher priority",
            "||ads.com^$redirect=noop.js\n||ads.com^$redirect-rule=none:9", ad, true, "");
        row("an exception that wins cancels all",
            "||ads.com^$redirect=noop.js\n||ads.com^$redirect=1x1.gif:5\n"
            "@@||ads.com^$redirect=1x1.gif:5",
            ad, true, "");
        row("Adblock Plus's resource", "||ads.com^$rewrite=abp-resource:blank-js", ad, true,
            "abp-resource:blank-js");
        const char *page = "https://site.com/?utm_source=x&id=1&utm_medium=y#top";
        row("one parameter", "$removeparam=utm_source", page, false,
            "https://site.com/?id=1&utm_medium=y#top");
        row("parameters by expression", "$removeparam=/^utm_/", page, false,
            "https://site.com/?id=1#top");
        row("every parameter", "||site.com^$removeparam", page, false, "https://site.com/#top");
        row("every parameter but one", "$removeparam=~id", page, false,
            "https://site.com/?id=1#top");
        row("parameter excepted", "$removeparam=utm_source\n@@||site.com^$removeparam=utm_source",
            page, false, "");
        row("none to take", "$removeparam=fbclid", page, false, "");
        row("a parameter given twice keeps its first place and last value",
            "$removeparam=utm_source", "https://site.com/?id=1&utm_source=x&id=2", false,
            "https://site.com/?id=2");
        row("a blocked request keeps its address", "||site.com^\n$removeparam=utm_source", page,
            true, "");
        row("denyallow spares a host", "*$script,denyallow=ads.com,domain=site.com", ad, false, "");
        row("denyallow", "*$script,denyallow=cdn.com,domain=site.com", ad, true, "");
        row("to a host", "*$script,to=ads.com|~safe.ads.com", ad, true, "");
        row("to, one left out", "*$script,to=ads.com|~safe.ads.com", "https://safe.ads.com/a.js",
            false, "");
        row("strict1p, another host", "$script,strict1p,domain=site.com",
            "https://cdn.site.com/a.js", false, "");
        row("strict1p, the page's host", "$script,strict1p,domain=site.com",
            "https://site.com/a.js", true, "");
        row("method", "||ads.com^$method=post", ad, true, "", kPost);
        row("another method", "||ads.com^$method=post", ad, false, "", kGet);
        row("method not known", "||ads.com^$method=~post", ad, false, "");
    }
    void modifiers() {
        QFETCH(QString, rules);
        QFETCH(QString, url);
        QFETCH(int, method);
        QFETCH(bool, blocked);
        QFETCH(QString, outcome);
        const std::string text = rules.toStdString();
        const auto engine = FilterEngine::build({text}, suffixes(), {},
                                                {{"noop.js", "noop.js"},
                                                 {"noopjs", "noop.js"},
                                                 {"1x1.gif", "1x1.gif"},
                                                 {"abp-resource:blank-js", "noop.js"}});
        const auto cached = FilterEngine::deserialize(engine->serialize("s"), "s");
        for (const FilterEngine *e : {engine.get(), cached.get()}) {
            const Verdict v = e->decide(url.toStdString(), "https://site.com/", RequestKind::Script,
                                        std::uint8_t(method));
            QCOMPARE(v.blocked, blocked);
            const std::string_view got = blocked ? v.resource : v.cleanedUrl;
            QCOMPARE(QString::fromStdString(std::string(got)), outcome);
            QCOMPARE((blocked ? v.redirectRule : v.cleanRule).found(), !outcome.isEmpty());
        }
    }

    // An exception names itself and the rule it overrode.
    void verdictNamesRules() {
        const auto engine = engineOf(u"! list\n||ads.com^\n@@||ads.com/ok/$script"_s);
        const std::string other = "||ads.com/ok/$important";
        const auto both = FilterEngine::build({"@@||x^", other}, suffixes());
        const Verdict allowed =
            engine->decide("https://ads.com/ok/a.js", "https://site.com/", RequestKind::Script);
        QVERIFY(!allowed.blocked);
        QCOMPARE(allowed.rule.line, 2u);
        QCOMPARE(allowed.exception.line, 3u);
        const Verdict important =
            both->decide("https://ads.com/ok/a.js", "https://site.com/", RequestKind::Script);
        QVERIFY(important.blocked && important.rule.list == 1 && important.rule.line == 1);
        QCOMPARE(QString::fromStdString(std::string(lineOfList("a\r\nb\nc", 2))), u"b"_s);
        QVERIFY(lineOfList("a\nb", 3).empty() && lineOfList("a", 0).empty());
    }

    // The lists' sections for other browsers are not read; nested
    // sections follow the one around them.
    void preprocessor() {
        const std::pair<const char *, bool> conditions[] = {
            {"env_chromium", true},
            {"!env_chromium", false},
            {"env_firefox", false},
            {"cap_html_filtering", false},
            {"!ext_ubol", true},
            {"(env_chromium || env_edge)", true},
            {"env_chromium && !env_mobile", true},
            {"ext_ublock && cap_html_filtering", false},
            {"!(env_firefox || env_safari)", true},
            {"env_chromium &&", false}};
        for (const auto &[condition, holds] : conditions)
            QVERIFY2(conditionHolds(condition) == holds, condition);
        const auto engine = engineOf(
            u"||a.com^\n!#if env_firefox\n||b.com^\n!#if env_chromium\n||c.com^\n!#endif\n"
            "!#else\n||d.com^\n!#include other.txt\n!#endif\n||e.com^\n"_s);
        for (const auto &[host, line] :
             {std::pair{"a", 1}, {"b", 0}, {"c", 0}, {"d", 8}, {"e", 11}})
            QCOMPARE(
                int(engine
                        ->decide("https://" + std::string(host) + ".com/", "", RequestKind::Script)
                        .rule.line),
                line);
        ListReader reader("!#if !env_chromium\n!#include no.txt\n!#else\n!#include yes.txt\n");
        std::string_view line;
        std::uint32_t number = 0;
        QVERIFY(!reader.next(line, number));
        QCOMPARE(reader.includes(), std::vector<std::string>{"yes.txt"});
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
            u"! comment\n[Adblock Plus 2.0]\n||a.com^$redirect-rule=noop.js\n||b.com^$csp=x\n"
            "##+js(aopr, x)\nsite.com##div:has(.ad)\nsite.com#?#.x\n||c.com^$removeparam=x\n"
            "##div{color:red}\n##.a;b\n##a /* x\n##.ok\\\n/(?=x)/\n/(/\n||d.com^$nonsense\n"
            "/x$match-case\n##.ok\n||e.com^\n"_s +
            QString(9000, u'x'));
        const FilterStats &s = engine->stats();
        // The redirect-rule and removeparam rules are read, and a site's
        // procedural selector and "#?#" rule; the others skipped.
        QCOMPARE(s.networkRules, 3u);
        QCOMPARE(s.cosmeticRules, 3u);
        QCOMPARE(s.unsupported, 7u);
        const std::pair<SkipReason, std::size_t> reasons[] = {{SkipReason::Scriptlet, 1},
                                                              {SkipReason::Procedural, 4},
                                                              {SkipReason::Csp, 1},
                                                              {SkipReason::Expression, 1},
                                                              {SkipReason::Other, 0}};
        for (const auto &[reason, count] : reasons)
            QCOMPARE(s.skipped[std::size_t(reason)], count);
        // A broken expression, an unknown option, match-case on a pattern, a
        // huge line.
        QCOMPARE(s.invalid, 4u);
        FilterLimits limits;
        limits.maxNetworkRules = 1000;
        limits.maxRegexRules = 2;
        QString rules;
        for (int i = 0; i < 1500; ++i)
            rules += u"||h%1.com^\n/r%1[0-9]/\n"_s.arg(i);
        const auto bounded = engineOf(rules, limits);
        QCOMPARE(bounded->stats().networkRules, 1000u);
        QCOMPARE(bounded->stats().overLimit, 2000u);
        // The bound's last expression is kept.
        QVERIFY(bounded->decide("https://x.net/r15", "", RequestKind::Image).blocked);
    }

    // A request no list may make cost more than its budget: let pass and
    // counted, however many rules a hostile list aims at it.
    void budget() {
        const auto hostile =
            engineOf(many(u"&"_s + QString(4000, u'^') + u"x\n"_s, 20) + u"/a.png\n"_s);
        const std::string url = "https://a.com/" + std::string(200000, '&') + "/b.png";
        const Verdict v = hostile->decide(url, "https://a.com/", RequestKind::Image);
        QVERIFY(!v.blocked && v.overBudget);
        QCOMPARE(hostile->overBudgetCount(), 1u);
        QVERIFY(hostile->decide("https://a.com/&&/a.png", "", RequestKind::Image).blocked);
        // Thousands of rules for one host's script, each for its own site, as
        // the lists write them: a request tries its site's, within budget.
        QString perSite;
        for (int i = 0; i < 4000; ++i)
            perSite += u"||video.example/js/sdk/player.js$script,domain=site%1.example\n"_s.arg(i);
        const auto sites = engineOf(perSite);
        const Verdict own = sites->decide("https://video.example/js/sdk/player.js",
                                          "https://site3999.example/", RequestKind::Script);
        QVERIFY(own.blocked && !own.overBudget);
        QCOMPARE(own.rule.line, 4000u);
        QVERIFY(!sites
                     ->decide("https://video.example/js/sdk/player.js", "https://other.example/",
                              RequestKind::Script)
                     .overBudget);
    }

    // Element hiding as a document is sent it: its site's selectors and
    // those for every site, the latter by the classes and ids it holds.
    void elementHiding_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("generic");
        const auto row = [](const char *host, const char *names, const std::string &site,
                            const char *generic) {
            QTest::newRow(host) << QString::fromLatin1(host) << QString::fromLatin1(names)
                                << QString::fromStdString(site) << QString::fromLatin1(generic);
        };
        // Those that name a link's address come apart; a short address
        // stays with the rest.
        const std::string e =
            "\"e\":[\"a[href*=ad]\",\"[href=\\\"short\\\"]\"],"
            "\"l\":[\"a[href^=\\\"https://ad.example/\\\"] > img\"]";
        row("other.org", ".ad #top .x .gone", "{\"off\":0,\"s\":[]," + e + "}",
            "{\"s\":[\".ad\",\".ad > img\",\"#top\"]}");
        row("www.site.com", ".ad #top",
            "{\"off\":0,\"s\":[\"div.promo\"]," + e +
                ",\"p\":[\"p:has-text("
                "/a{2}/):upward(2)\"]}",
            "{\"s\":[\".ad > img\",\"#top\"]}");
        row("x.site.com", ".ad", "{\"off\":0,\"s\":[]," + e + "}", "{\"s\":[]}");
        row("www.google.co.uk", "", "{\"off\":0,\"s\":[\".g-ad\"]," + e + "}", "{\"s\":[]}");
        row("quiet.com", ".ad", "{\"off\":1,\"s\":[\".q\"],\"e\":[]}", "{\"s\":[]}");
        row("a.none.com", ".ad", "{\"off\":2,\"s\":[],\"e\":[]}", "{\"s\":[]}");
        row("loud.com", "", "{\"off\":0,\"s\":[]," + e + "}", "{\"s\":[]}");
    }
    void elementHiding() {
        QFETCH(QString, host);
        QFETCH(QString, names);
        const auto engine = engineOf(
            u"##.ad\n##.ad > img\n###top\n##a[href*=ad]\n##.gone\n"
            "site.com,~x.site.com##div.promo\nsite.com#@#.ad\n#@#.gone\nx.site.com#@#.ad > img\n"
            "google.*##.g-ad\nquiet.com##.q\n@@||quiet.com^$generichide\n@@||none.com^$elemhide\n"
            "site.com#?#p:has-text(/a{2}/):upward(2)\nx.site.com#@#p:has-text(/a{2}/):upward(2)\n"
            "##p:has-text(b)\nsite.com##p:shadow(x)\n"
            "||loud.com^$elemhide\n##a[href^=\"https://ad.example/\"] > img\n"
            "##[href=\"short\"]"_s);
        const auto cached = FilterEngine::deserialize(engine->serialize("s"), "s");
        for (const FilterEngine *e : {engine.get(), cached.get()}) {
            const ElementHiding &hiding = e->elementHiding();
            const std::string h = host.toStdString();
            QTEST(QString::fromStdString(hiding.siteData(h, suffixes(), 1 << 16)), "site");
            QTEST(QString::fromStdString(
                      hiding.genericData(h, suffixes(), names.toStdString(), 1 << 16)),
                  "generic");
        }
        // A document is sent what fits its bound, no more.
        QCOMPARE(engine->elementHiding().siteData("site.com", suffixes(), 30),
                 "{\"off\":0,\"s\":[],\"e\":[],\"l\":[],\"p\":[]}");
    }

    // Scriptlet rules as uBlock Origin reads them: their arguments, the
    // sites they are kept for (exceptions, "#@#+js()", lists not trusted
    // marked), from the cache too; and the code a site's rules make from a
    // library: each helper once, aliases known, what needs trust or is
    // missing skipped.
    void scriptlets() {
        const std::pair<const char *, const char *> arguments[] = {
            {"set-constant, ads.enabled, false", "[\"set-constant\",\"ads.enabled\",\"false\"]"},
            {"aopr.js, 'a, b' , \"c\"", "[\"aopr\",\"a, b\",\"c\"]"},
            {"x, a\\,b, 'it\\'s'", "[\"x\",\"a,b\",\"it's\"]"},
            {"x, \"a\" b,,y", "[\"x\",\"\\\"a\\\" b\",\"\",\"y\"]"},
            {"", "[]"}};
        for (const auto &[inside, json] : arguments)
            QCOMPARE(scriptletArguments(inside), json);

        const std::string mine = "ok.com##+js(set, a, 1)\nok.com##+js(trusted-x)\n";
        const std::string system =
            "ok.com,~no.ok.com##+js(set, a, 1)\nshop.*##+js(set, b, 2)\nok.com##+js(gone)\n"
            "#@#+js(gone)\nsub.ok.com#@#+js(set, a, "
            "1)\noff.ok.com#@#+js()\nok.com##+js(trusted-x)\n";
        const auto engine = FilterEngine::build({system, mine}, suffixes(), {}, {}, 1);
        const auto cached = FilterEngine::deserialize(engine->serialize("s"), "s");
        const std::pair<const char *, std::vector<std::string>> sites[] = {
            {"www.ok.com",
             {"![\"set\",\"a\",\"1\"]", "![\"trusted-x\"]", "[\"set\",\"a\",\"1\"]",
              "[\"trusted-x\"]"}},
            {"no.ok.com", {"![\"set\",\"a\",\"1\"]", "![\"trusted-x\"]", "[\"trusted-x\"]"}},
            {"sub.ok.com", {"![\"trusted-x\"]", "[\"trusted-x\"]"}},
            {"off.ok.com", {}},
            {"shop.co.uk", {"[\"set\",\"b\",\"2\"]"}},
            {"other.com", {}}};
        for (const FilterEngine *e : {engine.get(), cached.get()})
            for (const auto &[host, texts] : sites) {
                std::vector<std::string> got;
                for (const auto &t : e->scriptlets().siteTexts(host, suffixes()))
                    got.emplace_back(t.text);
                std::sort(got.begin(), got.end());
                QVERIFY2(got == texts, host);
            }

        // Each text names the first rule that gave it, from the cache too.
        for (const FilterEngine *e : {engine.get(), cached.get()})
            for (const auto &t : e->scriptlets().siteTexts("shop.co.uk", suffixes()))
                QVERIFY(t.rule.list == 0 && t.rule.line == 2);

        const auto library = ScriptletLibrary::fromJson(
            "[{\"n\":\"set-constant.js\",\"a\":[\"set.js\"],\"d\":[\"safe-self.fn\"],\n"
            "                 \"f\":\"function setConstant(a, b) { safeSelf(); }\"},\n"
            "                {\"n\":\"safe-self.fn\",\"f\":\"function safeSelf() {}\"},\n"
            "                "
            "{\"n\":\"trusted-x.js\",\"t\":true,\"d\":[\"safe-self.fn\"],\"f\":\"function "
            "trustedX() {}\"},\n"
            "                "
            "{\"n\":\"iso.js\",\"w\":\"ISOLATED\",\"d\":[\"safe-self.fn\"],\"f\":\"function iso() "
            "{}\"}]");
        QCOMPARE(library.size(), 4u);
        const auto code =
            library.codeFor({"![\"set\",\"a\",\"1\"]", "[\"set-constant\",\"a\",\"1\"]",
                             "![\"trusted-x\"]", "[\"missing\"]", "[\"iso\",\"x,y\"]"});
        QCOMPARE(code.main.functions,
                 (std::vector<std::string>{"set-constant.js", "safe-self.fn"}));
        QCOMPARE(code.main.calls,
                 std::string("try {\n\tsetConstant(\"a\",\"1\");\n} catch (e) {\n}\n"));
        QCOMPARE(code.isolated.functions, (std::vector<std::string>{"iso.js", "safe-self.fn"}));
        QCOMPARE(code.skipped, 2u);
        QCOMPARE(code.applied, (std::vector<std::string>{"##+js(set, a, 1)", "##+js(iso, 'x,y')"}));
        // An exception by another name of the same scriptlet takes it out.
        QVERIFY(library.codeFor({"[\"set\",\"a\",\"1\"]"}, {"![\"set-constant\",\"a\",\"1\"]"})
                    .empty());
        QVERIFY(library.codeFor({"[\"trusted-x\"]"}).main.calls.find("trustedX()") !=
                std::string::npos);
        // However many a hostile list names for one site, its calls stay bounded.
        std::vector<std::string> many;
        for (int i = 0; i < 5000; ++i)
            many.push_back("[\"set\",\"a" + std::to_string(i) + "\",\"" + std::string(100, 'x') +
                           "\"]");
        const auto bounded =
            library.codeFor(std::vector<std::string_view>(many.begin(), many.end()));
        QVERIFY(bounded.main.calls.size() <= ScriptletLibrary::kMostCallBytes);
        QVERIFY(bounded.skipped > 4000 && !bounded.applied.empty());
        QVERIFY(ScriptletLibrary::fromJson("{\"n\":1}").empty());
    }

    // The filters a page asks before it sends a name or asks for its site:
    // every name the lists have selectors for passes, and every site with
    // selectors, exceptions or hiding turned off (by host or "name.*"), from
    // the cache too; few others do.
    void bitFilters() {
        QString rules;
        for (int i = 0; i < 3000; ++i)
            rules +=
                u"##.g%1 > div\n###id%1\nsite%1.com,shop%1.*##.x\nkeep%1.org#@#.g1 > div\n"
                u"@@||off%1.net^$generichide\n"_s.arg(i);
        const auto engine = engineOf(rules);
        const auto cached = FilterEngine::deserialize(engine->serialize("s"), "s");
        const auto holds = [](const FlatArray<std::uint32_t> &words, std::uint32_t h) {
            bool all = !words.empty();
            forEachFilterBit(h, std::uint32_t(words.size() * 32 - 1), [&](std::uint32_t bit) {
                all = all && (words[bit / 32] >> (bit % 32)) & 1u;
            });
            return all;
        };
        const auto name = [&](const FilterEngine &e, const std::string &n) {
            bool all = !e.elementHiding().nameFilter().empty();
            forEachNameFilterBit(n, [&](std::uint32_t bit) {
                all = all && (e.elementHiding().nameFilter()[bit / 32] >> (bit % 32)) & 1u;
            });
            return all;
        };
        const auto site = [&](const FilterEngine &e, const std::string &host) {
            return holds(e.elementHiding().siteFilter(), siteFilterHash(hostHash(host)));
        };
        int others = 0;
        for (int i = 0; i < 3000; ++i) {
            const std::string n = std::to_string(i);
            QVERIFY(name(*engine, ".g" + n) && name(*cached, "#id" + n));
            QVERIFY(site(*engine, "site" + n + ".com") && site(*cached, "shop" + n + ".*") &&
                    site(*engine, "keep" + n + ".org") && site(*cached, "off" + n + ".net"));
            others += name(*engine, ".other" + n) + name(*engine, "#g" + n) +
                      site(*engine, "site" + n + ".org") + site(*engine, "shop" + n + ".com");
        }
        QVERIFY2(others < 24, qPrintable(QString::number(others)));
        QVERIFY(engineOf(u"||ads.com^"_s)->elementHiding().nameFilter().empty());
        QVERIFY(engineOf(u"##.ad"_s)->elementHiding().siteFilter().empty());
    }

    // A cache from other lists, cut short or damaged is not read; one that
    // asks for more memory than it holds allocates nothing for it.
    void damagedCacheRefused() {
        const auto engine = engineOf(u"||ads.com^\n/banner/*$image\n##.ad-box\nsite.com##.x"_s);
        const std::string cache = engine->serialize("lists v1");
        QVERIFY(FilterEngine::deserialize(cache, "lists v1"));
        QVERIFY(!FilterEngine::deserialize(cache, "lists v2"));
        QVERIFY(!FilterEngine::deserialize(cache.substr(0, cache.size() - 1), "lists v1"));
        QVERIFY(!FilterEngine::deserialize(std::string(), "lists v1"));
        QVERIFY(!FilterEngine::deserialize(cache + std::string(8, '\0'), "lists v1"));
        // The suffix table's length, after magic, version and source.
        std::string huge = cache;
        const std::uint64_t length = std::uint64_t(1) << 40;
        std::memcpy(huge.data() + 8 * 3 + 8, &length, sizeof length);
        QVERIFY(!FilterEngine::deserialize(huge, "lists v1"));
        // A selector that would break out of the style sheet.
        std::string selector = cache;
        selector.replace(selector.find(".ad-box"), 7, ".ad{b}x");
        QVERIFY(!FilterEngine::deserialize(selector, "lists v1"));
        // The first rule's pattern past the text pool, found where the
        // engine reads it.
        CopiedCacheBytes copy(cache);
        CacheReader in(copy.bytes());
        std::string source;
        RuleTable suffixTable;
        FlatArray<CompiledRule> rules;
        in.number();
        in.number();
        in.text(source);
        readTable(in, suffixTable);
        in.array(rules);
        QVERIFY(in.ok() && rules.size() == 2);
        std::string past = cache;
        const std::uint32_t beyond = 1u << 30;
        std::memcpy(
            past.data() + (reinterpret_cast<const char *>(rules.data()) - copy.bytes().data()),
            &beyond, sizeof beyond);
        QVERIFY(!FilterEngine::deserialize(past, "lists v1"));
        // A length past what is left, also one whose bytes wrap around.
        for (const std::uint64_t n : {std::uint64_t(2), std::uint64_t(1) << 61}) {
            CopiedCacheBytes bytes(std::string_view(reinterpret_cast<const char *>(&n), sizeof n));
            CacheReader reader(bytes.bytes());
            FlatArray<std::uint64_t> items;
            reader.array(items);
            QVERIFY(!reader.ok() && items.empty());
        }
        // An empty table whose bits say it holds keys; a full one, whose
        // lookup of a missing key would never end; a rule past the last.
        RuleTable table;
        table.bits = std::vector<std::uint64_t>(2, ~0ull);
        QVERIFY(!table.valid(1) && !table.mayHold(12345));
        table.table = std::vector<RuleTable::Slot>(16, RuleTable::Slot{3, 0, 1, 0xffff});
        QVERIFY(!table.valid(1));
        std::vector<RuleTable::Slot> oneSlot(16, RuleTable::Slot{0, 0, 0, 0});
        oneSlot[0] = {3, 1, 1, 0xffff};
        table.table = oneSlot;
        QVERIFY(!table.valid(1) && table.valid(2));
        // A run too long for its slot keeps its length before it: every
        // number comes back, in order, and a length past the numbers is
        // refused.
        std::vector<std::pair<std::uint64_t, std::uint32_t>> entries;
        for (std::uint32_t i = 0; i < 40000; ++i)
            entries.emplace_back(i % 7 ? 5 : 9, i);
        RuleTable built;
        built.build(entries);
        std::uint32_t count = 0;
        const std::uint32_t *run = built.find(5, count);
        QVERIFY(run && count == 40000 - 40000 / 7 - 1 && built.valid(40000));
        QVERIFY(run[0] == 1 && run[count - 1] == 39999 && std::is_sorted(run, run + count));
        std::vector<std::uint32_t> ids(built.ids.begin(), built.ids.end());
        ids[std::size_t(run - built.ids.data()) - 1] = 1u << 30;
        built.ids = ids;
        QVERIFY(!built.valid(40000));
    }

    // The web engine's resource types, as the lists name them.
    void requestKinds() {
        using R = QWebEngineUrlRequestInfo;
        const std::pair<R::ResourceType, RequestKind> kinds[] = {
            {R::ResourceTypeMainFrame, RequestKind::Document},
            {R::ResourceTypeSubFrame, RequestKind::Subdocument},
            {R::ResourceTypeStylesheet, RequestKind::Stylesheet},
            {R::ResourceTypeScript, RequestKind::Script},
            {R::ResourceTypeImage, RequestKind::Image},
            {R::ResourceTypeFontResource, RequestKind::Font},
            {R::ResourceTypeSubResource, RequestKind::Other},
            {R::ResourceTypeObject, RequestKind::Object},
            {R::ResourceTypeMedia, RequestKind::Media},
            {R::ResourceTypeWorker, RequestKind::Script},
            {R::ResourceTypeSharedWorker, RequestKind::Script},
            {R::ResourceTypePrefetch, RequestKind::Other},
            {R::ResourceTypeFavicon, RequestKind::Image},
            {R::ResourceTypeXhr, RequestKind::XmlHttpRequest},
            {R::ResourceTypePing, RequestKind::Ping},
            {R::ResourceTypeServiceWorker, RequestKind::Script},
            {R::ResourceTypeCspReport, RequestKind::Other},
            {R::ResourceTypePluginResource, RequestKind::Object},
            {R::ResourceTypeNavigationPreloadMainFrame, RequestKind::Other},
            {R::ResourceTypeNavigationPreloadSubFrame, RequestKind::Other},
            {R::ResourceTypeWebSocket, RequestKind::WebSocket},
            {R::ResourceTypeUnknown, RequestKind::Other}};
        for (const auto &[type, kind] : kinds)
            QCOMPARE(int(quillow::requestKindOf(type)), int(kind));
    }
};

QTEST_APPLESS_MAIN(FilterEngineTest)
#include "test_filter_engine.moc"
