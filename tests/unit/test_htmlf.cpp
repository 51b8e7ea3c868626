#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
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
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll();
}

}  // namespace

class TestHtmlF : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void design();
    void opensWithABlankOrEmptyAddress_data();
    void opensWithABlankOrEmptyAddress();
    void loadFetchesTheMainWindowsAddressOverItsTest();
    void enterReplacesTheContentsAndAFailureKeepsEdits();
    void clickEmptiesTheAddressLine();
    void closingDropsARunningFetch();
    void runWritesTheTextAndShowsIt();
    void runAgainShowsTheChangedText();
    void runKeepsThePagesEncoding();
    void failedWriteIsReportedAndGoesNowhere_data();
    void failedWriteIsReportedAndGoesNowhere();

private:
    // A harness with the primary main window, its address box holding
    // address, and the HTML window opened on it.
    struct Setup {
        explicit Setup(const QString &address, const QString &programDir = QString())
            : harness(programDir) {
            harness.start();
            main = harness.windows().createPrimary();
            main->show();
            inet = harness.inets.value(0);
            browser = harness.browsers.value(0);
            main->addressbar()->setEditText(address);
            harness.windows().openHtml();
            html = harness.windows().htmlWindow();
        }
        Harness harness;
        MainF *main = nullptr;
        QPointer<FakeInet> inet;
        QPointer<FakeBrowser> browser;
        QPointer<HtmlF> html;
    };
};

void TestHtmlF::design() {
    Setup s(QStringLiteral("about:blank"));
    QVERIFY(s.html);
    HtmlF *w = s.html;
    QVERIFY(w->isWindow());
    QCOMPARE(w->windowTitle(), QStringLiteral("HTML"));
    QCOMPARE(w->size(), QSize(312, 213));
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
             QStringLiteral("Current URL:"));
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Label2"))->text(), QStringLiteral("Contents:"));
    QCOMPARE(w->findChild<QPushButton *>(QStringLiteral("Command2"))->text(),
             QStringLiteral("Run"));
    auto *edit = w->findChild<QPushButton *>(QStringLiteral("Command1"));
    QCOMPARE(edit->text(), QStringLiteral("Edit HTML"));
    QVERIFY(!edit->isEnabled());
    auto *contents = w->findChild<QPlainTextEdit *>(QStringLiteral("hcontents"));
    QCOMPARE(contents->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("wsite"))->geometry(), QRect(0, 16, 313, 25));

    // Tab goes address line, contents, (Edit HTML, disabled,) Run.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    w->wsite()->setFocus();
    QTest::keyClick(w->wsite(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(contents));
    QTest::keyClick(contents, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->runButton()));

    // Closing unloads the window.
    w->close();
    QTRY_VERIFY(!s.html);
}

void TestHtmlF::opensWithABlankOrEmptyAddress_data() {
    QTest::addColumn<QString>("address");
    QTest::newRow("blank page") << "about:blank";
    QTest::newRow("empty") << "";
}

void TestHtmlF::opensWithABlankOrEmptyAddress() {
    QFETCH(QString, address);
    Setup s(address);
    QCOMPARE(s.html->wsite()->text(), address);
    // The component cannot fetch it; whatever it reports, nothing arrives.
    if (s.inet->busy())
        s.inet->finish(false);
    QCOMPARE(s.html->hcontents()->toPlainText(), QString());
}

void TestHtmlF::loadFetchesTheMainWindowsAddressOverItsTest() {
    Setup s(QStringLiteral("http://site.example/"));
    QLabel *onoff = s.main->findChild<QLabel *>(QStringLiteral("onoff"));
    QVERIFY(onoff);
    QCOMPARE(s.inet->opened.last(), QStringLiteral("http://site.example/"));
    QVERIFY(s.inet->busy());
    QCOMPARE(s.html->hcontents()->toPlainText(), QString());  // not before the page is in

    // The label follows the fetch, but the fetch is not cut short.
    const int cancels = s.inet->cancels;
    s.inet->state(3);
    QCOMPARE(onoff->text(), QStringLiteral("Testing."));
    s.inet->state(8);
    s.inet->state(10);
    QCOMPARE(onoff->text(), QStringLiteral("Online"));
    QCOMPARE(s.inet->cancels, cancels);
    s.main->layoutWindow();  // a layout pass meanwhile starts no test
    QCOMPARE(s.inet->opened.last(), QStringLiteral("http://site.example/"));

    s.inet->finish(true, "<html>\n<body>site</body>\n</html>");
    QCOMPARE(s.html->hcontents()->toPlainText(),
             QStringLiteral("<html>\n<body>site</body>\n</html>"));
}

