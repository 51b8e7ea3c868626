#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "http_server.h"
#include "inet/network_inet.h"

using namespace quillow;
using quillow::test::HttpServer;

namespace {

QList<int> states(const QSignalSpy &spy) {
    QList<int> codes;
    for (const QList<QVariant> &args : spy)
        codes.append(args.at(0).toInt());
    return codes;
}

QString hostOf(const HttpServer &server) {
    return QStringLiteral("127.0.0.1:%1").arg(server.port());
}

}  // namespace

class TestInet : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void webAddress_data();
    void webAddress();

    void fastPageReportsItsPhasesAndTheBody();
    void errorStatusStillBringsThePage();
    void serverClosingEarlyFails();
    void timeOutFails();
    void openWhileBusyIsRefused();
    void cancelEndsAtOnceWithoutAnError();
};

void TestInet::webAddress_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("url");
    QTest::newRow("bare host") << "www.example.org"
                               << "http://www.example.org/";
    QTest::newRow("blanks around") << "  www.example.org "
                                   << "http://www.example.org/";
    QTest::newRow("host and port") << "127.0.0.1:8080"
                                   << "http://127.0.0.1:8080/";
    QTest::newRow("named host, port, path") << "localhost:81/a?b=1"
                                            << "http://localhost:81/a?b=1";
    QTest::newRow("full http") << "http://example.org/x.htm"
                               << "http://example.org/x.htm";
    QTest::newRow("https kept") << "https://example.org"
                                << "https://example.org/";
    QTest::newRow("upper-case scheme") << "HTTP://Example.ORG"
                                       << "http://example.org/";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("only blanks") << "   "
                                 << "";
    QTest::newRow("about") << "about:blank"
                           << "";
    QTest::newRow("mail") << "mailto:me@example.org"
                          << "";
    QTest::newRow("script") << "javascript:alert(1)"
                            << "";
    QTest::newRow("drive path") << "C:\\temp.htm"
                                << "";
    QTest::newRow("unix path") << "/etc/passwd"
                               << "";
    QTest::newRow("file url") << "file:///etc/passwd"
                              << "";
    QTest::newRow("ftp") << "ftp://example.org/"
                         << "";
    QTest::newRow("no host") << "http://"
                             << "";
}

void TestInet::webAddress() {
    QFETCH(QString, address);
    QFETCH(QString, url);
    const QUrl result = NetworkInet::webAddress(address);
    QCOMPARE(result.isValid(), !url.isEmpty());
    if (!url.isEmpty())
        QCOMPARE(result.toString(), url);

    if (url.isEmpty()) {
        NetworkInet inet;
        QSignalSpy stateSpy(&inet, &Inet::StateChanged);
        QVERIFY(!inet.OpenURL(address));
        QVERIFY(!inet.busy());
        QCOMPARE(stateSpy.count(), 0);
    }
}

void TestInet::fastPageReportsItsPhasesAndTheBody() {
    HttpServer server;
    QVERIFY(server.listen());
    server.route(QStringLiteral("/"), QByteArray("<html><body>start page</body></html>"));
    NetworkInet inet;
    QSignalSpy stateSpy(&inet, &Inet::StateChanged);
    QSignalSpy done(&inet, &Inet::finished);

    QVERIFY(inet.OpenURL(hostOf(server)));
    QVERIFY(inet.busy());
    QCOMPARE(stateSpy.count(), 0);  // nothing reported inside OpenURL
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);

    QCOMPARE(done.at(0).at(0).toBool(), true);
    QCOMPARE(done.at(0).at(1).toByteArray(), QByteArray("<html><body>start page</body></html>"));
    QVERIFY(!inet.busy());
    QCOMPARE(server.requests, QStringList{QStringLiteral("/")});
    const QList<int> codes = states(stateSpy);
    QCOMPARE(codes, (QList<int>{3, 4, 6, 7, 8, 12, 10}));
}

