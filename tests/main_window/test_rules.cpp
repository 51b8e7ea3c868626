// The main window's pure rules: the typed-address decision, layout and
// progress arithmetic, the block list and the zoom steps, by table.

#include <QtTest>
#include <limits>

#include "core/popup_allowance.h"
#include "main_window/address_decision.h"
#include "main_window/block_list.h"
#include "main_window/layout.h"
#include "main_window/progress.h"
#include "main_window/zoom_levels.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using Outcome = AddressDecision::Outcome;

class MainWindowRules : public QObject {
    Q_OBJECT

private slots:
    void typedAddress_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("shown");  // the page on show
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("address");  // sent to the component
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QString>("lastAfter");
        const int go = int(Outcome::Go), refuse = int(Outcome::Refuse);
        const int ignore = int(Outcome::Ignore);
        struct Row {
            const char *name, *typed, *last, *shown;
            int outcome;
            const char *address, *boxText, *lastAfter;
        };
        const char *blank = "about:blank";
        const Row rows[] = {
            {"blanks trimmed, kept in last", "  a.test  ", blank, blank, go, "a.test", "  a.test  ",
             "  a.test  "},
            {"blank page at start", blank, blank, blank, ignore, "", blank, blank},
            {"blank page later", blank, "a.test", "http://a.test/", refuse, "", "", ""},
            {"empty", "", "a.test", blank, refuse, "", "", ""},
            // The last address typed again: nothing while its page is on
            // show, there again once a link went elsewhere.
            {"typed again, on show", " a.test", " a.test", "http://a.test/", ignore, "", " a.test",
             " a.test"},
            {"typed again, elsewhere", "a.test", "a.test", "http://b.test/", go, "a.test", "a.test",
             "a.test"},
            // As the component reads typed text: words make no address, a
            // word is a host.
            {"words", "hello world", "a.test", blank, refuse, "", "", ""},
            {"local file", "/tmp/temp.htm", "", blank, go, "/tmp/temp.htm", "/tmp/temp.htm",
             "/tmp/temp.htm"},
            // No scripts into the page on show, none of the engine's pages.
            {"script", "javascript:alert(document.cookie)", "", blank, refuse, "", "", ""},
            {"engine page", "chrome://gpu", "", blank, refuse, "", "", ""},
            {"developer tools", "devtools://devtools/", "", blank, refuse, "", "", ""},
        };
        for (const Row &r : rows)
            QTest::newRow(r.name) << QString::fromUtf8(r.typed) << QString::fromUtf8(r.last)
                                  << QString::fromUtf8(r.shown) << r.outcome
                                  << QString::fromUtf8(r.address) << QString::fromUtf8(r.boxText)
                                  << QString::fromUtf8(r.lastAfter);
    }
    void typedAddress() {
        QFETCH(QString, typed);
        QFETCH(QString, last);
        QFETCH(QString, shown);
        const AddressDecision d = decideTypedAddress(typed, last, {shown});
        QTEST(int(d.outcome), "outcome");
        QTEST(d.address, "address");
        QTEST(d.boxText, "boxText");
        QTEST(d.lastAddress, "lastAfter");
    }

    void trimmingAndShownAddresses() {
        QCOMPARE(trimBlanks(u" \u00a0a b "_s), u"\u00a0a b"_s);
        QCOMPARE(trimBlanks(u"   "_s), QString());
        QVERIFY(showsAddress(u"file:///tmp/x/temp.htm"_s, u"/tmp/x//temp.htm"_s));
        QVERIFY(!showsAddress(u"http://a.test/temp.htm"_s, u"/temp.htm"_s));
        // New main windows cascade, back to the screen's corner at its edge.
        const QRect screen(0, 0, 1280, 1024), from(100, 100, 700, 700);
        QCOMPARE(cascadedPlace(from, from.size(), screen), QPoint(130, 130));
        QCOMPARE(cascadedPlace(from.translated(0, 300), from.size(), screen), QPoint(0, 0));
        QCOMPARE(cascadedPlace({0, 0, 9, 9}, QSize(1300, 9), screen), QPoint(30, 30));
        // The engine's rounding is the same step; the ends hold.
        QCOMPARE(nextZoomFactor(1.249, +1), 1.5);
        QCOMPARE(nextZoomFactor(1.3, -1), 1.25);
        QCOMPARE(nextZoomFactor(5.0, +1), 5.0);
    }

    void layout_data() {
        QTest::addColumn<bool>("favorites");
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<int>("findBar");  // its height, on the status bar; 0: closed
        QTest::addColumn<QRect>("page");   // null: too small, nothing placed
        const QSize designed(712, 720);
        QTest::newRow("designed size") << false << designed << 0 << QRect(0, 80, 704, 564);
        QTest::newRow("favorites beside") << true << designed << 0 << QRect(169, 80, 535, 564);
        QTest::newRow("find bar open") << true << designed << 28 << QRect(169, 80, 535, 523);
        QTest::newRow("minimum") << false << kMinimumOuter << 0 << QRect(0, 80, 704, 564);
        QTest::newRow("too narrow") << false << QSize(393, 900) << 0 << QRect();
    }
    void layout() {
        QFETCH(bool, favorites);
        QFETCH(QSize, outer);
        QFETCH(int, findBar);
        QFETCH(QRect, page);
        LayoutInput in{QSize(704, 664), outer, favorites, 169, QSize(185, 17), 21, 153, 631,
                       findBar};
        const LayoutPlan plan = planLayout(in);
        QCOMPARE(plan.tooSmall, page.isNull());
        QCOMPARE(plan.page, page);
        QCOMPARE(plan.findBar, findBar ? QRect(169, 603, 535, 28) : QRect());
        if (page.isNull())
            return;
        QCOMPARE(plan.addressBox, QRect(232, 56, 464, 21));
        QCOMPARE(plan.progressBar, QRect(497, 645, 185, 17));
        QCOMPARE(plan.favoritesFrame, favorites ? QRect(0, 80, 169, 564) : QRect());
        // Inside the frame at 100, 800 twips; its height follows the outer one.
        if (favorites)
            QCOMPARE(plan.favoritesList, QRect(7, 53, 153, outer.height() - 200));
    }

    void progress_data() {
        QTest::addColumn<int>("progress");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("barMaximum");
        QTest::addColumn<int>("value");  // -1: the value stays, the box's address is gone to
        const int max = std::numeric_limits<qint32>::max();
        QTest::newRow("end of download") << -1 << 100 << 101 << 1;
        QTest::newRow("at the maximum") << 3 << 3 << 4 << 3;
        QTest::newRow("past the maximum") << 5 << 3 << 4 << -1;
        // Limits the bar cannot show are kept within its range.
        QTest::newRow("largest maximum") << 10 << max << max << 10;
        QTest::newRow("smallest progress") << std::numeric_limits<qint32>::min() << 10 << 11 << 11;
    }
    void progress() {
        QFETCH(int, progress);
        QFETCH(int, maximum);
        QFETCH(int, value);
        const ProgressStep step = progressStep(progress, maximum);
        QTEST(step.maximum, "barMaximum");
        QCOMPARE(step.goToAddress, value < 0);
        QCOMPARE(step.setValue, value >= 0);
        if (step.setValue)
            QCOMPARE(step.value, value);
    }

    // Three windows without a click in ten seconds; every request counts,
    // so a storm is refused as long as it lasts; quiet opens them again.
    void popupAllowance_data() {
        QTest::addColumn<QList<qint64>>("asked");  // ms
        QTest::addColumn<QString>("allowed");
        QTest::newRow("three, then refused") << QList<qint64>{0, 1, 2, 3} << u"yyyn"_s;
        QTest::newRow("a storm keeps it shut")
            << QList<qint64>{0, 1, 2, 3, 3000, 6000, 9000, 12000, 15000} << u"yyynnnnnn"_s;
        QTest::newRow("open again after 10 s of quiet")
            << QList<qint64>{0, 1, 2, 3, 10003, 10004} << u"yyynyy"_s;
    }
    void popupAllowance() {
        QFETCH(QList<qint64>, asked);
        PopupAllowance allowance;
        QString seen;
        for (qint64 ms : asked)
            seen += allowance.allow(ms) ? u'y' : u'n';
        QTEST(seen, "allowed");
    }

    void blockList() {
        const QString host = blocklist::kAdServerFragment;
        QVERIFY(blocklist::isAdServer(u"http://"_s + host.toUpper() + u"/x"_s));
        QVERIFY(blocklist::isAdServer(u"https://a.test/p?u="_s + host));
        QVERIFY(!blocklist::isAdServer(host.chopped(1)));
        for (const QString &a : blocklist::kKnownPopupAddresses) {
            QVERIFY(blocklist::isKnownPopupAddress(a));
            for (const QString &near :
                 {a.toUpper(), a + QLatin1Char('/'), a + QLatin1Char(' '), a.chopped(1)})
                QVERIFY(!blocklist::isKnownPopupAddress(near));
        }
    }
};

QTEST_GUILESS_MAIN(MainWindowRules)
#include "test_rules.moc"
