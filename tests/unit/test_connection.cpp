#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include "connection/connection_indicator.h"
#include "connection/state_table.h"
#include "fake_inet.h"

using namespace quillow;
using quillow::test::FakeInet;

class TestConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stateTable_data();
    void stateTable();

    void labelFollowsStatesAndTestEndsOnAnswer();
    void retestRefusedWhileATransferRuns();
    void clickOnTheLabelRetests();
    void pageFetchCancelsTheTestAndIsNeverCutShort();
    void failedPageFetchIsReported();
    void laterPageFetchReplacesTheEarlierOne();
    void refusedAddressStartsNothing();
};

void TestConnection::stateTable_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("looking up") << 1 << "Offline" << true;
    QTest::newRow("connecting") << 3 << "Testing." << false;
    QTest::newRow("receiving") << 7 << "Testing." << false;
    QTest::newRow("response received") << 8 << "Online" << true;
    QTest::newRow("disconnected") << 10 << "Online" << true;
    QTest::newRow("error") << 11 << "Offline" << false;
    QTest::newRow("no state") << 0 << "0" << false;
    QTest::newRow("host found") << 2 << "2" << false;
    QTest::newRow("connected") << 4 << "4" << false;
    QTest::newRow("requesting") << 5 << "5" << false;
    QTest::newRow("request sent") << 6 << "6" << false;
    QTest::newRow("disconnecting") << 9 << "9" << false;
    QTest::newRow("completed") << 12 << "12" << false;
    QTest::newRow("unknown") << 13 << "13" << false;
    QTest::newRow("negative") << -4 << "-4" << false;
}

void TestConnection::stateTable() {
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(bool, cancel);
    const StateAction action = stateAction(state);
    QCOMPARE(action.text, text);
    QCOMPARE(action.cancel, cancel);
}

void TestConnection::labelFollowsStatesAndTestEndsOnAnswer() {
    QLabel onoff(QStringLiteral("Offline"));
    FakeInet inet;
    ConnectionIndicator indicator(&onoff, &inet, QStringLiteral("www.example.org"));

    indicator.retest();
    QCOMPARE(inet.opened, QStringList{QStringLiteral("www.example.org")});
    // Starting a test leaves the label alone; only the states change it.
    QCOMPARE(onoff.text(), QStringLiteral("Offline"));
    inet.state(3);
    QCOMPARE(onoff.text(), QStringLiteral("Testing."));
    inet.state(6);
    QCOMPARE(onoff.text(), QStringLiteral("6"));
    inet.state(11);
    QCOMPARE(onoff.text(), QStringLiteral("Offline"));
    QCOMPARE(inet.cancels, 0);

    inet.state(8);
    QCOMPARE(onoff.text(), QStringLiteral("Online"));
    QCOMPARE(inet.cancels, 1);
    QVERIFY(!inet.busy());

    // A later test that stalls in the host lookup is given up as offline.
    indicator.retest();
    inet.state(1);
    QCOMPARE(onoff.text(), QStringLiteral("Offline"));
    QCOMPARE(inet.cancels, 2);
    QVERIFY(!inet.busy());
}

void TestConnection::retestRefusedWhileATransferRuns() {
    QLabel onoff(QStringLiteral("Offline"));
    FakeInet inet;
    ConnectionIndicator indicator(&onoff, &inet, QStringLiteral("host"));

    indicator.retest();
    indicator.retest();
    indicator.retest();
    QCOMPARE(inet.opened.size(), 1);
    QCOMPARE(inet.cancels, 0);

    inet.finish(false);
    indicator.retest();
    QCOMPARE(inet.opened.size(), 2);
}

