// The page's questions on the real engine, against pages served on
// 127.0.0.1: sign-in, a certificate that signs itself, and the page's own
// dialogs in a loop.

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "engine_support.h"
#include "harness.h"
#include "http_server.h"
#include "questions/desktop_questions.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

namespace {

QDialog *openPageDialog() {
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == u"pagedialog"_s && top->isVisible())
            return static_cast<QDialog *>(top);
    return nullptr;
}

}  // namespace

class EnginePageQuestionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Harness> h;
    HttpServer server;
    HttpServer tlsServer;
    DesktopQuestions desktopQuestions;
    MainWindow *w = nullptr;

    QString title() const { return w->windowTitle().mid(MainWindow::kCaption.size()); }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        HttpServer::Response inside;
        inside.body = "<html><head><title>inside</title></head><body>in</body></html>";
        inside.authorization = "Basic " + QByteArray("ann:secret").toBase64();
        server.route(u"/private.html"_s, inside);
        server.route(u"/three.html"_s,
                     "<html><body><script>for (var i = 0; i < 8; ++i) alert(i);"
                     "document.title = 'through';</script></body></html>");
        server.route(u"/trap.html"_s,
                     "<html><body><script>while (true) alert('again');"
                     "</script></body></html>");
        if (!tlsServer.listenTls())
            QSKIP("openssl cannot make a certificate here");
        tlsServer.route(u"/secure.html"_s,
                        "<html><head><title>secure</title></head><body>secure</body></html>");
    }
    void init() {
        h = std::make_unique<Harness>();
        const bool realDialogs = QByteArray(QTest::currentTestFunction()).contains("Dialog");
        w = startOnEngine(*h, QUrl(), [this, realDialogs](Context &c) {
            if (realDialogs)
                c.questions = &desktopQuestions;
        });
        QVERIFY(w);
    }
    void cleanup() {
        robot.stop();
        robot.disconnect();
        h.reset();
    }

    void cancelShowsTheRefusalAndTheRightPasswordSignsIn() {
        typeAddress(w, server.url(u"/private.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"refused"_s, kPageWait);
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->pageStatus(), u"Done"_s, kPageWait);
        QCoreApplication::sendPostedEvents();
        // No question about a failed page after the user's own Cancel.
        QCOMPARE(h->questions.asked.size(), 1);
        QVERIFY(h->questions.asked.first().text.contains(u"\"Test Realm\""_s));

        h->questions.signIns = {{u"ann"_s, u"secret"_s}};
        typeAddress(w, server.url(u"/private.html?again"_s));
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"inside"_s, kPageWait);
        QVERIFY(server.heads.last().contains("\r\nAuthorization: Basic YW5uOnNlY3JldA=="));
    }

    void selfSignedCertificateIsRefusedUnlessTheUserSaysYes() {
        const QString url = tlsServer.url(u"/secure.html"_s);
        // Only the page itself asks, not an image on it.
        server.route(u"/image.html"_s,
                     "<html><body><img src='" + url.toUtf8() + "'></body></html>");
        typeAddress(w, server.url(u"/image.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(statusBar(w)->message(), u"Site Loaded."_s, kPageWait);
        QTRY_VERIFY_WITH_TIMEOUT(!viewOf(w)->page()->isLoading(), kPageWait);
        QVERIFY(h->questions.asked.isEmpty());
        typeAddress(w, url);
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"Certificate Problem"_s, kPageWait);
        QCOMPARE(h->questions.asked.size(), 1);
        QVERIFY(h->questions.asked.first().text.contains(u"127.0.0.1"_s));
        QCOMPARE(location(w), url);
        QVERIFY(tlsServer.requests.isEmpty());

        h->questions.yesNo = {true};
        typeAddress(w, url + u"?again"_s);
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"secure"_s, kPageWait);
        QCOMPARE(tlsServer.requests.first(), u"/secure.html?again"_s);
    }

    // The dialogs' local event loop runs inside the engine's call, below
    // which this test waits: act on each dialog from a timer, as the user
    // would from the desktop.
    void thirdDialogOffersToStopThem() {
        QList<bool> offers;
        onEachDialog([&](QDialog *d) {
            auto *stop = d->findChild<QCheckBox *>();
            offers.append(stop);
            if (stop)
                QTest::mouseClick(stop, Qt::LeftButton, {}, QPoint(5, stop->height() / 2));
            QTest::mouseClick(d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        });
        typeAddress(w, server.url(u"/three.html"_s));
        QTRY_COMPARE_WITH_TIMEOUT(title(), u"through"_s, kPageWait);
        QCOMPARE(offers, QList<bool>({false, false, true}));
    }

    void closingTheWindowEndsAnEndlessDialogLoop() {
        QPointer<MainWindow> window(w);
        bool blocked = false;
        onEachDialog([&](QDialog *) {
            // As the close box does: Qt drops it for a window a modal one blocks.
            blocked = QGuiApplication::modalWindow();
            QCloseEvent close;
            QCoreApplication::sendEvent(window->windowHandle(), &close);
        });
        typeAddress(w, server.url(u"/trap.html"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!window, kPageWait);
        QVERIFY(!blocked && !openPageDialog());
    }

private:
    QTimer robot;
    QPointer<QDialog> handled;
    void onEachDialog(const std::function<void(QDialog *)> &act) {
        connect(&robot, &QTimer::timeout, this, [this, act] {
            QDialog *d = openPageDialog();
            if (d && d != handled)
                act(handled = d);
        });
        robot.start(20);
    }
};

QUILLOW_ENGINE_TEST_MAIN(EnginePageQuestionsTest)
#include "test_page_questions.moc"
