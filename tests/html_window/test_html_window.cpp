// The HTML window with a scripted page and transfer component: fetching,
// the address line, Run and temp.htm.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "harness.h"

using namespace quillow;
using namespace quillow::test;

namespace {

using End = TransferResult::End;

// The primary main window, its address box holding address, and the HTML
// window opened on it; the page fetch is left running.
struct Setup : Primary {
    explicit Setup(const QString &address, const QString &programDir = QString())
        : Primary(programDir), inet(transfers.value(0)) {
        addressBox(primary)->setEditText(address);
        html = open<HtmlWindow>();
    }
    QStringList calls(const char *name) const { return page->callsNamed(QLatin1String(name)); }
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
    // Through the main window's component, cancelling its connection test;
    // the states that end a test do not cut the page short. Edits are held
    // off until the page is in.
    void fetchesTheMainWindowsAddressOverItsTest() {
        Setup s(u"http://site.example/"_s);
        QCOMPARE(s.inet->opened.last(), u"http://site.example/"_s);
        const int cancels = s.inet->cancels;
        s.inet->report(InternetTransfer::State::ResponseReceived);
        QCOMPARE(s.inet->cancels, cancels);
        auto *status = child<QLabel>(s.html, u"fetchstatus"_s);
        QCOMPARE(status->text(), u"Fetching\u2026"_s);
        s.contents()->setFocus();
        QTest::keyClicks(s.contents(), u"typed"_s);
        QCOMPARE(s.contents()->toPlainText(), QString());
        s.inet->finish("<html>\n<body>site</body>\n</html>");
        QCOMPARE(s.contents()->toPlainText(), u"<html>\n<body>site</body>\n</html>"_s);
        QCOMPARE(status->text(), QString());
        // A page cut at the limit says so; what came is shown and editable.
        QTest::keyClick(s.addressLine(), Qt::Key_Return);
        s.inet->finish(End::CutShort, "start of it");
        QCOMPARE(status->text(), u"First 16 MiB"_s);
        QTest::keyClicks(s.contents(), u"typed"_s);
        QVERIFY(s.contents()->toPlainText().contains(u"typed"_s));
        // Closing drops a running fetch, and the main window tests its
        // connection again.
        QTest::keyClick(s.addressLine(), Qt::Key_Return);
        const int before = s.inet->cancels;
        s.html->close();
        QTRY_VERIFY(!s.html);
        QCOMPARE(s.inet->cancels, before + 1);
        QCOMPARE(s.inet->opened.last(), u"127.0.0.1"_s);
    }

    void enterFetchesAndAClickEmptiesTheAddressLine() {
        Setup s(u"about:blank"_s);
        s.inet->finish(End::Failed);
        QLineEdit *line = s.addressLine();
        // Enter fetches whatever the modifiers, and the page replaces edits.
        s.contents()->setPlainText(u"edited"_s);
        line->setText(u"http://page.example/"_s);
        QTest::keyClick(line, Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier);
        QCOMPARE(s.inet->opened.last(), line->text());
        s.inet->finish("page");
        QCOMPARE(s.contents()->toPlainText(), u"page"_s);
        // A failed fetch keeps the edits.
        s.contents()->setPlainText(u"my edits"_s);
        QTest::keyClick(line, Qt::Key_Return);
        s.inet->finish(End::Failed);
        QCOMPARE(s.contents()->toPlainText(), u"my edits"_s);
        // A click empties the line, also one meant only to place the cursor.
        QTest::mouseClick(line, Qt::LeftButton, Qt::NoModifier, QPoint(2, 5));
        QCOMPARE(line->text(), QString());
    }

    // The page menu's source goes to the open window, asking first when
    // its contents were changed: No keeps them, Yes fetches the page. A
    // fetch that fails says so, and the address line goes back to the page
    // the contents are of.
    void pageSourceAsksBeforeReplacingChanges() {
        Setup s(u"about:blank"_s);
        s.inet->finish(End::Failed);
        QTest::keyClicks(s.contents(), u"mine"_s);
        s.questions.yesNo = {false, true};
        emit s.page->sourceWanted(u"http://a.test/"_s);
        QCOMPARE(s.questions.asked.size(), 1);
        QCOMPARE(s.contents()->toPlainText(), u"mine"_s);
        emit s.page->sourceWanted(u"http://a.test/"_s);
        QCOMPARE(s.addressLine()->text(), u"http://a.test/"_s);
        QCOMPARE(s.inet->opened.last(), u"http://a.test/"_s);
        QCOMPARE(s.windows().find<HtmlWindow>(), s.html.data());
        s.inet->finish("<title>Context page</title>");
        emit s.page->sourceWanted(u"http://a.test/short.html"_s);
        s.inet->finish(End::Failed);
        QCOMPARE(s.questions.asked.last().text,
                 u"Could not fetch http://a.test/short.html:\nno answer came from there."_s);
        QCOMPARE(s.addressLine()->text(), u"http://a.test/"_s);
        QCOMPARE(s.contents()->toPlainText(), u"<title>Context page</title>"_s);
    }

