// The connection label and the HTML window on the real transfer component,
// against a loopback server: the window never waits for the network.

#include <QLabel>
#include <QPlainTextEdit>

#include "connection/transfer_arbiter.h"
#include "harness.h"
#include "http_server.h"
#include "inet/network_transfer.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

class TestConnectionWindow : public QObject {
    Q_OBJECT

    HttpServer server;
    std::unique_ptr<Harness> h;
    MainWindow *w = nullptr;

    // Shows the window testing path on the server, or on port when given.
    QLabel *start(const QString &path, quint16 port = 0) {
        const QString host = u"127.0.0.1:%1"_s.arg(port ? port : server.port());
        h = std::make_unique<Harness>();
        w = h->startWithPrimary([&](Context &c) {
            c.connectionTestHost = host + path;
            c.transferFactory = [](QObject *parent) -> InternetTransfer * {
                return new NetworkTransfer(parent);
            };
        });
        return child<QLabel>(w, u"onoff"_s);
    }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        HttpServer::Response silent;
        silent.silent = true;
        server.route(u"/silent"_s, silent);
        server.route(u"/"_s, QByteArray("<html>up</html>"));
    }
    void init() { server.requests.clear(); }

    void silentHostLeavesTheWindowResponsive() {
        QLabel *label = start(u"/silent"_s);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), u"Testing."_s, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, 10000);
        // Dragging the border and clicking the label while the host keeps
        // quiet queue nothing, and the window goes on handling its events.
        for (int i = 0; i < 10; ++i)
            w->resize(w->width() + 1, w->height() + 1);
        QTest::mouseClick(label, Qt::LeftButton);
        bool timerRan = false;
        QTimer::singleShot(0, this, [&timerRan] { timerRan = true; });
        QTRY_VERIFY_WITH_TIMEOUT(timerRan, 5000);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(label->text(), u"Testing."_s);
    }

    // A test the HTML window's fetch cancels is followed by a new one, also
    // when the fetch is refused or the window closes before its page.
    void cancelledTestIsFollowedByANewOne() {
        start(u"/silent"_s);
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, 10000);
        addressBox(w)->setEditText(u"about:blank"_s);
        QPointer<HtmlWindow> html = h->open<HtmlWindow>();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 2, 10000);
        html->close();
        QTRY_VERIFY(!html);
        addressBox(w)->setEditText(server.url(u"/silent"_s));
        html = h->open<HtmlWindow>();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 3, 10000);  // the fetch
        html->close();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 4, 10000);
    }

    void labelEndsOnlineOrOffline() {
        QLabel *label = start(QString());
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), u"Online"_s, 10000);
        label = start(QString(), closedPort());
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), u"Offline"_s, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!w->transfers()->isBusy(), 10000);
    }
};

QTEST_MAIN(TestConnectionWindow)
#include "test_connection_window.moc"