void TestConnection::clickOnTheLabelRetests() {
    QLabel onoff(QStringLiteral("Offline"));
    onoff.resize(60, 20);
    FakeInet inet;
    ConnectionIndicator indicator(&onoff, &inet, QStringLiteral("host"));

    QTest::mouseClick(&onoff, Qt::LeftButton);
    QCOMPARE(inet.opened.size(), 1);
    inet.finish(true);

    QTest::mouseClick(&onoff, Qt::RightButton);
    QCOMPARE(inet.opened.size(), 1);
    QTest::mouseClick(&onoff, Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(inet.opened.size(), 2);
}

void TestConnection::pageFetchCancelsTheTestAndIsNeverCutShort() {
    QLabel onoff(QStringLiteral("Offline"));
    FakeInet inet;
    ConnectionIndicator indicator(&onoff, &inet, QStringLiteral("host"));
    QSignalSpy fetched(&indicator, &ConnectionIndicator::pageFetched);

    indicator.retest();
    QVERIFY(indicator.fetchPage(QStringLiteral("http://page/")));
    QCOMPARE(inet.cancels, 1);
    QCOMPARE(inet.opened, (QStringList{QStringLiteral("host"), QStringLiteral("http://page/")}));
    QCOMPARE(fetched.count(), 0);  // the cancelled test is no page's result
    QVERIFY(indicator.fetchingPage());

    // Layout passes during the fetch do not disturb it.
    indicator.retest();
    QCOMPARE(inet.opened.size(), 2);

    for (int state : {3, 7, 8, 12, 10})
        inet.state(state);
    QCOMPARE(inet.cancels, 1);
    QCOMPARE(onoff.text(), QStringLiteral("Online"));
    QVERIFY(inet.busy());

    inet.finish(true, "<html>whole</html>");
    QCOMPARE(fetched.count(), 1);
    QCOMPARE(fetched.at(0).at(0).toBool(), true);
    QCOMPARE(fetched.at(0).at(1).toByteArray(), QByteArray("<html>whole</html>"));
    QVERIFY(!indicator.fetchingPage());

    // Tests behave as before once the page is in.
    indicator.retest();
    inet.state(8);
    QCOMPARE(inet.cancels, 2);
    QCOMPARE(fetched.count(), 1);
}

void TestConnection::failedPageFetchIsReported() {
    QLabel onoff(QStringLiteral("Online"));
    FakeInet inet;
    ConnectionIndicator indicator(&onoff, &inet, QStringLiteral("host"));
    QSignalSpy fetched(&indicator, &ConnectionIndicator::pageFetched);

    QVERIFY(indicator.fetchPage(QStringLiteral("nowhere")));
    inet.state(11);
    inet.finish(false);
    QCOMPARE(onoff.text(), QStringLiteral("Offline"));
    QCOMPARE(fetched.count(), 1);
    QCOMPARE(fetched.at(0).at(0).toBool(), false);
}

void TestConnection::laterPageFetchReplacesTheEarlierOne() {
    QLabel onoff;
    FakeInet inet;
    ConnectionIndicator indicator(&onoff, &inet, QStringLiteral("host"));
    QSignalSpy fetched(&indicator, &ConnectionIndicator::pageFetched);

    QVERIFY(indicator.fetchPage(QStringLiteral("first")));
    QVERIFY(indicator.fetchPage(QStringLiteral("second")));
    QCOMPARE(inet.cancels, 1);
    QCOMPARE(fetched.count(), 0);
    inet.finish(true, "second page");
    QCOMPARE(fetched.count(), 1);
    QCOMPARE(fetched.at(0).at(1).toByteArray(), QByteArray("second page"));

    QVERIFY(indicator.fetchPage(QStringLiteral("third")));
    indicator.cancelPage();
    QVERIFY(!inet.busy());
    QCOMPARE(fetched.count(), 1);
}

class RefusingInet : public FakeInet {
public:
    bool OpenURL(const QString &) override { return false; }
};

void TestConnection::refusedAddressStartsNothing() {
    QLabel onoff(QStringLiteral("Offline"));
    RefusingInet inet;
    ConnectionIndicator indicator(&onoff, &inet, QStringLiteral("host"));
    QSignalSpy fetched(&indicator, &ConnectionIndicator::pageFetched);

    QVERIFY(!indicator.fetchPage(QStringLiteral("about:blank")));
    QVERIFY(!indicator.fetchingPage());
    indicator.retest();
    QCOMPARE(fetched.count(), 0);
    QCOMPARE(onoff.text(), QStringLiteral("Offline"));
}

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
