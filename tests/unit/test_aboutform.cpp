#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QtTest>

#include "about/aboutform.h"
#include "harness.h"
#include "main_window/mainf.h"

using namespace quillow;
using namespace quillow::test;

namespace {

// A program with its primary main window on screen and the About window open.
struct Setup {
    Setup() {
        harness.start();
        primary = harness.windows().createPrimary();
        primary->show();
        browser = harness.browsers.value(0);
        browser->calls.clear();
        open();
    }
    AboutForm *open() {
        harness.windows().openAbout();
        return about = harness.windows().aboutWindow();
    }
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
    void design();
    void authorsNote();
    void versionText();
    void linksGoThroughThePrimaryWindow_data();
    void linksGoThroughThePrimaryWindow();
    void secondClickOnTheSameLinkOnlyCloses();
    void clicksElsewhereClose_data();
    void clicksElsewhereClose();
    void theNoteKeepsTheWindowOpenAndUnchanged();
    void linkAfterThePrimaryWindowClosedShowsANewOne();
};

void TestAboutForm::design() {
    Setup s;
    AboutForm *a = s.about;
    QCOMPARE(a->windowTitle(), QStringLiteral("About"));
    QVERIFY(a->isWindow() && !a->parentWidget() && !a->windowIcon().isNull());
    QCOMPARE(a->size(), QSize(357, 307));
    QCOMPARE(a->minimumSize(), a->maximumSize());
    QVERIFY(!(a->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(a->palette().color(QPalette::Window), QColor(Qt::black));

    const QColor orange(255, 128, 0), green(0, 255, 0), blue(0, 0, 255);
    const struct {
        const char *name;
        QRect place;
        QColor colour;
    } controls[] = {
        {"formitem(6)", QRect(16, 8, 217, 57), QColor(255, 0, 0)},
        {"formp(0)", QRect(240, 8, 65, 65), QColor()},
        {"formitem(5)", QRect(32, 72, 41, 17), orange},
        {"formitem(7)", QRect(80, 72, 113, 17), orange},
        {"formitem(4)", QRect(0, 104, 169, 25), green},
        {"formitem(3)", QRect(0, 120, 161, 25), green},
        {"formp(1)", QRect(168, 88, 184, 208), QColor()},
        {"authorcomments", QRect(8, 136, 153, 97), QColor()},
        {"formitem(0)", QRect(8, 240, 113, 17), blue},
        {"formitem(8)", QRect(8, 256, 113, 17), blue},
    };
    for (const auto &c : controls) {
        QWidget *w = a->findChild<QWidget *>(QString::fromLatin1(c.name));
        QVERIFY2(w, c.name);
        QCOMPARE(w->geometry(), c.place);
        if (c.colour.isValid())
            QCOMPARE(w->palette().color(QPalette::WindowText), c.colour);
    }
    QCOMPARE(a->formitem(6)->text(), QStringLiteral("Quillow"));
    QCOMPARE(a->formitem(6)->font().families().value(0), QStringLiteral("Curlz MT"));
    QCOMPARE(a->formitem(6)->font().pointSize(), 36);
    QCOMPARE(a->formitem(5)->text(), QStringLiteral("Version:"));
    QVERIFY(a->formitem(4)->text().startsWith(QStringLiteral("Programmer:     ")));
    QVERIFY(a->formitem(3)->text().startsWith(QStringLiteral("CoProgrammer: ")));
    QCOMPARE(a->formitem(0)->text(), QStringLiteral("Web site home page!"));
    QCOMPARE(a->formitem(8)->text(), AboutForm::kMailAddress);
    QVERIFY(a->formitem(1)->text().contains(QStringLiteral("Copyright")));
    for (int i : {0, 8})
        QCOMPARE(a->formitem(i)->cursor().shape(), Qt::CrossCursor);
    for (int i : {0, 1})
        QVERIFY(a->formp(i)->hasScaledContents() && !a->formp(i)->pixmap().isNull());
    QCOMPARE(a->formp(1)->pixmap().size(), QSize(640, 480));
    QVERIFY(a->authorcomments()->isReadOnly());
    QCOMPARE(a->authorcomments()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // Only the note takes the keyboard focus.
    for (QWidget *w : a->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QCOMPARE(w->focusPolicy() != Qt::NoFocus, w == a->authorcomments());
}

void TestAboutForm::authorsNote() {
    const QString &note = AboutForm::kAuthorNote;
    QCOMPARE(note.size(), 357);
    QVERIFY(note.endsWith(QStringLiteral("\r\n")));
    const QStringList lines = note.chopped(2).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 12);
    int shortLines = 0;
    for (const QString &line : lines) {
        QVERIFY(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')));
        shortLines += line.size() < 30;
    }
    QVERIFY(shortLines > 6);
    QCOMPARE(lines.constLast(), AboutForm::kMailAddress);
    Setup s;
    QCOMPARE(s.about->authorcomments()->toPlainText(), lines.join(QLatin1Char('\n')));
}

void TestAboutForm::versionText() {
    QCOMPARE(AboutForm::versionText(1, 3, 133), QStringLiteral("1.3.133"));
    QCOMPARE(AboutForm::versionText(1, 3, 5), QStringLiteral("1.3.5"));
    QCOMPARE(AboutForm::versionText(10, 0, 0), QStringLiteral("10.0.0"));

    // The version the program was built with, filled at each opening.
    Setup s;
    const QStringList parts = s.about->formitem(7)->text().split(QLatin1Char('.'));
    QCOMPARE(parts, (QStringList{QString::number(QUILLOW_VERSION_MAJOR),
                                 QString::number(QUILLOW_VERSION_MINOR),
                                 QString::number(QUILLOW_VERSION_PATCH)}));
    s.about->formitem(7)->setText(QStringLiteral("marker"));
    QCOMPARE(s.open()->formitem(7)->text(), QStringLiteral("marker"));  // not loaded again
    s.about->close();
    QTRY_VERIFY(s.about.isNull());
    QCOMPARE(s.open()->formitem(7)->text(), parts.join(QLatin1Char('.')));
}

void TestAboutForm::linksGoThroughThePrimaryWindow_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("address");
    QTest::newRow("home page") << 0 << AboutForm::kHomePage;
    QTest::newRow("e-mail") << 8 << "mailto:" + AboutForm::kMailAddress;
}

void TestAboutForm::linksGoThroughThePrimaryWindow() {
    QFETCH(int, index);
    QFETCH(QString, address);
    Setup s;
    QVERIFY(QUrl(address, QUrl::StrictMode).isValid());
    QTest::mouseClick(s.about->formitem(index), Qt::LeftButton);
    QCOMPARE(s.primary->addressbar()->currentText(), address);
    QCOMPARE(s.primary->lastaddress(), address);
    QCOMPARE(s.navigations(), QStringList{"Navigate:" + address});
    QVERIFY(!s.about->isVisible());
    QTRY_VERIFY(s.about.isNull());
}

void TestAboutForm::secondClickOnTheSameLinkOnlyCloses() {
    Setup s;
    QTest::mouseClick(s.about->formitem(0), Qt::LeftButton);
    QTRY_VERIFY(s.about.isNull());
    QVERIFY(s.open());
    QTest::mouseClick(s.about->formitem(0), Qt::LeftButton);
    QTRY_VERIFY(s.about.isNull());
    QCOMPARE(s.navigations().size(), 1);
    QVERIFY(s.harness.messages.shown.isEmpty());
}

void TestAboutForm::clicksElsewhereClose_data() {
    QTest::addColumn<QString>("target");  // empty: the window's own background
    for (const char *name : {"formitem(1)", "formitem(2)", "formitem(3)", "formitem(4)",
                             "formitem(5)", "formitem(6)", "formitem(7)", "formp(0)", "formp(1)"})
        QTest::newRow(name) << QString::fromLatin1(name);
    QTest::newRow("background") << QString();
}

void TestAboutForm::clicksElsewhereClose() {
    QFETCH(QString, target);
    Setup s;
    if (target.isEmpty()) {
        const QPoint bare(345, 20);
        QVERIFY(!s.about->childAt(bare));
        QTest::mouseClick(s.about, Qt::LeftButton, Qt::NoModifier, bare);
    } else {
        QTest::mouseClick(s.about->findChild<QWidget *>(target), Qt::LeftButton);
    }
    QVERIFY(!s.about->isVisible());
    QTRY_VERIFY(s.about.isNull());
    QVERIFY(s.navigations().isEmpty());
    QVERIFY(s.primary->addressbar()->currentText().isEmpty());
}

void TestAboutForm::theNoteKeepsTheWindowOpenAndUnchanged() {
    Setup s;
    QVERIFY(QTest::qWaitForWindowActive(s.about));
    QPlainTextEdit *note = s.about->authorcomments();
    const QString before = note->toPlainText();
    QTest::mouseClick(note->viewport(), Qt::LeftButton);
    QTest::mouseDClick(note->viewport(), Qt::LeftButton);
    QTRY_COMPARE(QApplication::focusWidget(), note);
    QTest::keyClicks(note, QStringLiteral("typed"));
    QTest::keyClick(note, Qt::Key_Delete);
    QTest::keyClick(note, Qt::Key_Return);
    QVERIFY(s.about && s.about->isVisible());
    QCOMPARE(note->toPlainText(), before);
    // Longer than its box, the note scrolls.
    QVERIFY(note->verticalScrollBar()->maximum() > 0);
    QTest::keyClick(note, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(note->verticalScrollBar()->value() > 0);
}

void TestAboutForm::linkAfterThePrimaryWindowClosedShowsANewOne() {
    Setup s;
    MainF *popup = s.harness.windows().createPopup();
    popup->show();
    s.primary->close();
    QTRY_VERIFY(s.primary.isNull());
    QTest::mouseClick(s.about->formitem(0), Qt::LeftButton);
    MainF *fresh = s.harness.windows().primary();
    QVERIFY(fresh && fresh != popup && fresh->isVisible());
    QCOMPARE(fresh->addressbar()->currentText(), AboutForm::kHomePage);
    QVERIFY(s.harness.browsers.constLast()->calls.contains("Navigate:" + AboutForm::kHomePage));
    QTRY_VERIFY(s.about.isNull());
}

QTEST_MAIN(TestAboutForm)
#include "test_aboutform.moc"
