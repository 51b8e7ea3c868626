// The About window: its design, the version, the links through the primary
// main window, and clicks that close it.

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include "about/about_window.h"
#include "harness.h"

using namespace quillow;
using namespace quillow::test;

namespace {

// The primary main window on screen and the About window open.
struct Setup {
    Setup() : primary(harness.startWithPrimary()), browser(harness.browsers.value(0)) {
        browser->calls.clear();
        open();
    }
    AboutWindow *open() {
        harness.windows().openAbout();
        return about = harness.windows().aboutWindow();
    }
    QLabel *label(int index) const {
        return child<QLabel>(about, QStringLiteral("formitem(%1)").arg(index));
    }
    void click(int index) { QTest::mouseClick(label(index), Qt::LeftButton); }
    QStringList navigations() const { return browser->callsNamed(QStringLiteral("navigate")); }

    Harness harness;
    QPointer<MainWindow> primary;
    QPointer<FakeBrowser> browser;
    QPointer<AboutWindow> about;
};

}  // namespace

class TestAboutWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void design() {
        Setup s;
        AboutWindow *a = s.about;
        QCOMPARE(a->windowTitle(), QStringLiteral("About"));
        QVERIFY(!a->windowIcon().isNull());
        // A fixed size, nothing to maximise.
        QCOMPARE(a->minimumSize(), QSize(357, 307));
        QCOMPARE(a->maximumSize(), a->minimumSize());
        QCOMPARE(s.label(0)->text(), QStringLiteral("Web site home page!"));
        for (const char *picture : {"formp(0)", "formp(1)"})
            QVERIFY(!child<QLabel>(a, QString::fromLatin1(picture))->pixmap().isNull());
        // Only the note takes the keyboard focus.
        for (QWidget *w : a->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QCOMPARE(w->focusPolicy() != Qt::NoFocus,
                     w->objectName() == QLatin1String("authorcomments"));
    }

    void versionFilledAtEachOpening() {
        QCOMPARE(AboutWindow::versionText(1, 3, 133), QStringLiteral("1.3.133"));
        // The version the program was built with; an open window is not
        // loaded again, a closed one is.
        Setup s;
        const QString built = AboutWindow::versionText(QUILLOW_VERSION_MAJOR, QUILLOW_VERSION_MINOR,
                                                       QUILLOW_VERSION_PATCH);
        QCOMPARE(s.label(7)->text(), built);
        s.label(7)->setText(QStringLiteral("marker"));
        s.open();
        QCOMPARE(s.label(7)->text(), QStringLiteral("marker"));
        s.about->close();
        QTRY_VERIFY(s.about.isNull());
        s.open();
        QCOMPARE(s.label(7)->text(), built);
    }

    void linksGoThroughThePrimaryWindow_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("address");
        QTest::newRow("home page") << 0 << AboutWindow::kHomePage;
        QTest::newRow("e-mail") << 8 << "mailto:" + AboutWindow::kMailAddress;
    }
    void linksGoThroughThePrimaryWindow() {
        QFETCH(int, index);
        QFETCH(QString, address);
        Setup s;
        QVERIFY(QUrl(address, QUrl::StrictMode).isValid());
        s.click(index);
        QCOMPARE(addressBox(s.primary)->currentText(), address);
        QCOMPARE(s.navigations(), QStringList{"navigate:" + address});
        QTRY_VERIFY(s.about.isNull());

        // The same link again: searchnf passes over it, the window still closes.
        QVERIFY(s.open());
        s.click(index);
        QTRY_VERIFY(s.about.isNull());
        QCOMPARE(s.navigations().size(), 1);
        QVERIFY(s.harness.messages.shown.isEmpty());
    }

    void clicksElsewhereClose_data() {
        QTest::addColumn<QString>("target");  // empty: the window's own background
        for (const char *name :
             {"formitem(1)", "formitem(2)", "formitem(3)", "formitem(4)", "formitem(5)",
              "formitem(6)", "formitem(7)", "formp(0)", "formp(1)"})
            QTest::newRow(name) << QString::fromLatin1(name);
        QTest::newRow("background") << QString();
    }
    void clicksElsewhereClose() {
        QFETCH(QString, target);
        Setup s;
        const QPoint bare(345, 20);
        QVERIFY(!s.about->childAt(bare));
        if (target.isEmpty())
            QTest::mouseClick(s.about, Qt::LeftButton, Qt::NoModifier, bare);
        else
            QTest::mouseClick(s.about->findChild<QWidget *>(target), Qt::LeftButton);
        QTRY_VERIFY(s.about.isNull());
        QVERIFY(s.navigations().isEmpty());
        QVERIFY(addressBox(s.primary)->currentText().isEmpty());
    }

    void theNoteKeepsTheWindowOpenAndUnchanged() {
        Setup s;
        QVERIFY(QTest::qWaitForWindowActive(s.about));
        auto *note = child<QPlainTextEdit>(s.about, QStringLiteral("authorcomments"));
        // Twelve lines without stray line-end characters, the address last.
        const QString before = note->toPlainText();
        QCOMPARE(note->blockCount(), 12);
        QVERIFY(!before.contains(QLatin1Char('\r')));
        QCOMPARE(note->document()->lastBlock().text(), AboutWindow::kMailAddress);

        QTest::mouseClick(note->viewport(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), note);
        QTest::keyClicks(note, QStringLiteral("typed"));
        QTest::keyClick(note, Qt::Key_Return);
        QVERIFY(s.about && s.about->isVisible());
        QCOMPARE(note->toPlainText(), before);
        // Longer than its box, the note scrolls.
        QTest::keyClick(note, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(note->verticalScrollBar()->value() > 0);
    }

    void linkAfterThePrimaryWindowClosedShowsANewOne() {
        Setup s;
        MainWindow *popup = s.harness.windows().createPopup();
        popup->show();
        s.primary->close();
        QTRY_VERIFY(s.primary.isNull());
        s.click(0);
        MainWindow *fresh = s.harness.windows().primary();
        QVERIFY(fresh && fresh != popup && fresh->isVisible());
        QVERIFY(
            s.harness.browsers.constLast()->calls.contains("navigate:" + AboutWindow::kHomePage));
        QTRY_VERIFY(s.about.isNull());
    }
};

QTEST_MAIN(TestAboutWindow)
#include "test_about_window.moc"
