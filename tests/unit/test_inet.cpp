#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "http_server.h"
#include "inet/network_inet.h"

using namespace quillow;
using quillow::test::HttpServer;

namespace {

// The component, a loopback server for it and what the component reports.
struct Transfer {
    HttpServer server;
    NetworkInet inet;
    QSignalSpy states{&inet, &Inet::StateChanged};
    QSignalSpy done{&inet, &Inet::finished};

    QList<int> codes(qsizetype from = 0) const {
        QList<int> out;
        for (qsizetype i = from; i < states.size(); ++i)
            out.append(states.at(i).at(0).toInt());
        return out;
    }
    bool ok(int i) const { return done.at(i).at(0).toBool(); }
    QByteArray body(int i) const { return done.at(i).at(1).toByteArray(); }
    void routeSilent(const QString &path) {
        HttpServer::Response silent;
        silent.silent = true;
        server.route(path, silent);
    }
};

}  // namespace

class TestInet : public QObject {
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
        const QUrl result = NetworkInet::webAddress(address);
        QCOMPARE(result.isValid() ? result.toString() : QString(), url);
        if (url.isEmpty()) {
            Transfer t;
            QVERIFY(!t.inet.OpenURL(address));
            QVERIFY(!t.inet.busy() && t.states.isEmpty());
        }
    }

    void pageReportsItsPhasesAndTheBody() {
        Transfer t;
        QVERIFY(t.server.listen());
        t.server.route(QStringLiteral("/"), QByteArray("<html><body>start page</body></html>"));
        QVERIFY(t.inet.OpenURL(QStringLiteral("127.0.0.1:%1").arg(t.server.port())));
        QVERIFY(t.inet.busy());
        QVERIFY(!t.inet.OpenURL(t.server.url(QStringLiteral("/missing"))));  // one at a time
        QCOMPARE(t.states.count(), 0);  // nothing reported inside OpenURL
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 10000);
        QVERIFY(t.ok(0) && !t.inet.busy());
        QCOMPARE(t.body(0), QByteArray("<html><body>start page</body></html>"));
        QCOMPARE(t.server.requests, QStringList{QStringLiteral("/")});
        QCOMPARE(t.codes(), (QList<int>{3, 4, 6, 7, 8, 12, 10}));

        // Free again; an error status still brings the page: the server did
        // answer.
        const qsizetype before = t.states.size();
        QVERIFY(t.inet.OpenURL(t.server.url(QStringLiteral("/missing"))));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 2, 10000);
        QVERIFY(t.ok(1));
        QCOMPARE(t.body(1), QByteArray("<html><body>not found</body></html>"));
        QVERIFY(!t.codes(before).contains(Inet::Error));
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
        QVERIFY(t.inet.OpenURL(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 10000);
        QVERIFY(!t.ok(0));
        QCOMPARE(t.codes().last(), int(Inet::Error));
        QVERIFY(!t.codes().contains(Inet::ResponseReceived));
    }

    void silentServerTimesOutOrIsCancelled() {
        Transfer t;
        QVERIFY(t.server.listen());
        t.routeSilent(QStringLiteral("/silent"));
        t.server.route(QStringLiteral("/"), QByteArray("page"));
        t.inet.setTimeout(300);
        QVERIFY(t.inet.OpenURL(t.server.url(QStringLiteral("/silent"))));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 1, 10000);
        QVERIFY(!t.ok(0));
        QCOMPARE(t.codes().last(), int(Inet::Error));

        // A cancel ends the transfer at once, without an error.
        t.inet.setTimeout(NetworkInet::kDefaultTimeoutMs);
        QVERIFY(t.inet.OpenURL(t.server.url(QStringLiteral("/silent"))));
        QTRY_VERIFY_WITH_TIMEOUT(t.server.requests.size() == 2, 10000);
        qsizetype from = t.states.size();
        t.inet.Cancel();
        QCOMPARE(t.done.count(), 2);
        QVERIFY(!t.ok(1) && !t.inet.busy());
        t.inet.Cancel();  // nothing left to cancel
        QCOMPARE(t.done.count(), 2);
        QVERIFY(!t.codes(from).contains(Inet::Error));

        // A cancel from inside a state handler ends the transfer there: the
        // states after it and the abort's own error are never reported.
        connect(&t.inet, &Inet::StateChanged, this, [&t](int state) {
            if (state == Inet::ResponseReceived)
                t.inet.Cancel();
        });
        from = t.states.size();
        QVERIFY(t.inet.OpenURL(t.server.url(QStringLiteral("/"))));
        QTRY_COMPARE_WITH_TIMEOUT(t.done.count(), 3, 10000);
        QVERIFY(!t.ok(2));
        QCoreApplication::processEvents();
        QCOMPARE(t.done.count(), 3);
        QCOMPARE(t.codes(from).last(), int(Inet::ResponseReceived));
        QVERIFY(!t.codes(from).contains(Inet::Error));
    }
};

QTEST_MAIN(TestInet)
#include "test_inet.moc"
