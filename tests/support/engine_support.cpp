#include "engine_support.h"
#include "browser/page_blocking.h"

#include <unistd.h>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "browser/web_engine_browser.h"
#include "harness.h"

namespace quillow::test {

MainWindow *startOnEngine(Harness &h, const QUrl &home,
                          const std::function<void(Context &)> &adjust) {
    MainWindow *w = h.startWithPrimary([home, adjust](Context &c) {
        c.browserFactory = webEngineBrowserFactory(QWebEngineProfile::defaultProfile(), home);
        if (adjust)
            adjust(c);
    });
    const bool ready =
        QTest::qWaitForWindowExposed(w) &&
        QTest::qWaitFor([w] { return location(w) == QLatin1String("about:blank"); }, kPageWait);
    return ready ? w : nullptr;
}

MainWindow *startBlockingOnEngine(Harness &h, ContentBlocker *blocker) {
    return startOnEngine(h, QUrl(), [blocker](Context &c) {
        c.contentBlocker = blocker;
        c.browserFactory =
            webEngineBrowserFactory(QWebEngineProfile::defaultProfile(), QUrl(), blocker);
    });
}

QWebEngineView *viewOf(MainWindow *w) {
    return static_cast<QWebEngineView *>(w->browser()->widget());
}

QString location(MainWindow *w) {
    return w->browser()->location();
}

bool clickInPage(MainWindow *w, QPoint at, const std::function<bool()> &done,
                 Qt::MouseButton button) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kPageWait) {
        QWebEngineView *view = viewOf(w);
        QTest::mouseClick(view->focusProxy() ? view->focusProxy() : view, button, {}, at);
        if (QTest::qWaitFor(done, 2000))
            return true;
    }
    return false;
}

int runEngineTest(int argc, char **argv, const std::function<int()> &run) {
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --disable-background-networking --disable-component-update";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    quillow::registerBlockingScheme();
    QApplication app(argc, argv);
    return run();
}

}  // namespace quillow::test
