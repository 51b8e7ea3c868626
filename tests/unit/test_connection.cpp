#include <QLabel>
#include <QtTest>

#include "connection/connection_indicator.h"
#include "connection/state_table.h"
#include "fake_inet.h"

using namespace quillow;
using quillow::test::FakeInet;

namespace {

// Refuses every address, as the real one refuses what is not on the web.
class RefusingInet : public FakeInet {
public:
    bool OpenURL(const QString &) override { return false; }
};

// An indicator on a bare label, driven by a scripted component.
template <typename Component = FakeInet>
struct Indicator {
    QLabel onoff{QStringLiteral("Offline")};
    Component inet;
    ConnectionIndicator indicator{&onoff, &inet, QStringLiteral("host")};
    QSignalSpy fetched{&indicator, &ConnectionIndicator::pageFetched};
};

}  // namespace

class TestConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stateTable_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("looking up") << 1 << "Offline" << true;
        QTest::newRow("connecting") << 3 << "Testing." << false;
        QTest::newRow("receiving") << 7 << "Testing." << false;
        QTest::newRow("response received") << 8 << "Online" << true;
        QTest::newRow("disconnected") << 10 << "Online" << true;
        QTest::newRow("error") << 11 << "Offline" << false;
        // Any other code is shown as its number.
        QTest::newRow("request sent") << 6 << "6" << false;
        QTest::newRow("negative") << -4 << "-4" << false;
    }
    void stateTable() {
        QFETCH(int, state);
        QFETCH(QString, text);
        QFETCH(bool, cancel);
        QCOMPARE(stateAction(state).text, text);
        QCOMPARE(stateAction(state).cancel, cancel);
    }

    void testEndsOnItsAnswerAndClicksRetest() {
        Indicator<> c;
        c.onoff.resize(60, 20);
        QTest::mouseClick(&c.onoff, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(c.inet.opened, QStringList{QStringLiteral("host")});
        // Starting leaves the label alone; while the test runs, no other
        // starts, so a dragged window border does not pile them up.
        QCOMPARE(c.onoff.text(), QStringLiteral("Offline"));
        c.indicator.retest();
        QTest::mouseClick(&c.onoff, Qt::LeftButton);
        c.inet.state(11);
        QCOMPARE(c.inet.opened.size(), 1);
        QCOMPARE(c.inet.cancels, 0);
        c.inet.state(8);
        QCOMPARE(c.onoff.text(), QStringLiteral("Online"));
        QCOMPARE(c.inet.cancels, 1);
        QVERIFY(!c.inet.busy());

        // A test that stalls in the host lookup is given up as offline.
        QTest::mouseClick(&c.onoff, Qt::RightButton);
        QCOMPARE(c.inet.opened.size(), 1);
        c.indicator.retest();
        c.inet.state(1);
        QCOMPARE(c.onoff.text(), QStringLiteral("Offline"));
        QCOMPARE(c.inet.cancels, 2);
        QVERIFY(!c.inet.busy());
    }

    void pageFetchCancelsTheTestAndIsNeverCutShort() {
        Indicator<> c;
        c.indicator.retest();
        QVERIFY(c.indicator.fetchPage(QStringLiteral("http://page/")));
        QCOMPARE(c.inet.cancels, 1);
        QCOMPARE(c.inet.opened.last(), QStringLiteral("http://page/"));
        QCOMPARE(c.fetched.count(), 0);  // the cancelled test is no page's result
        // Layout passes during the fetch do not disturb it, nor do the
        // states that end a test.
        c.indicator.retest();
        for (int state : {3, 7, 8, 12, 10})
            c.inet.state(state);
        QCOMPARE(c.inet.opened.size(), 2);
        QCOMPARE(c.inet.cancels, 1);
        QCOMPARE(c.onoff.text(), QStringLiteral("Online"));
        c.inet.finish(true, "<html>whole</html>");
        QCOMPARE(c.fetched.count(), 1);
        QCOMPARE(c.fetched.at(0), (QVariantList{true, QByteArray("<html>whole</html>")}));

        // Tests behave as before once the page is in.
        c.indicator.retest();
        c.inet.state(8);
        QCOMPARE(c.inet.cancels, 2);
        QCOMPARE(c.fetched.count(), 1);
    }

    void laterPageFetchReplacesTheEarlierOne() {
        Indicator<> c;
        QVERIFY(c.indicator.fetchPage(QStringLiteral("first")));
        QVERIFY(c.indicator.fetchPage(QStringLiteral("second")));
        QCOMPARE(c.fetched.count(), 0);
        c.inet.finish(true, "second page");
        QCOMPARE(c.fetched.count(), 1);
        QCOMPARE(c.fetched.at(0).at(1).toByteArray(), QByteArray("second page"));

        // A failure is reported as one; a cancelled fetch not at all.
        QVERIFY(c.indicator.fetchPage(QStringLiteral("nowhere")));
        c.inet.finish(false);
        QCOMPARE(c.fetched.count(), 2);
        QCOMPARE(c.fetched.at(1).at(0).toBool(), false);
        QVERIFY(c.indicator.fetchPage(QStringLiteral("third")));
        c.indicator.cancelPage();
        QVERIFY(!c.inet.busy());
        QCOMPARE(c.fetched.count(), 2);

        // An address the component refuses starts nothing.
        Indicator<RefusingInet> r;
        QVERIFY(!r.indicator.fetchPage(QStringLiteral("about:blank")));
        QVERIFY(!r.indicator.fetchingPage());
        r.indicator.retest();
        QCOMPARE(r.fetched.count(), 0);
    }
};

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
