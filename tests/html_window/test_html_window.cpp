// The HTML window with a scripted page and transfer component: fetching,
// the address line, Run and temp.htm.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "connection/transfer_arbiter.h"
#include "harness.h"
#include "html_window/html_window.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

namespace {

// The primary main window, its address box holding address, and the HTML
// window opened on it; the page fetch is left running.
struct Setup : Program {
    explicit Setup(const QString &address, const QString &programDir = QString())
        : Program(programDir), inet(transfers.value(0)) {
        addressBox(primary)->setEditText(address);
        windows().openHtml();
        html = windows().htmlWindow();
    }
    QStringList calls(const char *name) const {
        return page->callsNamed(QString::fromLatin1(name));
    }
    void run() { click(html, u"Command2"_s); }
    QPlainTextEdit *contents() const { return child<QPlainTextEdit>(html, u"hcontents"_s); }
    QLineEdit *addressLine() const { return child<QLineEdit>(html, u"wsite"_s); }

    QPointer<FakeTransfer> inet;
    QPointer<HtmlWindow> html;
};

}  // namespace

class TestHtmlWindow : public QObject {
    Q_OBJECT

private slots:
    // The component cannot fetch these; whatever it reports, nothing arrives.
    void opensWithABlankOrEmptyAddress_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("blank page") << "about:blank";
        QTest::newRow("empty") << "";
    }
    void opensWithABlankOrEmptyAddress() {
        QFETCH(QString, address);
        Setup s(address);
        QCOMPARE(s.html->windowTitle(), u"HTML"_s);
        QVERIFY(!child(s.html, u"Command1"_s)->isEnabled());
        QCOMPARE(s.addressLine()->text(), address);
        s.inet->finish(false);
        QCOMPARE(s.contents()->toPlainText(), QString());
    }

    // Through the main window's component, cancelling its connection test;
    // the states that end a test do not cut the page short.
    void loadFetchesTheMainWindowsAddressOverItsTest() {
        Setup s(u"http://site.example/"_s);
        QCOMPARE(s.inet->opened.last(), u"http://site.example/"_s);
        const int cancels = s.inet->cancels;
        s.inet->report(InternetTransfer::State::ResponseReceived);
        QCOMPARE(s.inet->cancels, cancels);
        QCOMPARE(s.contents()->toPlainText(), QString());  // not before the page is in
        s.inet->finish(true, "<html>\n<body>site</body>\n</html>");
        QCOMPARE(s.contents()->toPlainText(), u"<html>\n<body>site</body>\n</html>"_s);
    }

    void enterFetchesAndAClickEmptiesTheAddressLine() {
        Setup s(u"http://one.example/"_s);
        s.inet->finish(true, "one");
        QPlainTextEdit *contents = s.contents();
        QLineEdit *wsite = s.addressLine();
        // Enter fetches whatever the modifiers, and the page replaces edits.
        const QList<QPair<Qt::Key, Qt::KeyboardModifiers>> presses = {
            {Qt::Key_Return, Qt::ShiftModifier}, {Qt::Key_Enter, Qt::KeypadModifier}};
        for (int n = 0; n < presses.size(); ++n) {
            contents->setPlainText(u"edited"_s);
            wsite->setText(u"http://page%1.example/"_s.arg(n));
            QTest::keyClick(wsite, presses[n].first, presses[n].second);
            QCOMPARE(s.inet->opened.last(), wsite->text());
            s.inet->finish(true, "page " + QByteArray::number(n));
            QCOMPARE(contents->toPlainText(), u"page %1"_s.arg(n));
        }
        contents->setPlainText(u"my edits"_s);
        QTest::keyClick(wsite, Qt::Key_Return);
        s.inet->finish(false);
        QCOMPARE(contents->toPlainText(), u"my edits"_s);
        // A click empties the line, also one meant only to place the
        // cursor; other keys only edit it.
        const int opened = s.inet->opened.size();
        QTest::mouseClick(wsite, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(wsite->text(), QString());
        QTest::keyClicks(wsite, u"abc"_s);
        QTest::mouseClick(wsite, Qt::LeftButton, Qt::NoModifier, QPoint(2, 5));
        QCOMPARE(wsite->text(), QString());
        QCOMPARE(s.inet->opened.size(), opened);
    }

    void closingDropsARunningFetch() {
        Setup s(u"http://slow.example/"_s);
        QVERIFY(s.inet->isBusy());
        s.html->close();
        QTRY_VERIFY(!s.html);
        // The fetch ends, and the main window tests its connection again.
        QCOMPARE(s.inet->cancels, 2);
        QCOMPARE(s.inet->opened.last(), u"127.0.0.1"_s);
    }

    void runShowsTheFileAndReloadsItOnASecondRun() {
        Setup s(u"about:blank"_s);
        s.inet->finish(false);
        const QString path = s.dir() + u"/temp.htm"_s;
        const QString toFile = u"navigate:"_s + path;
        // An empty box still makes a file, and the main window goes there.
        s.run();
        QCOMPARE(readFile(path), QByteArray("\r\n"));
        QCOMPARE(s.calls("navigate").last(), toFile);
        QCOMPARE(addressBox(s.primary)->currentText(), path);

        // The address is the one last taken: the shown file is reloaded.
        s.contents()->setPlainText(u"<p>caf\u00e9</p>\n<p>two</p>"_s);
        const int navigations = s.calls("navigate").size();
        s.run();
        QCOMPARE(readFile(path), QByteArray("<p>caf\xc3\xa9</p>\r\n<p>two</p>\r\n"));
        QCOMPARE(s.calls("refresh").size(), 1);
        QCOMPARE(s.calls("navigate").size(), navigations);

        // Having followed a link away, or gone elsewhere, the file is loaded
        // again instead of reloading the other page.
        s.page->shown = u"http://linked.example/"_s;
        s.run();
        QCOMPARE(s.calls("navigate").mid(navigations), QStringList{toFile});
        typeAddress(s.primary, u"http://elsewhere.example/"_s);
        s.run();
        QCOMPARE(s.calls("navigate").last(), toFile);
        QCOMPARE(s.calls("refresh").size(), 1);
    }

    // What the page says is shown, and an untouched page goes back byte for
    // byte, with CR LF line ends.
    void runKeepsThePagesBytes_data() {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTF-8 by header")
            << QByteArray("text/html; charset=utf-8")
            << QByteArray("<p>caf\xc3\xa9</p>\n<p>two</p>") << u"caf\u00e9"_s;
        QTest::newRow("Latin-1 by header") << QByteArray("text/html; charset=ISO-8859-1")
                                           << QByteArray("<p>caf\xe9</p>") << u"caf\u00e9"_s;
        QTest::newRow("windows-1252 by the page")
            << QByteArray("text/html") << QByteArray("<meta charset=\"windows-1252\">\x80 caf\xe9")
            << u"\u20ac caf\u00e9"_s;
        QTest::newRow("Shift_JIS by the page")
            << QByteArray()
            << QByteArray(
                   "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                   "charset=Shift_JIS\">\r\n<p>\x93\xfa\x96\x7b</p>")
            << u"\u65e5\u672c"_s;
        QTest::newRow("undeclared UTF-8")
            << QByteArray() << QByteArray("<p>\xe6\x97\xa5</p>") << u"\u65e5"_s;
        QTest::newRow("undeclared bytes")
            << QByteArray() << QByteArray("<p>caf\xe9 \xff\x00</p>") << u"caf\u00e9"_s;
        QTest::newRow("declared wrongly") << QByteArray("text/html; charset=windows-1252")
                                          << QByteArray("\x81\x8d caf\xe9") << u"caf\u00e9"_s;
    }
    void runKeepsThePagesBytes() {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, page);
        Setup s(u"http://page.example/"_s);
        s.inet->finish(true, page, contentType);
        QFETCH(QString, shown);
        QVERIFY2(s.contents()->toPlainText().contains(shown),
                 qPrintable(s.contents()->toPlainText()));
        QVERIFY(!s.contents()->toPlainText().contains(QLatin1Char('\r')));
        s.run();
        QByteArray expected = page;
        expected.replace("\r\n", "\n").replace('\n', "\r\n");
        QCOMPARE(readFile(s.html->scratchPath()), expected + "\r\n");
        // Text the page's encoding lacks goes out as UTF-8, marked so.
        s.contents()->setPlainText(u"\u011f"_s);
        s.run();
        const QByteArray written = readFile(s.html->scratchPath());
        QVERIFY(written == "\xc4\x9f\r\n" || written == "\xef\xbb\xbf\xc4\x9f\r\n");
    }

    // Nothing typed while a page is on its way is lost to it.
    void noEditsWhileFetching() {
        Setup s(u"http://slow.example/"_s);
        auto *status = child<QLabel>(s.html, u"fetchstatus"_s);
        QCOMPARE(status->text(), u"Fetching\u2026"_s);
        s.contents()->setFocus();
        QTest::keyClicks(s.contents(), u"typed"_s);
        QCOMPARE(s.contents()->toPlainText(), QString());
        s.inet->finish(true, "page");
        QCOMPARE(status->text(), QString());
        // A page cut at the limit says so; what came is shown.
        QTest::keyClick(s.addressLine(), Qt::Key_Return);
        s.inet->finish(true, "start of it", {}, true);
        QCOMPARE(status->text(), u"First 16 MiB"_s);
        QCOMPARE(s.contents()->toPlainText(), u"start of it"_s);
        QTest::keyClicks(s.contents(), u"typed"_s);
        QVERIFY(s.contents()->toPlainText().contains(u"typed"_s));
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
        const QString dir = base.path() + (missingDir ? u"/gone"_s : QString());
        QVERIFY(missingDir || QDir(dir).mkdir(u"temp.htm"_s));
        Setup s(u"about:blank"_s, dir);
        s.inet->finish(false);
        addressBox(s.primary)->setEditText(u"http://before.example/"_s);
        const QStringList callsBefore = s.page->calls;
        s.contents()->setPlainText(u"<p>new</p>"_s);
        s.run();

        QCOMPARE(s.messages.shown.size(), 1);
        const QString text = s.messages.shown.at(0).text;
        QVERIFY2(text.contains(dir + u"/temp.htm"_s), qPrintable(text));
        QVERIFY2(!text.section(QLatin1Char('\n'), 1).trimmed().isEmpty(), qPrintable(text));
        QCOMPARE(s.page->calls, callsBefore);
        QCOMPARE(addressBox(s.primary)->currentText(), u"http://before.example/"_s);
        QCOMPARE(s.contents()->toPlainText(), u"<p>new</p>"_s);
    }
};

QTEST_MAIN(TestHtmlWindow)
#include "test_html_window.moc"
