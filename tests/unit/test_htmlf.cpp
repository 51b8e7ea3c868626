#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "connection/connection_indicator.h"
#include "harness.h"
#include "html_window/htmlf.h"
#include "main_window/mainf.h"

using namespace quillow;
using namespace quillow::test;

namespace {

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The primary main window, its address box holding address, and the HTML
// window opened on it; the page fetch is left running.
struct Setup {
    explicit Setup(const QString &address, const QString &programDir = QString())
        : harness(programDir),
          main(harness.startWithPrimary()),
          inet(harness.inets.value(0)),
          browser(harness.browsers.value(0)) {
        main->addressbar()->setEditText(address);
        harness.windows().openHtml();
        html = harness.windows().htmlWindow();
    }
    QStringList calls(const char *name) const { return browser->callsNamed(name); }
    void run() { QTest::mouseClick(html->runButton(), Qt::LeftButton); }

    Harness harness;
    MainF *main;
    QPointer<FakeInet> inet;
    QPointer<FakeBrowser> browser;
    QPointer<HtmlF> html;
};

}  // namespace

class TestHtmlF : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The component cannot fetch these; whatever it reports, nothing arrives.
    void opensWithABlankOrEmptyAddress_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("blank page") << "about:blank";
        QTest::newRow("empty") << "";
    }
    void opensWithABlankOrEmptyAddress() {
        QFETCH(QString, address);
        Setup s(address);
        QCOMPARE(s.html->windowTitle(), QStringLiteral("HTML"));
        QCOMPARE(s.html->editButton()->text(), QStringLiteral("Edit HTML"));
        QVERIFY(!s.html->editButton()->isEnabled());
        QCOMPARE(s.html->wsite()->text(), address);
        s.inet->finish(false);
        QCOMPARE(s.html->hcontents()->toPlainText(), QString());
    }

    // Through the main window's component, cancelling its connection test;
    // the states that end a test do not cut the page short.
    void loadFetchesTheMainWindowsAddressOverItsTest() {
        Setup s(QStringLiteral("http://site.example/"));
        QCOMPARE(s.inet->opened.last(), QStringLiteral("http://site.example/"));
        const int cancels = s.inet->cancels;
        s.inet->state(8);
        QCOMPARE(s.inet->cancels, cancels);
        QCOMPARE(s.html->hcontents()->toPlainText(), QString());  // not before the page is in
        s.inet->finish(true, "<html>\n<body>site</body>\n</html>");
        QCOMPARE(s.html->hcontents()->toPlainText(),
                 QStringLiteral("<html>\n<body>site</body>\n</html>"));
    }

    void enterFetchesAndAClickEmptiesTheAddressLine() {
        Setup s(QStringLiteral("http://one.example/"));
        s.inet->finish(true, "one");
        QPlainTextEdit *contents = s.html->hcontents();
        QLineEdit *wsite = s.html->wsite();
        // Enter fetches whatever the modifiers, and the page replaces edits.
        const QList<QPair<Qt::Key, Qt::KeyboardModifiers>> presses = {
            {Qt::Key_Return, Qt::NoModifier},
            {Qt::Key_Return, Qt::ShiftModifier},
            {Qt::Key_Enter, Qt::KeypadModifier},
            {Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier}};
        for (int n = 0; n < presses.size(); ++n) {
            contents->setPlainText(QStringLiteral("edited"));
            wsite->setText(QStringLiteral("http://page%1.example/").arg(n));
            QTest::keyClick(wsite, presses[n].first, presses[n].second);
            QCOMPARE(s.inet->opened.last(), wsite->text());
            s.inet->finish(true, "page " + QByteArray::number(n));
            QCOMPARE(contents->toPlainText(), QStringLiteral("page %1").arg(n));
        }
        contents->setPlainText(QStringLiteral("my edits"));
        QTest::keyClick(wsite, Qt::Key_Return);
        s.inet->finish(false);
        QCOMPARE(contents->toPlainText(), QStringLiteral("my edits"));
        // A click empties the line, also one meant only to place the
        // cursor; other keys only edit it.
        const int opened = s.inet->opened.size();
        QTest::mouseClick(wsite, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(wsite->text(), QString());
        QTest::keyClicks(wsite, QStringLiteral("abc"));
        QTest::mouseClick(wsite, Qt::LeftButton, Qt::NoModifier, QPoint(2, 5));
        QCOMPARE(wsite->text(), QString());
        QCOMPARE(s.inet->opened.size(), opened);
    }

    void closingDropsARunningFetch() {
        Setup s(QStringLiteral("http://slow.example/"));
        QVERIFY(s.inet->busy());
        s.html->close();
        QTRY_VERIFY(!s.html);
        QVERIFY(!s.inet->busy());
        // The main window tests its connection again as before.
        const int opened = s.inet->opened.size();
        s.main->connection()->retest();
        QCOMPARE(s.inet->opened.size(), opened + 1);
    }

    void runShowsTheFileAndReloadsItOnASecondRun() {
        Setup s(QStringLiteral("about:blank"));
        s.inet->finish(false);
        const QString path = s.harness.dir() + QStringLiteral("/temp.htm");
        const QString toFile = QStringLiteral("Navigate:") + path;
        // An empty box still makes a file, and the main window goes there.
        s.run();
        QCOMPARE(readFile(path), QByteArray("\r\n"));
        QCOMPARE(s.calls("Navigate").last(), toFile);
        QCOMPARE(s.main->addressbar()->currentText(), path);

        // The address is the one last taken: the shown file is reloaded.
        s.html->hcontents()->setPlainText(QStringLiteral("<p>caf\u00e9</p>\n<p>two</p>"));
        const int navigations = s.calls("Navigate").size();
        s.run();
        QCOMPARE(readFile(path), QByteArray("<p>caf\xc3\xa9</p>\n<p>two</p>\r\n"));
        QCOMPARE(s.calls("Refresh").size(), 1);
        QCOMPARE(s.calls("Navigate").size(), navigations);

        // Having followed a link away, or gone elsewhere, the file is loaded
        // again instead of reloading the other page.
        s.browser->location = QStringLiteral("http://linked.example/");
        s.run();
        QCOMPARE(s.calls("Navigate").mid(navigations), QStringList{toFile});
        s.main->addressbar()->setEditText(QStringLiteral("http://elsewhere.example/"));
        s.main->searchnf();
        s.run();
        QCOMPARE(s.calls("Navigate").last(), toFile);
        QCOMPARE(s.calls("Refresh").size(), 1);
    }

    void runKeepsThePagesEncoding() {
        Setup s(QStringLiteral("http://latin.example/"));
        const QByteArray page =
            "<html><head><meta charset=\"iso-8859-1\"></head><body>caf\xe9</body></html>";
        s.inet->finish(true, page);
        QVERIFY(s.html->hcontents()->toPlainText().contains(QStringLiteral("caf\u00e9")));
        s.run();
        QCOMPARE(readFile(s.html->scratchPath()), page + "\r\n");
    }

    // A file that cannot be written is reported, with the reason, and
    // nothing else changes: an older temp.htm would pass for this text.
    void failedWriteIsReportedAndGoesNowhere_data() {
        QTest::addColumn<bool>("missingDir");
        QTest::newRow("directory in the file's place") << false;
        QTest::newRow("program directory gone") << true;
    }
    void failedWriteIsReportedAndGoesNowhere() {
        QFETCH(bool, missingDir);
        QTemporaryDir base;
        const QString dir = base.path() + (missingDir ? QStringLiteral("/gone") : QString());
        QVERIFY(missingDir || QDir(dir).mkdir(QStringLiteral("temp.htm")));
        Setup s(QStringLiteral("about:blank"), dir);
        s.inet->finish(false);
        s.main->addressbar()->setEditText(QStringLiteral("http://before.example/"));
        const QStringList callsBefore = s.browser->calls;
        s.html->hcontents()->setPlainText(QStringLiteral("<p>new</p>"));
        s.run();

        QCOMPARE(s.harness.messages.shown.size(), 1);
        const QString text = s.harness.messages.shown.at(0).text;
        QVERIFY2(text.contains(dir + QStringLiteral("/temp.htm")), qPrintable(text));
        QVERIFY2(!text.section(QLatin1Char('\n'), 1).trimmed().isEmpty(), qPrintable(text));
        QCOMPARE(s.browser->calls, callsBefore);
        QCOMPARE(s.main->addressbar()->currentText(), QStringLiteral("http://before.example/"));
        QCOMPARE(s.html->hcontents()->toPlainText(), QStringLiteral("<p>new</p>"));
    }
};

QTEST_MAIN(TestHtmlF)
#include "test_htmlf.moc"
