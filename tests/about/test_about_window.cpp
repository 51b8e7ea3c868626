// The About window: its design, the version, the links through the primary
// main window, and clicks that close it.

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "about/about_window.h"
#include "harness.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

namespace {

// The primary main window on screen and the About window open.
struct Setup : Program {
    Setup() {
        page->calls.clear();
        open();
    }
    void open() {
        windows().openAbout();
        about = windows().aboutWindow();
    }
    QLabel *label(int index) const { return child<QLabel>(about, u"formitem(%1)"_s.arg(index)); }

    QPointer<AboutWindow> about;
};

}  // namespace

class TestAboutWindow : public QObject {
    Q_OBJECT

private slots:
    void designAndVersion() {
        QCOMPARE(AboutWindow::versionText(1, 3, 133), u"1.3.133"_s);
        Setup s;
        QCOMPARE(s.about->windowTitle(), u"About"_s);
        QCOMPARE(s.about->minimumSize(), QSize(357, 307));
        QCOMPARE(s.about->maximumSize(), s.about->minimumSize());
        for (const char *picture : {"formp(0)", "formp(1)"})
            QVERIFY(!child<QLabel>(s.about, QString::fromLatin1(picture))->pixmap().isNull());
        // Only the note takes the keyboard focus.
        for (QWidget *w : s.about->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QCOMPARE(w->focusPolicy() != Qt::NoFocus,
                     w->objectName() == QLatin1String("authorcomments"));
        // The built version; an open window is not filled again, a closed one is.
        const QString built = AboutWindow::versionText(QUILLOW_VERSION_MAJOR, QUILLOW_VERSION_MINOR,
                                                       QUILLOW_VERSION_PATCH);
        QCOMPARE(s.label(7)->text(), built);
        s.label(7)->setText(u"marker"_s);
        s.open();
        QCOMPARE(s.label(7)->text(), u"marker"_s);
        s.about->close();
        QTRY_VERIFY(s.about.isNull());
        s.open();
        QCOMPARE(s.label(7)->text(), built);
    }

    // The mail link goes to the mail program at once, without a question.
    void mailLinkOpensElsewhere() {
        Setup s;
        QTest::mouseClick(s.label(8), Qt::LeftButton);
        QTRY_VERIFY(s.about.isNull());
        s.open();
        QTest::mouseClick(s.label(8), Qt::LeftButton);
        const QUrl mail(u"mailto:"_s + AboutWindow::kMailAddress);
        QCOMPARE(s.openedElsewhere, QList<QUrl>({mail, mail}));
        QVERIFY(s.messages.shown.isEmpty());
    }

    void homePageLinkGoesThroughThePrimaryWindow() {
        const int index = 0;
        const QString address = AboutWindow::kHomePage;
        Setup s;
        QTest::mouseClick(s.label(index), Qt::LeftButton);
        QCOMPARE(addressBox(s.primary)->currentText(), address);
        QCOMPARE(s.page->navigations(), QStringList{"navigate:" + address});
        QTRY_VERIFY(s.about.isNull());
        // The same link again goes there again (the page on show is reloaded).
        s.open();
        QTest::mouseClick(s.label(index), Qt::LeftButton);
        QTRY_VERIFY(s.about.isNull());
        QCOMPARE(s.page->calls.mid(2, 1), QStringList{u"refresh"_s});
        QVERIFY(s.messages.shown.isEmpty());

        // With the primary window closed, a new one shows the page.
        MainWindow *popup = s.windows().createPopup();
        s.primary->close();
        QTRY_VERIFY(s.primary.isNull());
        s.open();
        QTest::mouseClick(s.label(index), Qt::LeftButton);
        MainWindow *fresh = s.windows().primary();
        QVERIFY(fresh && fresh != popup && fresh->isVisible());
        QCOMPARE(s.browsers.constLast()->navigations().last(), "navigate:" + address);
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
            click(s.about, target);
        QTRY_VERIFY(s.about.isNull());
        QVERIFY(s.page->navigations().isEmpty());
    }

    void theNoteKeepsTheWindowOpenAndUnchanged() {
        Setup s;
        QVERIFY(QTest::qWaitForWindowActive(s.about));
        auto *note = child<QPlainTextEdit>(s.about, u"authorcomments"_s);
        const QString before = note->toPlainText();
        QCOMPARE(note->blockCount(), 12);
        QVERIFY(!before.contains(QLatin1Char('\r')));
        QTest::mouseClick(note->viewport(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), note);
        QTest::keyClicks(note, u"typed"_s);
        QTest::keyClick(note, Qt::Key_Return);
        QVERIFY(s.about && s.about->isVisible());
        QCOMPARE(note->toPlainText(), before);
        // Longer than its box, the note scrolls.
        QTest::keyClick(note, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(note->verticalScrollBar()->value() > 0);
    }
};

QTEST_MAIN(TestAboutWindow)
#include "test_about_window.moc"
