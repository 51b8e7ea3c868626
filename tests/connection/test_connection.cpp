// The connection label's texts, and the arbiter that shares one transfer
// component between connection tests and page fetches.

#include <QtTest>

#include "connection/connection_state.h"
#include "connection/transfer_arbiter.h"
#include "fake_transfer.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using quillow::test::FakeTransfer;
using State = InternetTransfer::State;

namespace {

// Refuses every address, as the real one refuses what is not on the web.
class RefusingTransfer : public FakeTransfer {
public:
    TransferStart open(const QString &) override { return TransferStart::NotWebAddress; }
};

template <typename Transfer = FakeTransfer>
struct Arbiter {
    Transfer *transfer = new Transfer;
    TransferArbiter arbiter{transfer, u"host"_s};
    QSignalSpy fetched{&arbiter, &TransferArbiter::pageFetched};
};

}  // namespace

class TestConnection : public QObject {
    Q_OBJECT

private slots:
    void labelText_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("answered");
        QTest::newRow("looking up") << 1 << "Offline" << true;
        QTest::newRow("connecting") << 3 << "Testing." << false;
        QTest::newRow("receiving") << 7 << "Testing." << false;
        QTest::newRow("response received") << 8 << "Online" << true;
        QTest::newRow("disconnected") << 10 << "Online" << true;
        QTest::newRow("error") << 11 << "Offline" << false;
        // Any other state is shown as its number.
        for (int other : {0, 2, 4, 5, 6, 9, 12})
            QTest::addRow("state %d", other) << other << QString::number(other) << false;
    }
    void labelText() {
        QFETCH(int, state);
        QTEST(connectionStateText(State(state)), "text");
        QTEST(answersConnectionTest(State(state)), "answered");
    }

    void testEndsOnItsAnswerAndNeverPilesUp() {
        Arbiter<> a;
        a.arbiter.startConnectionTest();
        a.arbiter.startConnectionTest();
        QCOMPARE(a.transfer->opened, QStringList{u"host"_s});
        a.transfer->report(State::Error);
        QCOMPARE(a.transfer->cancels, 0);
        a.transfer->report(State::ResponseReceived);
        QCOMPARE(a.transfer->cancels, 1);
        QVERIFY(!a.arbiter.isBusy());
        QCOMPARE(a.fetched.count(), 0);
    }

    void pageFetchOutranksTheTestAndIsNeverCutShort() {
        Arbiter<> a;
        QSignalSpy states(&a.arbiter, &TransferArbiter::stateChanged);
        a.arbiter.startConnectionTest();
        QCOMPARE(a.arbiter.fetchPage(u"http://page/"_s), TransferStart::Started);
        QCOMPARE(a.transfer->cancels, 1);
        QCOMPARE(a.fetched.count(), 0);  // the cancelled test is no page's result
        // Tests asked for meanwhile, and the states that end a test, leave it.
        a.arbiter.startConnectionTest();
        for (State s : {State::Connecting, State::ResponseReceived, State::Disconnected})
            a.transfer->report(s);
        QCOMPARE(states.count(), 3);  // the label follows the fetch too
        QCOMPARE(a.transfer->opened.size(), 2);
        QCOMPARE(a.transfer->cancels, 1);
        a.transfer->finish("<html>whole</html>");
        QCOMPARE(a.fetched.count(), 1);
        QCOMPARE(a.fetched.at(0).at(0).value<TransferResult>().body, "<html>whole</html>");

        // A later fetch replaces an earlier one; a cancelled fetch reports
        // nothing, a failed one its failure.
        a.arbiter.fetchPage(u"first"_s);
        a.arbiter.fetchPage(u"second"_s);
        a.arbiter.cancelPageFetch();
        QCOMPARE(a.transfer->opened.last(), u"host"_s);  // a test, so the label ends on an answer
        a.transfer->finish(TransferResult::End::Failed);
        a.arbiter.fetchPage(u"third"_s);
        a.transfer->finish(TransferResult::End::Failed);
        QCOMPARE(a.fetched.count(), 2);
        QVERIFY(!a.fetched.at(1).at(0).value<TransferResult>().answered());

        // An address the component refuses starts nothing.
        Arbiter<RefusingTransfer> r;
        QCOMPARE(r.arbiter.fetchPage(u"about:blank"_s), TransferStart::NotWebAddress);
        QVERIFY(!r.arbiter.isFetchingPage());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
