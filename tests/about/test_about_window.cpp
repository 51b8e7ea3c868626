// The About window: the version, the links through the primary main
// window, clicks that close it, and the note that does not.

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "harness.h"

using namespace quillow;
using namespace quillow::test;

class TestAboutWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<Primary> p;
    QPointer<AboutWindow> about;

    void open() { about = p->open<AboutWindow>(); }
    QLabel *label(int index) const { return child<QLabel>(about, u"formitem(%1)"_s.arg(index)); }

private slots:
    void init() {
        p = std::make_unique<Primary>();
        p->page->calls.clear();
        open();
    }
    void cleanup() { p.reset(); }

    // An open window is brought back as it is, a closed one filled anew.
    void showsTheBuiltVersion() {
        QCOMPARE(AboutWindow::versionText(1, 3, 133), u"1.3.133"_s);
        const QString built = AboutWindow::versionText(QUILLOW_VERSION_MAJOR, QUILLOW_VERSION_MINOR,
                                                       QUILLOW_VERSION_PATCH);
        QCOMPARE(label(7)->text(), built);
        label(7)->setText(u"marker"_s);
        open();
        QCOMPARE(label(7)->text(), u"marker"_s);
        about->close();
        QTRY_VERIFY(about.isNull());
        open();
        QCOMPARE(label(7)->text(), built);
    }

    // The mail link goes to the mail program at once, every time, without
    // a question; the home page goes through the primary main window, again
    // on a second click, and into a new one when it was closed.
    void linksGoThereEveryTime() {
        for (int i = 0; i < 2; ++i) {
            click(about, u"formitem(8)"_s);
            QTRY_VERIFY(about.isNull());
            open();
        }
        const QUrl mail(u"mailto:"_s + AboutWindow::kMailAddress);
        QCOMPARE(p->openedElsewhere, QList<QUrl>({mail, mail}));

        const QString home = AboutWindow::kHomePage;
        click(about, u"formitem(0)"_s);
        QCOMPARE(addressBox(p->primary)->currentText(), home);
        QCOMPARE(p->page->navigations(), QStringList{u"navigate:"_s + home});
        QTRY_VERIFY(about.isNull());
        open();
        click(about, u"formitem(0)"_s);
        QCOMPARE(p->page->navigations().size(), 1);
        QCOMPARE(p->page->callsNamed(u"refresh"_s).size(), 1);
        QVERIFY(p->questions.asked.isEmpty());

        MainWindow *popup = p->program().createPopup();
        p->primary->close();
        QTRY_VERIFY(p->primary.isNull());
        open();
        click(about, u"formitem(0)"_s);
        MainWindow *fresh = p->windows().primary();
        QVERIFY(fresh && fresh != popup && fresh->isVisible());
        QCOMPARE(p->browsers.constLast()->navigations().last(), u"navigate:"_s + home);
    }

    void clicksElsewhereClose_data() {
        QTest::addColumn<QString>("target");  // empty: the window's own background
        for (const char *name :
             {"formitem(1)", "formitem(6)", "formitem(7)", "formp(0)", "formp(1)"})
            QTest::newRow(name) << QString::fromLatin1(name);
        QTest::newRow("background") << QString();
    }
    void clicksElsewhereClose() {
        QFETCH(QString, target);
        const QPoint bare(345, 20);
        QVERIFY(!about->childAt(bare));
        if (target.isEmpty())
            QTest::mouseClick(about, Qt::LeftButton, Qt::NoModifier, bare);
        else
            click(about, target);
        QTRY_VERIFY(about.isNull());
        QVERIFY(p->page->calls.isEmpty());
    }

    void theNoteKeepsTheWindowOpenAndUnchanged() {
        QVERIFY(QTest::qWaitForWindowActive(about));
        auto *note = child<QPlainTextEdit>(about, u"authorcomments"_s);
        const QString before = note->toPlainText();
        QCOMPARE(note->blockCount(), 12);
        QTest::mouseClick(note->viewport(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), note);
        QTest::keyClicks(note, u"typed"_s);
        QTest::keyClick(note, Qt::Key_Return);
        QVERIFY(about && about->isVisible());
        QCOMPARE(note->toPlainText(), before);
        QTest::keyClick(note, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(note->verticalScrollBar()->value() > 0);
    }
};

QTEST_MAIN(TestAboutWindow)
#include "test_about_window.moc"
