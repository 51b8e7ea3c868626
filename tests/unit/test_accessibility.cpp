// Every window can be used from the keyboard and read by a screen reader:
// each control the Tab key reaches, and each picture, has a name.

#include <QAccessible>
#include <QLabel>
#include <QtTest>

#include "about/aboutform.h"
#include "harness.h"
#include "html_window/htmlf.h"
#include "main_window/mainf.h"
#include "main_window/windows.h"
#include "search/searchn.h"

using namespace quillow;
using namespace quillow::test;

class AccessibilityTest : public QObject {
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

private slots:
    void everyControlHasAName() {
        Harness h;
        h.start();
        MainF *main = h.windows().createPrimary();
        main->show();
        main->command(8);  // the favorites panel too
        h.windows().openSearch();
        h.windows().openHtml();
        h.windows().openAbout();
        const QList<QWidget *> windows = {main, h.windows().searchDialog(),
                                          h.windows().htmlWindow(), h.windows().aboutWindow()};
        for (QWidget *w : windows) {
            QVERIFY(w);
            QCOMPARE(unnamed(w).join(QLatin1Char(' ')), QString());
        }
    }
};

QTEST_MAIN(AccessibilityTest)
#include "test_accessibility.moc"
