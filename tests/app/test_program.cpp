// The program as a whole: where its files live, and that a screen reader
// can name every control of every window.

#include <QAccessible>
#include <QLabel>
#include <QPushButton>

#include "about/about_window.h"
#include "app/program.h"
#include "harness.h"
#include "html_window/html_window.h"
#include "search/search_dialog.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

class ProgramTest : public QObject {
    Q_OBJECT

    static QStringList unnamed(QWidget *window) {
        QStringList out;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (!w->isVisibleTo(window) || w->objectName().isEmpty() ||
                w->objectName().startsWith(QLatin1String("qt_")))
                continue;
            auto *label = qobject_cast<QLabel *>(w);
            const bool picture = label && label->text().isEmpty() && !label->pixmap().isNull();
            if (!(w->focusPolicy() & Qt::TabFocus) && !picture)
                continue;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                out.append(w->objectName());
        }
        return out;
    }

    // Controls whose caption does not fit in the part of them on show.
    static QStringList clipped(QWidget *window) {
        QStringList out;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            auto *button = qobject_cast<QPushButton *>(w);
            auto *label = qobject_cast<QLabel *>(w);
            const QString text = button ? button->text() : label ? label->text() : QString();
            if (!w->isVisibleTo(window) || text.isEmpty())
                continue;
            // A button's caption may wrap inside its frame; a label's stays
            // on one line. Only the part of the control its frame shows counts.
            QRect room = button ? w->rect().adjusted(2, 2, -2, -2) : w->contentsRect();
            room &= w->parentWidget()->rect().translated(-w->pos());
            const int flags = Qt::AlignCenter | (button ? Qt::TextWordWrap : 0);
            if (!room.contains(w->fontMetrics().boundingRect(room, flags, text)))
                out.append(w->objectName() + QLatin1Char('=') + text);
        }
        return out;
    }

private slots:
    void dataDirIsBesideTheProgramOnlyWhenWritable() {
        QTemporaryDir temp;
        const QString program = temp.filePath(u"bin"_s);
        const QString user = temp.filePath(u"share/Quillow"_s);
        QCOMPARE(chooseDataDir(program, user, [](const QString &) { return true; }), program);
        QVERIFY(!QDir(user).exists());
        QCOMPARE(chooseDataDir(program, user, [](const QString &) { return false; }), user);
        QVERIFY(QDir(user).exists());

        QVERIFY(directoryIsWritable(temp.path()));
        QVERIFY(!directoryIsWritable(temp.filePath(u"missing"_s)));
        QVERIFY(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void everyControlHasAName() {
        Harness h;
        MainWindow *main = h.startWithPrimary();
        main->runCommand(Command::Favorites);  // the favorites panel too
        h.windows().openSearch();
        h.windows().openHtml();
        h.windows().openAbout();
        for (QWidget *w : QList<QWidget *>{main, h.windows().searchDialog(),
                                           h.windows().htmlWindow(), h.windows().aboutWindow()})
            QCOMPARE(unnamed(w).join(QLatin1Char(' ')), QString());
    }
};

QTEST_MAIN(ProgramTest)
#include "test_program.moc"
