// The connection label and the HTML window on the real transfer component,
// against a loopback server: the window never waits for the network.

#include <QLabel>
#include <QPlainTextEdit>

#include "connection/transfer_arbiter.h"
#include "harness.h"
#include "html_window/html_window.h"
#include "http_server.h"
#include "inet/network_transfer.h"

using namespace quillow;
using namespace quillow::test;

namespace {

// A loopback server and a main window on the real Internet Transfer
// component, testing its connection against that server.
struct Program {
    Program() {
        HttpServer::Response silent;
        silent.silent = true;
        server.route(QStringLiteral("/silent"), silent);
        server.route(QStringLiteral("/"), QByteArray("<html>up</html>"));
    }
    // Shows the window testing path on the server, or port when given.
    void start(const QString &path, quint16 port = 0) {
        const QString host = QStringLiteral("127.0.0.1:%1").arg(port ? port : server.port());
        main = harness.startWithPrimary([&](Context &c) {
            c.connectionTestHost = host + path;
            c.transferFactory = [](QObject *parent) -> InternetTransfer * {
                return new NetworkTransfer(parent);
            };
        });
        onoff = main->findChild<QLabel *>(QStringLiteral("onoff"));
    }

    HttpServer server;
    Harness harness;
    MainWindow *main = nullptr;
    QLabel *onoff = nullptr;
};

}  // namespace

class TestConnectionWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void silentHostLeavesTheWindowResponsive() {
        Program p;
        QVERIFY(p.server.listen());
        p.start(QStringLiteral("/silent"));
        QVERIFY(QTest::qWaitForWindowExposed(p.main));
        QTRY_COMPARE_WITH_TIMEOUT(p.onoff->text(), QStringLiteral("Testing."), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(p.server.requests.size(), 1, 10000);
        // Dragging the border and clicking the label while the host keeps
        // quiet queue nothing, and the window goes on handling its events.
        for (int i = 0; i < 10; ++i)
            p.main->resize(p.main->width() + 1, p.main->height() + 1);
        QTest::mouseClick(p.onoff, Qt::LeftButton);
        bool timerRan = false;
        QTimer::singleShot(0, this, [&timerRan] { timerRan = true; });
        QTRY_VERIFY_WITH_TIMEOUT(timerRan, 5000);
        QCOMPARE(p.server.requests.size(), 1);
        QCOMPARE(p.onoff->text(), QStringLiteral("Testing."));
    }

    void labelEndsOnlineOrOffline_data() {
        QTest::addColumn<bool>("answering");
        QTest::addColumn<QString>("text");
        QTest::newRow("fast page") << true << "Online";
        QTest::newRow("refused port") << false << "Offline";
    }
    void labelEndsOnlineOrOffline() {
        QFETCH(bool, answering);
        QFETCH(QString, text);
        Program p;
        QVERIFY(p.server.listen());
        p.start(QString(), answering ? 0 : closedPort());
        QTRY_COMPARE_WITH_TIMEOUT(p.onoff->text(), text, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!p.main->transfers()->isBusy(), 10000);
    }

    void htmlWindowGetsAWholeLargePageOverATest() {
        Program p;
        QVERIFY(p.server.listen());
        QByteArray big;
        while (big.size() < 5 * 1024 * 1024)
            big += "<p>" + QByteArray::number(big.size()) + "</p>\n";
        p.server.route(QStringLiteral("/big"), big);
        p.start(QStringLiteral("/silent"));
        QTRY_COMPARE_WITH_TIMEOUT(p.server.requests.size(), 1, 10000);  // the test hangs

        addressBox(p.main)->setEditText(p.server.url(QStringLiteral("/big")));
        p.harness.windows().openHtml();
        auto *contents =
            child<QPlainTextEdit>(p.harness.windows().htmlWindow(), QStringLiteral("hcontents"));
        QTRY_VERIFY_WITH_TIMEOUT(!contents->toPlainText().isEmpty(), 30000);
        QVERIFY(contents->toPlainText().toLatin1() == big);
        QCOMPARE(p.onoff->text(), QStringLiteral("Online"));
    }
};

QTEST_MAIN(TestConnectionWindow)
#include "test_connection_window.moc"
