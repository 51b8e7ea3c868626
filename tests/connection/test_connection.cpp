// The transfer component against a loopback server, the connection label's
// texts, and the arbiter sharing a component between tests and page fetches.

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include "connection/connection_state.h"
#include "connection/transfer_arbiter.h"
#include "fake_transfer.h"
#include "http_server.h"
#include "inet/network_transfer.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using quillow::test::closedPort;
using quillow::test::FakeTransfer;
using State = InternetTransfer::State;
using quillow::test::HttpServer;

namespace {

// The component, a loopback server for it and what the component reports.
struct Transfer {
    HttpServer server;
    NetworkTransfer inet;
    QSignalSpy states{&inet, &InternetTransfer::stateChanged};
    QSignalSpy done{&inet, &InternetTransfer::finished};

    bool open(const QString &address) { return inet.open(address) == TransferStart::Started; }

    QList<int> codes(qsizetype from = 0) const {
        QList<int> out;
        for (qsizetype i = from; i < states.size(); ++i)
            out.append(int(states.at(i).at(0).value<InternetTransfer::State>()));
        return out;
    }
    TransferResult result(int i) const { return done.at(i).at(0).value<TransferResult>(); }
    bool ok(int i) const { return result(i).answered(); }
    QByteArray body(int i) const { return result(i).body; }
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
        QTest::newRow("response received") << 8 << "Online" << true;
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
        QCOMPARE(transfer->cancels, 2);
        transfer->finish("<html>whole</html>");
        QCOMPARE(fetched.count(), 1);  // the cancelled test is no page's result
        QCOMPARE(fetched.at(0).at(0).value<TransferResult>().body, "<html>whole</html>");
        // A cancelled fetch reports nothing and a test follows, so the
        // label ends on an answer.
        arbiter.fetchPage(u"first"_s);
        arbiter.cancelPageFetch();
        QCOMPARE(transfer->opened.last(), u"host"_s);
        QCOMPARE(fetched.count(), 1);
    }

    // An address the component refuses starts nothing; a test it cancelled
    // starts again, so the label ends on an answer.
    void refusedAddressStartsNothing() {
        TransferArbiter arbiter(new NetworkTransfer, u"127.0.0.1:%1"_s.arg(closedPort()));
        arbiter.startConnectionTest();
        QCOMPARE(arbiter.fetchPage(u"about:blank"_s), TransferStart::NotWebAddress);
        QVERIFY(!arbiter.isFetchingPage() && arbiter.isBusy());
    }

