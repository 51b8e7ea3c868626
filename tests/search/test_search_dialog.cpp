// The search dialog and the About window, acting on the primary main window:
// the dialog kept while open, fresh after closing, its keys, the words encoded
// (read back in fuzz/fuzz_request_builder.cpp); the About window's links.

#include <QAbstractButton>
#include <QLineEdit>

#include "harness.h"
#include "search/request_builder.h"

using namespace quillow;
using namespace quillow::test;

class TestSearchDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<Primary> p;
    QPointer<SearchDialog> dialog;

    void open() { dialog = p->open<SearchDialog>(); }
    QAbstractButton *button(const char *name) const {
        return dialog->findChild<QAbstractButton *>(QLatin1String(name));
    }
    void clickButton(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QLineEdit *words() const { return dialog->findChild<QLineEdit *>(u"wordorphrase"_s); }
    QStringList navigations() const { return p->page->navigations(); }
    static QWidget *focus() { return QApplication::focusWidget(); }
    bool primaryInFront() const { return QApplication::activeWindow() == p->primary.data(); }

private slots:
    void wordsEncoded_data() {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("query");    // Google and Yahoo
        QTest::addColumn<QString>("dogPile");  // its escapes escaped once more
        QTest::newRow("blanks") << u" a  b "_s << u"+a++b+"_s << u"%2Ba%2B%2Bb%2B"_s;
        QTest::newRow("a plus is no blank")
            << u"C# a+b"_s << u"C%23+a%2Bb"_s << u"C%2523%2Ba%252Bb"_s;
        QTest::newRow("controls and UTF-8")
            << u"\tcaf\u00e9"_s << u"%09caf%C3%A9"_s << u"%2509caf%25C3%25A9"_s;
    }
    void wordsEncoded() {
        QFETCH(QString, words);
        QTEST(encodeSearchWords(Google, words), "query");
        QTEST(encodeSearchWords(Yahoo, words), "query");
        QTEST(encodeSearchWords(DogPile, words), "dogPile");
        // Any kind but web pages is pictures; an unknown engine builds nothing.
        QCOMPARE(searchRequestAddress(Google, 2, words), searchRequestAddress(Google, 1, words));
        QCOMPARE(searchRequestAddress(3, WebPages, words), QString());
    }

    void init() {
        p = std::make_unique<Primary>();
        p->page->calls.clear();
        open();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
    }
    void cleanup() { p.reset(); }

    void keptWhileOpenAndFreshAfterClosing() {
        QTRY_COMPARE(focus(), button("Command1"));  // first in the tab order
        // The Search command brings the open dialog back as it was.
        clickButton("meathodoption(1)");
        QTest::keyClicks(words(), u"half typed"_s);
        p->primary->activateWindow();
        QTRY_VERIFY(primaryInFront());
        SearchDialog *before = dialog;
        click(p->primary, u"buttons(7)"_s);
        QCOMPARE(p->windows().find<SearchDialog>(), before);
        QTRY_COMPARE(focus(), words());
        QCOMPARE(dialog->kind(), 1);
        // Closed, it starts over, and empty words still search.
        QVERIFY(dialog->close());
        QTRY_VERIFY(dialog.isNull());
        open();
        QVERIFY(words()->text().isEmpty() && button("meathodoption(0)")->isChecked());
        QTest::keyClick(words(), Qt::Key_Return);
        QCOMPARE(navigations(),
                 QStringList{"navigate:" + searchRequestAddress(DogPile, WebPages, {})});
    }

    void findItAndEnterSearch_data() {
        QTest::addColumn<int>("key");  // 0: click "Find It!"
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Find It!") << 0 << 0;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
    void findItAndEnterSearch() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        // Every option click, also on the option already chosen, sets the
        // choice and hands the focus to the words; the groups are independent.
        for (const char *name :
             {"searchoption(2)", "searchoption(1)", "searchoption(1)", "meathodoption(1)"}) {
            button("Command1")->setFocus();
            clickButton(name);
            QCOMPARE(focus(), words());
        }
        QTest::keyClicks(focus(), u"red fox"_s);
        QVERIFY(navigations().isEmpty());
        if (key)
            QTest::keyClick(words(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        else
            clickButton("Command2");
        // Straight to the primary window's page, not through its address box.
        QCOMPARE(navigations(),
                 QStringList{"navigate:" + searchRequestAddress(Google, Pictures, u"red fox"_s)});
        QVERIFY(addressBox(p->primary)->currentText().isEmpty());
        QTRY_VERIFY(dialog.isNull());
        QTRY_VERIFY(primaryInFront());
    }

    // Escape is Cancel: nothing is searched.
    void escapeSearchesNothing() {
        QTest::keyClicks(words(), u"words"_s);
        QTest::keyClick(words(), Qt::Key_Escape);
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(navigations().isEmpty());
        QTRY_VERIFY(primaryInFront());
    }

    // The mail link goes to the mail program at once, every time, without
    // a question; the home page goes through the primary main window, again
    // on a second click, and into a new one when it was closed.
    void aboutLinksGoThereEveryTime() {
        dialog->close();
        QPointer<AboutWindow> about;
        const auto clickLink = [&](int index) {
            about = p->open<AboutWindow>();
            click(about, u"formitem(%1)"_s.arg(index));
            QTRY_VERIFY(about.isNull());
        };
        clickLink(8);
        clickLink(8);
        const QUrl mail(u"mailto:"_s + AboutWindow::kMailAddress);
        QCOMPARE(p->openedElsewhere, QList<QUrl>({mail, mail}));
        const QString home = u"navigate:"_s + AboutWindow::kHomePage;
        clickLink(0);
        clickLink(0);
        QCOMPARE(navigations(), QStringList{home});
        QCOMPARE(p->page->callsNamed(u"refresh"_s).size(), 1);
        QVERIFY(p->questions.asked.isEmpty());
        p->primary->close();
        QTRY_VERIFY(p->primary.isNull());
        clickLink(0);
        QCOMPARE(p->browsers.constLast()->navigations().last(), home);
    }
};

QTEST_MAIN(TestSearchDialog)
#include "test_search_dialog.moc"
