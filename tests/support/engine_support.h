#pragma once

#include <QApplication>
#include <QUrl>
#include <QtTest>
#include <functional>

#include "core/context.h"

class QWebEngineView;

namespace quillow {
class MainWindow;
class ContentBlocker;
namespace test {
class Harness;

// How long an engine test waits for a page to arrive.
inline constexpr int kPageWait = 20000;

// The harness's program on the real engine (the default profile; home is
// where Home goes): its primary window, once its blank first page shows.
MainWindow *startOnEngine(Harness &h, const QUrl &home = QUrl(),
                          const std::function<void(Context &)> &adjust = {});
// The same with content blocking by `blocker`.
MainWindow *startBlockingOnEngine(Harness &h, ContentBlocker *blocker);
QWebEngineView *viewOf(MainWindow *w);
QString location(MainWindow *w);
// A click the page takes as the user's own, repeated until done() holds (a
// page that has just loaded may not take input yet); false when it never does.
bool clickInPage(MainWindow *w, QPoint at, const std::function<bool()> &done,
                 Qt::MouseButton button = Qt::LeftButton);

// Runs a test process with a shared GL context, no sandbox as root (the
// engine refuses it there) and no network of the engine's own.
int runEngineTest(int argc, char **argv, const std::function<int()> &run);

}  // namespace test
}  // namespace quillow

#define QUILLOW_ENGINE_TEST_MAIN(TestClass)                            \
    int main(int argc, char **argv) {                                  \
        return quillow::test::runEngineTest(argc, argv, [argc, argv] { \
            TestClass test;                                            \
            return QTest::qExec(&test, argc, argv);                    \
        });                                                            \
    }