    void runShowsTheFileAndReloadsItOnASecondRun() {
        Setup s(u"about:blank"_s);
        s.inet->finish(End::Failed);
        const QString path = s.dir() + u"/temp.htm"_s;
        const QString toFile = u"navigate:"_s + path;
        // An empty box still makes a file, and the main window goes there.
        s.run();
        QCOMPARE(readFile(path), QByteArray("\r\n"));
        QCOMPARE(s.calls("navigate").last(), toFile);
        // The address is the one last taken: the shown file is reloaded.
        s.contents()->setPlainText(u"<p>caf\u00e9</p>\n<p>two</p>"_s);
        const int navigations = s.calls("navigate").size();
        s.run();
        QCOMPARE(readFile(path), QByteArray("<p>caf\xc3\xa9</p>\r\n<p>two</p>\r\n"));
        QCOMPARE(QFile::permissions(path) & 0x0777, QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(s.calls("refresh").size(), 1);
        QCOMPARE(s.calls("navigate").size(), navigations);
    }

    // What the page says is shown, and an untouched page goes back byte for
    // byte, with CR LF line ends; text its encoding lacks goes as UTF-8.
    void runKeepsThePagesBytes_data() {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Shift_JIS by the page")
            << QByteArray()
            << QByteArray(
                   "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                   "charset=Shift_JIS\">\r\n<p>\x93\xfa\x96\x7b</p>")
            << u"\u65e5\u672c"_s;
        QTest::newRow("ISO-8859-1 read as browsers do")
            << QByteArray("text/html; charset=ISO-8859-1") << QByteArray("\x93\x80\x94 \x81")
            << u"\u201c\u20ac\u201d \u0081"_s;
        QTest::newRow("the header wins over the page")
            << QByteArray("text/html; charset=windows-1252")
            << QByteArray("<meta charset=\"utf-8\">caf\xc3\xa9") << u"caf\u00c3\u00a9"_s;
    }
    void runKeepsThePagesBytes() {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, page);
        QFETCH(QString, shown);
        Setup s(u"http://page.example/"_s);
        s.inet->finish(End::Complete, page, contentType);
        QVERIFY(s.contents()->toPlainText().contains(shown));
        s.run();
        QByteArray expected = page;
        expected.replace("\r\n", "\n").replace('\n', "\r\n");
        QCOMPARE(readFile(s.html->scratchPath()), expected + "\r\n");
        s.contents()->setPlainText(u"\u011f"_s);
        s.run();
        const QByteArray written = readFile(s.html->scratchPath());
        QVERIFY(written == "\xc4\x9f\r\n" || written == "\xef\xbb\xbf\xc4\x9f\r\n");
    }

    // A file that cannot be written is reported, with the reason, and
    // nothing else changes: an older temp.htm would pass for this text.
    void failedWriteIsReportedAndGoesNowhere_data() {
        QTest::addColumn<bool>("link");
        QTest::newRow("a folder in its place") << false;
        QTest::newRow("a link in its place") << true;
    }
    void failedWriteIsReportedAndGoesNowhere() {
        QFETCH(bool, link);
        QTemporaryDir base;
        const QString target = base.filePath(u"other"_s);
        QVERIFY(link ? QFile::link(target, base.filePath(u"temp.htm"_s))
                     : QDir(base.path()).mkdir(u"temp.htm"_s));
        Setup s(u"about:blank"_s, base.path());
        s.inet->finish(End::Failed);
        const QStringList callsBefore = s.page->calls;
        s.contents()->setPlainText(u"<p>new</p>"_s);
        s.run();
        QCOMPARE(s.questions.asked.size(), 1);
        const QString text = s.questions.asked.at(0).text;
        QVERIFY(text.contains(base.filePath(u"temp.htm"_s)));
        QVERIFY2(!text.section(u'\n', 1).trimmed().isEmpty(), qPrintable(text));
        QCOMPARE(s.page->calls, callsBefore);
        QCOMPARE(s.contents()->toPlainText(), u"<p>new</p>"_s);
        QVERIFY(!QFile::exists(target));  // nothing written through the link
    }
};

QTEST_MAIN(TestHtmlWindow)
#include "test_html_window.moc"
