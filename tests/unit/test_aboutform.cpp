#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

#include "about/aboutform.h"
#include "harness.h"
#include "main_window/mainf.h"

using namespace quillow;
using namespace quillow::test;

namespace {

// The primary main window on screen and the About window open.
struct Setup {
    Setup() : primary(harness.startWithPrimary()), browser(harness.browsers.value(0)) {
        browser->calls.clear();
        open();
    }
    AboutForm *open() {
        harness.windows().openAbout();
        return about = harness.windows().aboutWindow();
    }
    void click(int index) { QTest::mouseClick(about->formitem(index), Qt::LeftButton); }
    QStringList navigations() const { return browser->callsNamed(QStringLiteral("Navigate")); }

    Harness harness;
    QPointer<MainF> primary;
    QPointer<FakeBrowser> browser;
    QPointer<AboutForm> about;
};

}  // namespace

class TestAboutForm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void design() {
        Setup s;
        AboutForm *a = s.about;
        QCOMPARE(a->windowTitle(), QStringLiteral("About"));
        QVERIFY(!a->windowIcon().isNull());
        // A fixed size, nothing to maximise.
        QCOMPARE(a->minimumSize(), QSize(357, 307));
        QCOMPARE(a->maximumSize(), a->minimumSize());
        QCOMPARE(a->formitem(0)->text(), QStringLiteral("Web site home page!"));
        QVERIFY(!a->formp(0)->pixmap().isNull() && !a->formp(1)->pixmap().isNull());
        // Only the note takes the keyboard focus.
        for (QWidget *w : a->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QCOMPARE(w->focusPolicy() != Qt::NoFocus, w == a->authorcomments());
    }

    void versionFilledAtEachOpening() {
        QCOMPARE(AboutForm::versionText(1, 3, 133), QStringLiteral("1.3.133"));
        QCOMPARE(AboutForm::versionText(1, 3, 5), QStringLiteral("1.3.5"));
        // The version the program was built with; an open window is not
        // loaded again, a closed one is.
        Setup s;
        const QString built = AboutForm::versionText(QUILLOW_VERSION_MAJOR, QUILLOW_VERSION_MINOR,
                                                     QUILLOW_VERSION_PATCH);
        QCOMPARE(s.about->formitem(7)->text(), built);
        s.about->formitem(7)->setText(QStringLiteral("marker"));
        QCOMPARE(s.open()->formitem(7)->text(), QStringLiteral("marker"));
        s.about->close();
        QTRY_VERIFY(s.about.isNull());
        QCOMPARE(s.open()->formitem(7)->text(), built);
    }

    void linksGoThroughThePrimaryWindow_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("address");
        QTest::newRow("home page") << 0 << AboutForm::kHomePage;
        QTest::newRow("e-mail") << 8 << "mailto:" + AboutForm::kMailAddress;
    }
    void linksGoThroughThePrimaryWindow() {
        QFETCH(int, index);
        QFETCH(QString, address);
        Setup s;
        QVERIFY(QUrl(address, QUrl::StrictMode).isValid());
        s.click(index);
        QCOMPARE(s.primary->addressbar()->currentText(), address);
        QCOMPARE(s.navigations(), QStringList{"Navigate:" + address});
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
        QVERIFY(s.primary->addressbar()->currentText().isEmpty());
    }

    void theNoteKeepsTheWindowOpenAndUnchanged() {
        Setup s;
        QVERIFY(QTest::qWaitForWindowActive(s.about));
        QPlainTextEdit *note = s.about->authorcomments();
        // Twelve lines without stray line-end characters, the address last.
        const QString before = note->toPlainText();
        QCOMPARE(note->blockCount(), 12);
        QVERIFY(!before.contains(QLatin1Char('\r')));
        QCOMPARE(note->document()->lastBlock().text(), AboutForm::kMailAddress);

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
        MainF *popup = s.harness.windows().createPopup();
        popup->show();
        s.primary->close();
        QTRY_VERIFY(s.primary.isNull());
        s.click(0);
        MainF *fresh = s.harness.windows().primary();
        QVERIFY(fresh && fresh != popup && fresh->isVisible());
        QVERIFY(s.harness.browsers.constLast()->calls.contains("Navigate:" + AboutForm::kHomePage));
        QTRY_VERIFY(s.about.isNull());
    }
};

QTEST_MAIN(TestAboutForm)
#include "test_aboutform.moc"
