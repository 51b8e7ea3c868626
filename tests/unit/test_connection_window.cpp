#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>

#include "connection/connection_indicator.h"
#include "harness.h"
#include "html_window/htmlf.h"
#include "http_server.h"
#include "inet/network_inet.h"
#include "main_window/mainf.h"

using namespace quillow;
using namespace quillow::test;

// Main windows on the real Internet Transfer component, testing loopback
// hosts: the test never holds up the window.
class TestConnectionWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void silentHostLeavesTheWindowResponsive();
    void labelEndsOnlineOrOffline_data();
    void labelEndsOnlineOrOffline();
    void htmlWindowGetsAWholeLargePageOverATest();

private:
    static Context realInet(Harness &harness, const QString &testHost) {
        Context c = harness.context();
        c.connectionTestHost = testHost;
        c.inetFactory = [](QObject *parent) -> Inet * { return new NetworkInet(parent); };
        return c;
    }
};

void TestConnectionWindow::silentHostLeavesTheWindowResponsive() {
    HttpServer server;
    QVERIFY(server.listen());
    HttpServer::Response silent;
    silent.silent = true;
    server.route(QStringLiteral("/"), silent);
    Harness harness;
    Windows windows(realInet(harness, QStringLiteral("127.0.0.1:%1").arg(server.port())));

    MainF *main = windows.createPrimary();
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    auto *onoff = main->findChild<QLabel *>(QStringLiteral("onoff"));
    QVERIFY(onoff);
    QTRY_COMPARE_WITH_TIMEOUT(onoff->text(), QStringLiteral("Testing."), 10000);

    // Dragging the border and clicking the label while the host keeps quiet
    // queue nothing, and the window goes on handling its events.
    for (int i = 0; i < 10; ++i)
        main->resize(main->width() + 1, main->height() + 1);
    QTest::mouseClick(onoff, Qt::LeftButton);
    bool timerRan = false;
    QTimer::singleShot(0, this, [&timerRan] { timerRan = true; });
    QTRY_VERIFY_WITH_TIMEOUT(timerRan, 5000);
    QCOMPARE(server.requests.size(), 1);
    QCOMPARE(onoff->text(), QStringLiteral("Testing."));
}

void TestConnectionWindow::labelEndsOnlineOrOffline_data() {
    QTest::addColumn<bool>("answering");
    QTest::addColumn<QString>("text");
    QTest::newRow("fast page") << true << "Online";
    QTest::newRow("refused port") << false << "Offline";
}

void TestConnectionWindow::labelEndsOnlineOrOffline() {
    QFETCH(bool, answering);
    QFETCH(QString, text);
    HttpServer server;
    QVERIFY(server.listen());
    server.route(QStringLiteral("/"), QByteArray("<html>up</html>"));
    const quint16 port = answering ? server.port() : closedPort();
    Harness harness;
    Windows windows(realInet(harness, QStringLiteral("127.0.0.1:%1").arg(port)));

    MainF *main = windows.createPrimary();
    main->show();
    auto *onoff = main->findChild<QLabel *>(QStringLiteral("onoff"));
    QTRY_COMPARE_WITH_TIMEOUT(onoff->text(), text, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!main->inet()->busy(), 10000);

    // A click tests again.
    const int requests = server.requests.size();
    QTest::mouseClick(onoff, Qt::LeftButton);
    QVERIFY(main->inet()->busy());
    QTRY_VERIFY_WITH_TIMEOUT(!main->inet()->busy(), 10000);
    QCOMPARE(onoff->text(), text);
    if (answering)
        QCOMPARE(server.requests.size(), requests + 1);
}

void TestConnectionWindow::htmlWindowGetsAWholeLargePageOverATest() {
    HttpServer server;
    QVERIFY(server.listen());
    HttpServer::Response silent;
    silent.silent = true;
    server.route(QStringLiteral("/"), silent);
    QByteArray big;
    big.reserve(5 * 1024 * 1024 + 64);
    while (big.size() < 5 * 1024 * 1024)
        big += "<p>" + QByteArray::number(big.size()) + "</p>\n";
    server.route(QStringLiteral("/big"), big);
    Harness harness;
    Windows windows(realInet(harness, QStringLiteral("127.0.0.1:%1").arg(server.port())));
    MainF *main = windows.createPrimary();
    main->show();
    QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, 10000);  // the test hangs

    main->addressbar()->setEditText(server.url(QStringLiteral("/big")));
    windows.openHtml();
    QPlainTextEdit *contents = windows.htmlWindow()->hcontents();
    QTRY_VERIFY_WITH_TIMEOUT(!contents->toPlainText().isEmpty(), 30000);
    QVERIFY(contents->toPlainText().toLatin1() == big);
    auto *onoff = main->findChild<QLabel *>(QStringLiteral("onoff"));
    QCOMPARE(onoff->text(), QStringLiteral("Online"));
}

QTEST_MAIN(TestConnectionWindow)
#include "test_connection_window.moc"
