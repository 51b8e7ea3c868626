// The main window's pure rules: layout arithmetic, progress arithmetic,
// blank trimming and the block list.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>

#include "main_window/layout.h"
#include "main_window/program.h"
#include "main_window/text_rules.h"
#include "main_window/twips.h"
#include "page_events/block_list.h"
#include "page_events/progress.h"

using namespace quillow;

class WindowRules : public QObject {
    Q_OBJECT

    static LayoutInput designed(bool favorites) {
        LayoutInput in;
        in.client = QSize(704, 664);
        in.outer = QSize(712, 720);
        in.favoritesShown = favorites;
        in.favoritesWidth = twips(2535);
        in.progressSize = QSize(185, 17);
        in.addressHeight = 21;
        in.favoritesListWidth = 153;
        return in;
    }

private slots:
    void layoutAtDesignedSize() {
        const LayoutPlan plan = planLayout(designed(false));
        QVERIFY(!plan.tooSmall);
        QCOMPARE(plan.addressbar, QRect(232, 56, 464, 21));
        QCOMPARE(plan.browser, QRect(0, 80, 704, 564));
        QCOMPARE(plan.pageload, QRect(497, 645, 185, 17));
        QVERIFY(plan.favfr.isNull());
    }

    void layoutWithFavoritesBesideThePage() {
        const LayoutInput in = designed(true);
        const LayoutPlan plan = planLayout(in);
        QCOMPARE(plan.favfr, QRect(0, 80, in.favoritesWidth, 564));
        QCOMPARE(plan.browser.left(), in.favoritesWidth);
        QCOMPARE(plan.browser.right(), 703);
        QCOMPARE(plan.browser.top(), 80);
        // Inside the frame: 100, 800 twips; height follows the outer height.
        QCOMPARE(plan.favemenu, QRect(7, 53, 153, in.outer.height() - 200));
    }

    void minimumSizeIsInclusive() {
        LayoutInput in = designed(false);
        in.outer = kMinimumOuter;
        QVERIFY(!planLayout(in).tooSmall);
        in.outer = QSize(393, 900);
        QVERIFY(planLayout(in).tooSmall);
        in.outer = QSize(900, 221);
        QVERIFY(planLayout(in).tooSmall);
        QCOMPARE(kMinimumOuter, QSize(twips(5910), twips(3330)));
    }

    void progressTable_data() {
        QTest::addColumn<int>("progress");
        QTest::addColumn<int>("progressMax");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<bool>("setsValue");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("goes");
        QTest::newRow("end of download") << -1 << 100 << 101 << true << 1 << false;
        QTest::newRow("nothing yet") << 0 << 0 << 1 << true << 0 << false;
        QTest::newRow("end, no maximum") << -1 << 0 << 1 << true << 1 << false;
        QTest::newRow("at the maximum") << 3 << 3 << 4 << true << 3 << false;
        QTest::newRow("past the maximum") << 5 << 3 << 4 << false << 0 << true;
        // Limits the bar cannot show are kept within its range.
        QTest::newRow("negative maximum") << -7 << -5 << 1 << true << 1 << false;
        QTest::newRow("largest maximum") << 10 << std::numeric_limits<qint32>::max()
                                         << std::numeric_limits<int>::max() << true << 10 << false;
        QTest::newRow("smallest progress")
            << std::numeric_limits<qint32>::min() << 10 << 11 << true << 11 << false;
    }

    void progressTable() {
        QFETCH(int, progress);
        QFETCH(int, progressMax);
        const ProgressStep step = progressStep(progress, progressMax);
        QTEST(step.maximum, "maximum");
        QTEST(step.setValue, "setsValue");
        if (step.setValue)
            QTEST(step.value, "value");
        QTEST(step.goToAddress, "goes");
    }

    void trimsOnlyBlanks() {
        QCOMPARE(trimBlanks(QStringLiteral("  example.org  ")), QStringLiteral("example.org"));
        QCOMPARE(trimBlanks(QStringLiteral("\texample.org\t")), QStringLiteral("\texample.org\t"));
        QCOMPARE(trimBlanks(QStringLiteral(" \u00a0a b ")), QStringLiteral("\u00a0a b"));
        QCOMPARE(trimBlanks(QStringLiteral("   ")), QString());
    }

    void searchnfErrorTable() {
        for (int n : {0, 5, 20, 85})
            QVERIFY(searchnfResumes(n));
        for (int n : {1, 6, 80004005, -2147467259})
            QVERIFY(!searchnfResumes(n));
        QCOMPARE(internalErrorText(-2147467259).left(29),
                 QStringLiteral("Error #-2147467259 Please rep"));
    }

    void adServerMatchesAnyCaseAnywhere() {
        const QString host = blocklist::kAdServerFragment;
        QCOMPARE(host, host.toLower());
        QVERIFY(blocklist::isAdServer(QStringLiteral("http://") + host.toUpper() + "/x"));
        QVERIFY(blocklist::isAdServer(QStringLiteral("https://a.test/p?u=") + host));
        QVERIFY(blocklist::isAdServer(QStringLiteral("http://b.test/") + host.left(3).toUpper() +
                                      host.mid(3)));
        QVERIFY(!blocklist::isAdServer(QStringLiteral("http://example.org/")));
        QVERIFY(!blocklist::isAdServer(host.left(host.size() - 1)));
    }

    void dataDirIsBesideTheProgramOnlyWhenWritable() {
        QTemporaryDir temp;
        const QString program = temp.filePath(QStringLiteral("bin"));
        const QString user = temp.filePath(QStringLiteral("share/Quillow"));
        QCOMPARE(chooseDataDir(program, user, [](const QString &) { return true; }), program);
        QVERIFY(!QDir(user).exists());
        QCOMPARE(chooseDataDir(program, user, [](const QString &) { return false; }), user);
        QVERIFY(QDir(user).exists());

        QVERIFY(directoryIsWritable(temp.path()));
        QVERIFY(!directoryIsWritable(temp.filePath(QStringLiteral("missing"))));
        QVERIFY(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void knownPopupAddressesMatchExactly() {
        QCOMPARE(blocklist::kKnownPopupAddresses.size(), 4);
        for (const QString &a : blocklist::kKnownPopupAddresses) {
            QVERIFY(a.startsWith(QLatin1String("http://")));
            QVERIFY(blocklist::isKnownPopupAddress(a));
            QVERIFY(!blocklist::isKnownPopupAddress(a.toUpper()));
            QVERIFY(!blocklist::isKnownPopupAddress(a + "/"));
            QVERIFY(!blocklist::isKnownPopupAddress(a + " "));
        }
        const QString home = blocklist::kKnownPopupAddresses.at(2);
        QVERIFY(home.endsWith('/'));
        QVERIFY(!blocklist::isKnownPopupAddress(home.chopped(1)));
    }
};

QTEST_GUILESS_MAIN(WindowRules)
#include "test_window_rules.moc"
