// The page's questions: their texts and the rule that offers to stop a
// page's dialogs, by table, and the desktop's dialogs themselves.

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "questions/desktop_questions.h"
#include "questions/dialog_run.h"
#include "questions/question_texts.h"

using namespace Qt::StringLiterals;
using namespace quillow;

class QuestionsTest : public QObject {
    Q_OBJECT

private slots:
    void texts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const QString longHost = QString(300, QLatin1Char('h'));
        QTest::newRow("site: path and user dropped")
            << siteName(u"http://ann:pw@a.test:8080/p?q#f"_s) << u"http://a.test:8080"_s;
        QTest::newRow("site: no address") << siteName(u"about:blank"_s) << u"about:blank"_s;
        QTest::newRow("message: lines kept, controls gone")
            << fitMessage(u"a\nb\tc\u2028d"_s) << u"a\nb c d"_s;
        QTest::newRow("message: too many lines")
            << fitMessage(u"x\n"_s.repeated(30)) << u"x\n"_s.repeated(24) + u"x\u2026"_s;
        QTest::newRow("message: too long") << fitMessage(QString(5000, QLatin1Char('m')))
                                           << QString(2000, QLatin1Char('m')) + u"\u2026"_s;
        QTest::newRow("sign-in, plain http")
            << signInText(u"http://a.test/x"_s, u"Staff\nonly"_s, QString())
            << u"http://a.test asks for a user name and password.\nThe site says: \"Staff only\""
               "\n\nThe connection is not encrypted: others on the way can read the name and "
               "password."_s;
        QTest::newRow("sign-in, https without realm")
            << signInText(u"https://a.test/x"_s, QString(), QString())
            << u"https://a.test asks for a user name and password."_s;
        QTest::newRow("sign-in, proxy")
            << signInText(u"https://a.test/x"_s, QString(), u"proxy.test"_s)
            << u"The proxy proxy.test asks for a user name and password to reach "
               "https://a.test.\n\nThe connection is not encrypted: others on the way can read "
               "the name and password."_s;
        QTest::newRow("certificate question")
            << certificateQuestionText(u"a.test"_s, CertificateProblem::DateInvalid)
            << u"The connection to a.test is not secure: its certificate has expired or is not "
               "valid yet.\n\nSomeone may be pretending to be this site. Continue to a.test "
               "anyway, until Quillow ends?"_s;
        QTest::newRow("certificate notice, long host")
            << certificateNoticeText(longHost, CertificateProblem::NameMismatch)
            << QString(200, QLatin1Char('h')) +
                   u"\u2026 was not opened because the connection to it is not secure: its "
                   "certificate was issued for a different site."_s;
    }
    void texts() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
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
        QFETCH(QString, offers);
        DialogRun run;
        QString seen;
        for (const QString &e : events.split(QLatin1Char(' '))) {
            const qint64 ms = e.mid(1).toLongLong();
            if (e.startsWith(QLatin1Char('a')))
                seen += run.arrive(ms) ? QLatin1Char('y') : QLatin1Char('n');
            else
                run.closed(ms);
        }
        QCOMPARE(seen, offers);
    }

    // The real dialogs block no window, return what was typed, and end
    // when told to, as No.
    void desktopDialogs() {
        QWidget window;
        window.show();
        DesktopQuestions questions;
        bool blocked = true;
        QTimer::singleShot(0, &window, [&] {
            blocked = QGuiApplication::modalWindow();
            auto *d = window.findChild<QDialog *>(u"signin"_s);
            d->findChild<QLineEdit *>(u"signinuser"_s)->setText(u"ann"_s);
            d->findChild<QLineEdit *>(u"signinpassword"_s)->setText(u"pw"_s);
            QTest::mouseClick(d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        });
        const std::optional<Credentials> c = questions.askSignIn(&window, u"t"_s, u"x"_s);
        QVERIFY(c && !blocked);
        QCOMPARE(c->user + c->password, u"annpw"_s);

        QTimer::singleShot(0, &window, [&] { questions.endAll(&window); });
        QVERIFY(!questions.askYesNo(&window, u"t"_s, u"x"_s));
        QVERIFY(window.findChildren<QDialog *>().isEmpty());
    }
};

QTEST_MAIN(QuestionsTest)
#include "test_questions.moc"
