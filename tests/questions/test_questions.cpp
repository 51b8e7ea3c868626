// What the pages' questions show of hostile text, the rule that offers to
// stop a page's dialogs, and the desktop's own dialogs behind the seam.

#include <QDialog>
#include <QMessageBox>
#include <QtTest>

#include "questions/desktop_questions.h"
#include "questions/dialog_run.h"
#include "questions/question_texts.h"

using namespace Qt::StringLiterals;
using namespace quillow;

class QuestionsTest : public QObject {
    Q_OBJECT

private slots:
    // Nothing a page or server sends shows whole when it is long, nor with
    // its control characters, user names or paths.
    void hostileTextIsFitted_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("site: path and user dropped")
            << siteName(u"http://ann:pw@a.test:8080/p?q#f"_s) << u"http://a.test:8080"_s;
        QTest::newRow("message: lines kept, controls gone")
            << fitMessage(u"a\nb\tc\u2028d"_s) << u"a\nb c d"_s;
        QTest::newRow("a long run gets break opportunities")
            << breakable(QString(61, u'x') + u" y"_s)
            << QString(30, u'x') + u"\u200b"_s + QString(30, u'x') + u"\u200bx y"_s;
    }
    void hostileTextIsFitted() {
        QFETCH(QString, text);
        QTEST(text, "expected");
    }

    void dialogRun_data() {
        // Each event: "a<ms>" a dialog arrives, "c<ms>" it closes.
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("offers");  // one letter per arrival
        QTest::newRow("three in a row") << "a0 c10 a20 c9000 a9010 c9020 a9030"
                                        << "nnyy";
        QTest::newRow("gap breaks the run") << "a0 c0 a10 c10 a3011 c3011 a3020"
                                            << "nnnn";
        QTest::newRow("gap at the limit") << "a0 c0 a3000 c3000 a6000"
                                          << "nny";
    }
    void dialogRun() {
        QFETCH(QString, events);
        DialogRun run;
        QString seen;
        for (const QString &e : events.split(u' ')) {
            const qint64 ms = e.mid(1).toLongLong();
            if (e.startsWith(u'a'))
                seen += run.arrive(ms) ? u'y' : u'n';
            else
                run.closed(ms);
        }
        QTEST(seen, "offers");
    }

    // The real dialogs block no window and end as No when told to; a
    // message does not wait, and is not shown twice.
    void desktopDialogs() {
        QWidget window;
        window.show();
        DesktopQuestions questions;
        bool blocked = true;
        QTimer::singleShot(0, &window, [&] {
            blocked = QGuiApplication::modalWindow();
            questions.endAll(&window);
        });
        QVERIFY(!questions.askYesNo(&window, {u"t"_s, u"x"_s}, true, false).yes && !blocked);
        QVERIFY(window.findChildren<QDialog *>().isEmpty());
        // Enter presses the default No; a sign-in for a very long realm still
        // fits the screen.
        QTimer::singleShot(0, &window, [&] {
            QTest::keyClick(window.findChild<QMessageBox *>(), Qt::Key_Return);
        });
        QVERIFY(!questions.askYesNo(&window, {u"t"_s, u"x"_s}, false, false).yes);
        int width = 0;
        QTimer::singleShot(0, &window, [&] {
            width = window.findChild<QDialog *>(u"signin"_s)->frameGeometry().width();
            questions.endAll(&window);
        });
        questions.askSignIn(&window, u"t"_s,
                            signInText(u"http://a.test/"_s, QString(9000, u'r'), {}));
        QVERIFY(width > 0 && width <= window.screen()->availableSize().width());

        for (int i = 0; i < 2; ++i)
            questions.tell(&window, {QString(), u"Saved nothing"_s, Message::Icon::Warning});
        const QList<QMessageBox *> told = window.findChildren<QMessageBox *>();
        QCOMPARE(told.size(), 1);
        QVERIFY(told[0]->isVisible() && !QGuiApplication::modalWindow());
        QCOMPARE(told[0]->windowTitle(), QCoreApplication::applicationName());
        QPointer<QMessageBox> box(told[0]);
        questions.endAll(&window);
        QTRY_VERIFY(!box);
    }
};

QTEST_MAIN(QuestionsTest)
#include "test_questions.moc"