void TestHtmlF::enterReplacesTheContentsAndAFailureKeepsEdits() {
    Setup s(QStringLiteral("http://one.example/"));
    s.inet->finish(true, "one");
    QPlainTextEdit *contents = s.html->hcontents();

    struct Press {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    const Press presses[] = {{Qt::Key_Return, Qt::NoModifier},
                             {Qt::Key_Return, Qt::ShiftModifier},
                             {Qt::Key_Enter, Qt::KeypadModifier},
                             {Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier}};
    int n = 0;
    for (const Press &p : presses) {
        contents->setPlainText(QStringLiteral("edited"));
        const QString address = QStringLiteral("http://page%1.example/").arg(++n);
        s.html->wsite()->setText(address);
        QTest::keyClick(s.html->wsite(), p.key, p.modifiers);
        QCOMPARE(s.inet->opened.last(), address);
        QCOMPARE(s.html->wsite()->text(), address);  // Enter is not typed into the line
        s.inet->finish(true, "page " + QByteArray::number(n));
        QCOMPARE(contents->toPlainText(), QStringLiteral("page %1").arg(n));
    }

    contents->setPlainText(QStringLiteral("my edits"));
    s.html->wsite()->setText(QStringLiteral("http://down.example/"));
    QTest::keyClick(s.html->wsite(), Qt::Key_Return);
    s.inet->state(11);
    s.inet->finish(false);
    QCOMPARE(contents->toPlainText(), QStringLiteral("my edits"));

    // Other keys only edit the line.
    const int opened = s.inet->opened.size();
    QTest::keyClick(s.html->wsite(), Qt::Key_X);
    QCOMPARE(s.inet->opened.size(), opened);
}

void TestHtmlF::clickEmptiesTheAddressLine() {
    Setup s(QStringLiteral("http://site.example/"));
    s.inet->finish(true, "x");
    QLineEdit *wsite = s.html->wsite();
    QTest::mouseClick(wsite, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(wsite->text(), QString());
    QTest::keyClicks(wsite, QStringLiteral("abc"));
    QTest::mouseClick(wsite, Qt::LeftButton, Qt::NoModifier, QPoint(2, 5));
    QCOMPARE(wsite->text(), QString());
}

void TestHtmlF::closingDropsARunningFetch() {
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

void TestHtmlF::runWritesTheTextAndShowsIt() {
    Setup s(QStringLiteral("about:blank"));
    if (s.inet->busy())
        s.inet->finish(false);
    const QString path = s.harness.dir() + QStringLiteral("/temp.htm");
    QCOMPARE(s.html->scratchPath(), path);

    // An empty box still makes a file, and the main window goes there.
    QTest::mouseClick(s.html->runButton(), Qt::LeftButton);
    QCOMPARE(readFile(path), QByteArray("\r\n"));
    QCOMPARE(s.browser->callsNamed(QStringLiteral("Navigate")).last(),
             QStringLiteral("Navigate:") + path);
    QCOMPARE(s.main->addressbar()->currentText(), path);
    QCOMPARE(s.html->hcontents()->toPlainText(), QString());
    QVERIFY(s.html->isVisible());

    s.html->hcontents()->setPlainText(QStringLiteral("<p>caf\u00e9</p>\n<p>two</p>"));
    s.main->addressbar()->setEditText(QStringLiteral("http://elsewhere.example/"));
    s.main->searchnf();
    QTest::mouseClick(s.html->runButton(), Qt::LeftButton);
    QCOMPARE(readFile(path), QByteArray("<p>caf\xc3\xa9</p>\n<p>two</p>\r\n"));
    QCOMPARE(s.browser->callsNamed(QStringLiteral("Navigate")).last(),
             QStringLiteral("Navigate:") + path);
    QCOMPARE(s.main->lastaddress(), path);
}

void TestHtmlF::runAgainShowsTheChangedText() {
    Setup s(QStringLiteral("about:blank"));
    if (s.inet->busy())
        s.inet->finish(false);
    const QString path = s.html->scratchPath();

    s.html->hcontents()->setPlainText(QStringLiteral("first"));
    s.html->runButton()->click();
    const int navigations = s.browser->callsNamed(QStringLiteral("Navigate")).size();

    // The address is the one last taken: the shown file is reloaded.
    s.html->hcontents()->setPlainText(QStringLiteral("second"));
    s.html->runButton()->click();
    QCOMPARE(readFile(path), QByteArray("second\r\n"));
    QCOMPARE(s.browser->callsNamed(QStringLiteral("Refresh")).size(), 1);
    QCOMPARE(s.browser->callsNamed(QStringLiteral("Navigate")).size(), navigations);

    // Having followed a link away from it, the file is loaded again instead
    // of reloading the other page.
    s.browser->location = QStringLiteral("http://linked.example/");
    s.html->hcontents()->setPlainText(QStringLiteral("third"));
    s.html->runButton()->click();
    QCOMPARE(readFile(path), QByteArray("third\r\n"));
    QCOMPARE(s.browser->callsNamed(QStringLiteral("Refresh")).size(), 1);
    QCOMPARE(s.browser->callsNamed(QStringLiteral("Navigate")).last(),
             QStringLiteral("Navigate:") + path);
}

void TestHtmlF::runKeepsThePagesEncoding() {
    Setup s(QStringLiteral("http://latin.example/"));
    const QByteArray page =
        "<html><head><meta charset=\"iso-8859-1\"></head><body>caf\xe9</body></html>";
    s.inet->finish(true, page);
    QVERIFY(s.html->hcontents()->toPlainText().contains(QStringLiteral("caf\u00e9")));
    s.html->runButton()->click();
    QCOMPARE(readFile(s.html->scratchPath()), page + "\r\n");
}

void TestHtmlF::failedWriteIsReportedAndGoesNowhere_data() {
    QTest::addColumn<bool>("missingDir");
    QTest::newRow("directory in the file's place") << false;
    QTest::newRow("program directory gone") << true;
}

void TestHtmlF::failedWriteIsReportedAndGoesNowhere() {
    QFETCH(bool, missingDir);
    QTemporaryDir base;
    QString dir = base.path();
    if (missingDir)
        dir += QStringLiteral("/gone");
    else
        QVERIFY(QDir(dir).mkdir(QStringLiteral("temp.htm")));

    Setup s(QStringLiteral("about:blank"), dir);
    if (s.inet->busy())
        s.inet->finish(false);
    s.main->addressbar()->setEditText(QStringLiteral("http://before.example/"));
    const QStringList callsBefore = s.browser->calls;
    s.html->hcontents()->setPlainText(QStringLiteral("<p>new</p>"));
    s.html->runButton()->click();

    QCOMPARE(s.harness.messages.shown.size(), 1);
    const QString text = s.harness.messages.shown.at(0).text;
    QVERIFY2(text.contains(dir + QStringLiteral("/temp.htm")), qPrintable(text));
    QVERIFY2(!text.section(QLatin1Char('\n'), 1).trimmed().isEmpty(), qPrintable(text));  // why
    QCOMPARE(s.harness.messages.shown.at(0).icon, MessageBoxes::Icon::Exclamation);
    QCOMPARE(s.browser->calls, callsBefore);
    QCOMPARE(s.main->addressbar()->currentText(), QStringLiteral("http://before.example/"));
    QCOMPARE(s.html->hcontents()->toPlainText(), QStringLiteral("<p>new</p>"));
}

QTEST_MAIN(TestHtmlF)
#include "test_htmlf.moc"