    void webAddress_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("url");  // empty: refused
        const char *const rows[][2] = {
            {"  www.example.org ", "http://www.example.org/"},
            {"localhost:81/a?b=1", "http://localhost:81/a?b=1"},
            // Only the web: no local files, scripts or other schemes.
            {"about:blank", ""},
            {"/etc/passwd", ""},
            {"http://", ""},
        };
        for (const auto &row : rows)
            QTest::addRow("'%s'", row[0]) << QString(row[0]) << QString(row[1]);
    }
    void webAddress() {
        QFETCH(QString, address);
        QFETCH(QString, url);
        const QUrl result = NetworkTransfer::webAddress(address);
        QCOMPARE(result.isValid() ? result.toString() : QString(), url);
        if (url.isEmpty()) {
            Transfer t;
            QCOMPARE(t.inet.open(address), TransferStart::NotWebAddress);
            QVERIFY(!t.inet.isBusy() && t.states.isEmpty());
        }
    }

    // A page reports its phases and its body; a redirect starts the phases
    // again, and only its target is the answer; an error status still
    // brings the page: the server did answer.
    void pageRedirectAndErrorStatus() {
        Transfer t;
        QVERIFY(t.server.listen());
        t.server.route(u"/"_s, QByteArray("<p>arrived</p>"));
        t.server.route(u"/here"_s, {302, "text/html", "moved", "Location: /\r\n", false, {}});
        QVERIFY(t.open(t.server.url(u"/here"_s)));
        QCOMPARE(t.inet.open(t.server.url(u"/missing"_s)), TransferStart::Busy);
        QCOMPARE(t.states.count(), 0);  // nothing reported inside open()
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 10000);
        QCOMPARE(t.body(0), QByteArray("<p>arrived</p>"));
        QCOMPARE(t.result(0).contentType, QByteArray("text/html; charset=utf-8"));
        QCOMPARE(t.server.requests, QStringList({u"/here"_s, u"/"_s}));
        const QList<int> codes = t.codes();
        QVERIFY(codes.lastIndexOf(3) > 0);
        QCOMPARE(codes.mid(codes.lastIndexOf(3)), (QList<int>{3, 4, 6, 7, 8, 12, 10}));
        QVERIFY(t.open(t.server.url(u"/missing"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 2, 10000);
        QCOMPARE(t.body(1), QByteArray("<html><body>not found</body></html>"));
        QVERIFY(!t.codes().contains(int(InternetTransfer::State::Error)));
    }

    // An answer without end stops at the limit with its start kept; one
    // that trickles fails at the time-out; one cut off before the length
    // it promised fails rather than pass as whole.
    void endlessTricklingOrCutAnswers() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        enum { Endless, Trickle, Cut } mode = Endless;
        connect(&server, &QTcpServer::newConnection, this, [&server, &mode] {
            QTcpSocket *socket = server.nextPendingConnection();
            auto *timer = new QTimer(socket);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [socket, timer, &mode] {
                socket->readAll();
                if (mode == Cut) {
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\ncut");
                    return socket->disconnectFromHost();
                }
                socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
                timer->start(mode == Trickle ? 50 : 0);
            });
            // Chunks that do not divide the limit.
            connect(timer, &QTimer::timeout, socket, [socket, &mode] {
                const QByteArray chunk(mode == Trickle ? 1 : 65537, 'x');
                if (socket->bytesToWrite() < (4 << 20))
                    socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
            });
        });
        Transfer t;
        const QString address = u"127.0.0.1:%1"_s.arg(server.serverPort());
        QVERIFY(t.open(address));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 30000);
        QCOMPARE(t.result(0).end, TransferResult::End::CutShort);
        QCOMPARE(t.body(0).size(), NetworkTransfer::kMaxBody);
        for (auto next : {Trickle, Cut}) {
            mode = next;
            t.inet.setTimeout(400);
            const qsizetype from = t.states.size();
            QVERIFY(t.open(address));
            QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), next == Trickle ? 2 : 3, 10000);
            QVERIFY(!t.ok(t.done.count() - 1));
            QCOMPARE(t.codes(from).last(), int(InternetTransfer::State::Error));
            QVERIFY(!t.codes(from).contains(int(InternetTransfer::State::ResponseReceived)));
        }
    }

    // A cancel ends the transfer at once, without an error (a silent server
    // times out as a trickling one does).
    void cancelEndsAtOnce() {
        Transfer t;
        QVERIFY(t.server.listen());
        t.server.route(u"/silent"_s, {200, {}, {}, {}, true, {}});
        t.server.route(u"/"_s, QByteArray("page"));
        QVERIFY(t.open(t.server.url(u"/silent"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(t.server.requests.size() == 1, 10000);
        t.inet.cancel();
        t.inet.cancel();  // nothing left to cancel
        QCOMPARE(t.done.count(), 1);
        QVERIFY(!t.ok(0) && !t.inet.isBusy());

        // A cancel from inside a state handler ends the transfer there: the
        // states after it and the abort's own error are never reported.
        connect(&t.inet, &InternetTransfer::stateChanged, this,
                [&t](InternetTransfer::State state) {
                    if (state == InternetTransfer::State::ResponseReceived)
                        t.inet.cancel();
                });
        const qsizetype from = t.states.size();
        QVERIFY(t.open(t.server.url(u"/"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 2, 10000);
        QCoreApplication::processEvents();
        QCOMPARE(t.done.count(), 2);
        QCOMPARE(t.codes(from).last(), int(InternetTransfer::State::ResponseReceived));
        QVERIFY(!t.codes(from).contains(int(InternetTransfer::State::Error)));
    }
};

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
