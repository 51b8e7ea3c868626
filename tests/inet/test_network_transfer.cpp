// The transfer component on Qt Network against a loopback server: its
// states, bodies, redirects, failures, time-outs and cancels.

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include "http_server.h"
#include "inet/network_transfer.h"

using namespace Qt::StringLiterals;
using namespace quillow;
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
    void routeSilent(const QString &path) {
        HttpServer::Response silent;
        silent.silent = true;
        server.route(path, silent);
    }
};

}  // namespace

class TestNetworkTransfer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void webAddress_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("url");  // empty: refused
        const char *const rows[][2] = {
            {"  www.example.org ", "http://www.example.org/"},
            {"localhost:81/a?b=1", "http://localhost:81/a?b=1"},
            {"https://example.org", "https://example.org/"},
            {"HTTP://Example.ORG", "http://example.org/"},
            // Only the web: no local files, scripts or other schemes.
            {"", ""},
            {"about:blank", ""},
            {"javascript:alert(1)", ""},
            {"C:\\temp.htm", ""},
            {"/etc/passwd", ""},
            {"file:///etc/passwd", ""},
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

    void pageReportsItsPhasesAndTheBody() {
        Transfer t;
        QVERIFY(t.server.listen());
        t.server.route(u"/"_s, QByteArray("<html><body>start page</body></html>"));
        QVERIFY(t.open(u"127.0.0.1:%1"_s.arg(t.server.port())));
        QVERIFY(t.inet.isBusy());
        QCOMPARE(t.inet.open(t.server.url(u"/missing"_s)), TransferStart::Busy);
        QCOMPARE(t.states.count(), 0);  // nothing reported inside open()
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 10000);
        QVERIFY(t.ok(0) && !t.inet.isBusy());
        QCOMPARE(t.body(0), QByteArray("<html><body>start page</body></html>"));
        QCOMPARE(t.result(0).contentType, QByteArray("text/html; charset=utf-8"));
        QCOMPARE(t.server.requests, QStringList{u"/"_s});
        QCOMPARE(t.codes(), (QList<int>{3, 4, 6, 7, 8, 12, 10}));

        // Free again; an error status still brings the page: the server did
        // answer.
        const qsizetype before = t.states.size();
        QVERIFY(t.open(t.server.url(u"/missing"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 2, 10000);
        QVERIFY(t.ok(1));
        QCOMPARE(t.body(1), QByteArray("<html><body>not found</body></html>"));
        QVERIFY(!t.codes(before).contains(int(InternetTransfer::State::Error)));
    }

    void redirectIsFollowed() {
        Transfer t;
        QVERIFY(t.server.listen());
        HttpServer::Response moved;
        moved.status = 302;
        moved.headers = "Location: /there\r\n";
        moved.body = "moved";
        t.server.route(u"/here"_s, moved);
        t.server.route(u"/there"_s, QByteArray("<p>arrived</p>"));
        QVERIFY(t.open(t.server.url(u"/here"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 10000);
        QVERIFY(t.ok(0));
        QCOMPARE(t.body(0), QByteArray("<p>arrived</p>"));
        QCOMPARE(t.server.requests, QStringList({"/here", "/there"}));
        // The second response starts its phases again and ends them.
        const QList<int> codes = t.codes();
        const qsizetype second = codes.lastIndexOf(3);
        QVERIFY(second > 0);
        QCOMPARE(codes.mid(second), (QList<int>{3, 4, 6, 7, 8, 12, 10}));
    }

    // An answer without end stops at the limit with its start kept; one
    // that trickles fails at the time-out.
    void endlessOrTricklingAnswers() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        bool trickle = false;
        connect(&server, &QTcpServer::newConnection, this, [&server, &trickle] {
            QTcpSocket *socket = server.nextPendingConnection();
            auto *timer = new QTimer(socket);
            connect(socket, &QTcpSocket::readyRead, socket, [socket, timer, &trickle] {
                socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n");
                timer->start(trickle ? 50 : 0);
            });
            connect(timer, &QTimer::timeout, socket, [socket, &trickle] {
                if (socket->bytesToWrite() < (1 << 20))
                    socket->write(trickle ? QByteArray("x") : QByteArray(1 << 16, 'x'));
            });
        });
        Transfer t;
        QVERIFY(t.open(u"127.0.0.1:%1"_s.arg(server.serverPort())));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 30000);
        QCOMPARE(t.result(0).end, TransferResult::End::CutShort);
        QCOMPARE(t.body(0).size(), NetworkTransfer::kMaxBody);
        QVERIFY(!t.inet.isBusy());

        trickle = true;
        t.inet.setTimeout(400);
        QVERIFY(t.open(u"127.0.0.1:%1"_s.arg(server.serverPort())));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 2, 10000);
        QVERIFY(!t.ok(1));
        QCOMPARE(t.codes().last(), int(InternetTransfer::State::Error));
    }

    void serverClosingEarlyFails() {
        // Promises more than it sends: a page cut off must not pass as whole.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&server] {
            QTcpSocket *socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->readAll();
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n<html><body>cut");
                socket->disconnectFromHost();
            });
        });
        Transfer t;
        QVERIFY(t.open(u"127.0.0.1:%1"_s.arg(server.serverPort())));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 10000);
        QVERIFY(!t.ok(0));
        QCOMPARE(t.codes().last(), int(InternetTransfer::State::Error));
        QVERIFY(!t.codes().contains(int(InternetTransfer::State::ResponseReceived)));
    }

    // A cancel ends the transfer at once, without an error (a silent server
    // times out as a trickling one does).
    void cancelEndsAtOnce() {
        Transfer t;
        QVERIFY(t.server.listen());
        t.routeSilent(u"/silent"_s);
        t.server.route(u"/"_s, QByteArray("page"));
        QVERIFY(t.open(t.server.url(u"/silent"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(t.server.requests.size() == 1, 10000);
        qsizetype from = t.states.size();
        t.inet.cancel();
        QCOMPARE(t.done.count(), 1);
        QVERIFY(!t.ok(0) && !t.inet.isBusy());
        t.inet.cancel();  // nothing left to cancel
        QCOMPARE(t.done.count(), 1);
        QVERIFY(!t.codes(from).contains(int(InternetTransfer::State::Error)));

        // A cancel from inside a state handler ends the transfer there: the
        // states after it and the abort's own error are never reported.
        connect(&t.inet, &InternetTransfer::stateChanged, this,
                [&t](InternetTransfer::State state) {
                    if (state == InternetTransfer::State::ResponseReceived)
                        t.inet.cancel();
                });
        from = t.states.size();
        QVERIFY(t.open(t.server.url(u"/"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 2, 10000);
        QVERIFY(!t.ok(1));
        QCoreApplication::processEvents();
        QCOMPARE(t.done.count(), 2);
        QCOMPARE(t.codes(from).last(), int(InternetTransfer::State::ResponseReceived));
        QVERIFY(!t.codes(from).contains(int(InternetTransfer::State::Error)));
    }
};

QTEST_MAIN(TestNetworkTransfer)
#include "test_network_transfer.moc"
