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

class TestConnection : public QObject {
    Q_OBJECT

    // Refuses every address, as the real one refuses what is not on the web.
    class RefusingTransfer : public FakeTransfer {
        TransferStart open(const QString &) override { return TransferStart::NotWebAddress; }
    };

private slots:
    void labelText_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("answered");
        QTest::newRow("looking up") << 1 << "Offline" << true;
        QTest::newRow("connecting") << 3 << "Testing." << false;
        QTest::newRow("response received") << 8 << "Online" << true;
        QTest::newRow("disconnected") << 10 << "Online" << true;
        QTest::newRow("error") << 11 << "Offline" << false;
        QTest::newRow("any other, as its number") << 4 << "4" << false;
    }
    void labelText() {
        QFETCH(int, state);
        QTEST(connectionStateText(State(state)), "text");
        QTEST(answersConnectionTest(State(state)), "answered");
    }

    // A test never piles up and ends on its answer; a page fetch replaces
    // it, follows every state to its end, and is never cut short.
    void fetchesOutrankTests() {
        auto *transfer = new FakeTransfer;
        TransferArbiter arbiter(transfer, u"host"_s);
        QSignalSpy fetched(&arbiter, &TransferArbiter::pageFetched);
        QSignalSpy states(&arbiter, &TransferArbiter::stateChanged);
        arbiter.startConnectionTest();
        arbiter.startConnectionTest();
        transfer->report(State::Error);
        transfer->report(State::ResponseReceived);
        QCOMPARE(transfer->opened, QStringList{u"host"_s});
        QCOMPARE(transfer->cancels, 1);

        arbiter.startConnectionTest();
        QCOMPARE(arbiter.fetchPage(u"http://page/"_s), TransferStart::Started);
        QCOMPARE(transfer->cancels, 2);
        arbiter.startConnectionTest();
        for (State s : {State::Connecting, State::ResponseReceived, State::Disconnected})
            transfer->report(s);
        QCOMPARE(states.count(), 5);
        QCOMPARE(transfer->cancels, 2);
        transfer->finish("<html>whole</html>");
        QCOMPARE(fetched.count(), 1);  // the cancelled test is no page's result
        QCOMPARE(fetched.at(0).at(0).value<TransferResult>().body, "<html>whole</html>");

        // A cancelled fetch reports nothing and a test follows, so the
        // label ends on an answer; a failed one reports its failure.
        arbiter.fetchPage(u"first"_s);
        arbiter.cancelPageFetch();
        QCOMPARE(transfer->opened.last(), u"host"_s);
        transfer->finish(TransferResult::End::Failed);
        arbiter.fetchPage(u"second"_s);
        transfer->finish(TransferResult::End::Failed);
        QCOMPARE(fetched.count(), 2);
        QVERIFY(!fetched.at(1).at(0).value<TransferResult>().answered());
    }

    void refusedAddressStartsNothing() {
        auto *transfer = new RefusingTransfer;
        TransferArbiter arbiter(transfer, u"host"_s);
        QCOMPARE(arbiter.fetchPage(u"about:blank"_s), TransferStart::NotWebAddress);
        QVERIFY(!arbiter.isFetchingPage());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
