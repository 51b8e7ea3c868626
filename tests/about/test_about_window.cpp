// The About window: the version, the links through the primary main
// window, and clicks that close it.

#include <QLabel>

#include "harness.h"

using namespace quillow;
using namespace quillow::test;

class TestAboutWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<Primary> p;
    QPointer<AboutWindow> about;

    void open() { about = p->open<AboutWindow>(); }
    void clickAndWait(const QString &name) {
        click(about, name);
        QTRY_VERIFY(about.isNull());
        open();
    }

private slots:
    void init() {
        p = std::make_unique<Primary>();
        p->page->calls.clear();
        open();
    }
    void cleanup() { p.reset(); }

    // The mail link goes to the mail program at once, every time, without
    // a question; the home page goes through the primary main window, again
    // on a second click, and into a new one when it was closed.
    void linksGoThereEveryTime() {
        clickAndWait(u"formitem(8)"_s);
        clickAndWait(u"formitem(8)"_s);
        const QUrl mail(u"mailto:"_s + AboutWindow::kMailAddress);
        QCOMPARE(p->openedElsewhere, QList<QUrl>({mail, mail}));
        const QString home = AboutWindow::kHomePage;
        clickAndWait(u"formitem(0)"_s);
        QCOMPARE(addressBox(p->primary)->currentText(), home);
        clickAndWait(u"formitem(0)"_s);
        QCOMPARE(p->page->navigations(), QStringList{u"navigate:"_s + home});
        QCOMPARE(p->page->callsNamed(u"refresh"_s).size(), 1);
        QVERIFY(p->questions.asked.isEmpty());

        MainWindow *popup = p->program().createPopup();
        p->primary->close();
        QTRY_VERIFY(p->primary.isNull());
        clickAndWait(u"formitem(0)"_s);
        MainWindow *fresh = p->windows().primary();
        QVERIFY(fresh && fresh != popup && fresh->isVisible());
        QCOMPARE(p->browsers.constLast()->navigations().last(), u"navigate:"_s + home);
    }

    // Anywhere else a click closes the window, which shows the built
    // version anew at its next opening.
    void clicksElsewhereClose_data() {
        QTest::addColumn<QString>("target");  // empty: the window's own background
        QTest::newRow("the version") << u"formitem(7)"_s;
        QTest::newRow("the photograph") << u"formp(1)"_s;
        QTest::newRow("background") << QString();
    }
    void clicksElsewhereClose() {
        QFETCH(QString, target);
        auto *version = child<QLabel>(about, u"formitem(7)"_s);
        QCOMPARE(version->text(),
                 AboutWindow::versionText(QUILLOW_VERSION_MAJOR, QUILLOW_VERSION_MINOR,
                                          QUILLOW_VERSION_PATCH));
        version->setText(u"marker"_s);
        const QPoint bare(345, 20);
        QVERIFY(!about->childAt(bare));
        if (target.isEmpty())
            QTest::mouseClick(about, Qt::LeftButton, Qt::NoModifier, bare);
        else
            click(about, target);
        QTRY_VERIFY(about.isNull());
        QVERIFY(p->page->calls.isEmpty());
        open();
        QVERIFY(child<QLabel>(about, u"formitem(7)"_s)->text() != u"marker"_s);
    }
};

QTEST_MAIN(TestAboutWindow)
#include "test_about_window.moc"