void TestInet::errorStatusStillBringsThePage() {
    HttpServer server;
    QVERIFY(server.listen());
    NetworkInet inet;
    QSignalSpy stateSpy(&inet, &Inet::StateChanged);
    QSignalSpy done(&inet, &Inet::finished);

    QVERIFY(inet.OpenURL(server.url(QStringLiteral("/missing"))));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(done.at(0).at(0).toBool(), true);
    QCOMPARE(done.at(0).at(1).toByteArray(), QByteArray("<html><body>not found</body></html>"));
    QVERIFY(!states(stateSpy).contains(Inet::Error));
}

void TestInet::serverClosingEarlyFails() {
    // Promises more than it sends: a page cut off must not pass as whole.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, this, [&server] {
        QTcpSocket *socket = server.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                "Content-Length: 5000\r\n\r\n<html><body>cut");
            socket->disconnectFromHost();
        });
    });
    NetworkInet inet;
    QSignalSpy stateSpy(&inet, &Inet::StateChanged);
    QSignalSpy done(&inet, &Inet::finished);

    QVERIFY(inet.OpenURL(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QCOMPARE(states(stateSpy).last(), int(Inet::Error));
    QVERIFY(!states(stateSpy).contains(Inet::ResponseReceived));
}

void TestInet::timeOutFails() {
    HttpServer server;
    QVERIFY(server.listen());
    HttpServer::Response silent;
    silent.silent = true;
    server.route(QStringLiteral("/"), silent);
    NetworkInet inet;
    inet.setTimeout(300);
    QSignalSpy stateSpy(&inet, &Inet::StateChanged);
    QSignalSpy done(&inet, &Inet::finished);

    QVERIFY(inet.OpenURL(hostOf(server)));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QCOMPARE(states(stateSpy).last(), int(Inet::Error));
}

void TestInet::openWhileBusyIsRefused() {
    HttpServer server;
    QVERIFY(server.listen());
    server.route(QStringLiteral("/"), QByteArray("first"));
    server.route(QStringLiteral("/second"), QByteArray("second"));
    NetworkInet inet;
    QSignalSpy done(&inet, &Inet::finished);

    QVERIFY(inet.OpenURL(server.url(QStringLiteral("/"))));
    QVERIFY(!inet.OpenURL(server.url(QStringLiteral("/second"))));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(done.at(0).at(1).toByteArray(), QByteArray("first"));
    QCOMPARE(server.requests, QStringList{QStringLiteral("/")});

    // Free again once the first has ended.
    QVERIFY(inet.OpenURL(server.url(QStringLiteral("/second"))));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 10000);
    QCOMPARE(done.at(1).at(1).toByteArray(), QByteArray("second"));
}

void TestInet::cancelEndsAtOnceWithoutAnError() {
    HttpServer server;
    QVERIFY(server.listen());
    HttpServer::Response silent;
    silent.silent = true;
    server.route(QStringLiteral("/silent"), silent);
    server.route(QStringLiteral("/"), QByteArray("page"));
    NetworkInet inet;
    QSignalSpy stateSpy(&inet, &Inet::StateChanged);
    QSignalSpy done(&inet, &Inet::finished);

    QVERIFY(inet.OpenURL(server.url(QStringLiteral("/silent"))));
    QTRY_VERIFY_WITH_TIMEOUT(server.requests.size() == 1, 10000);
    inet.Cancel();
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).toBool(), false);
    QVERIFY(!inet.busy());
    const int statesAtCancel = stateSpy.count();
    inet.Cancel();  // nothing left to cancel
    QCOMPARE(done.count(), 1);

    // A cancel from inside a state handler ends the transfer there: the
    // states after it and the abort's own error are never reported.
    connect(&inet, &Inet::StateChanged, this, [&inet](int state) {
        if (state == Inet::ResponseReceived)
            inet.Cancel();
    });
    QVERIFY(inet.OpenURL(server.url(QStringLiteral("/"))));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 10000);
    QCOMPARE(done.at(1).at(0).toBool(), false);
    QCoreApplication::processEvents();
    QCOMPARE(done.count(), 2);
    const QList<int> codes = states(stateSpy).mid(statesAtCancel);
    QCOMPARE(codes.last(), int(Inet::ResponseReceived));
    QVERIFY(!codes.contains(Inet::Error));
}

QTEST_MAIN(TestInet)
#include "test_inet.moc"
