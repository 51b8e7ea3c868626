// Quillow's start-up as src/app/main.cpp does it, plus the ready line once
// the primary main window is shown and its component has loaded about:blank
// (the status bar reads "Site Loaded."). The one difference: the connection
// test asks 127.0.0.1, so that the bench stays on the loopback interface.

#include <QApplication>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <QWebEngineProfile>

#include "app/message_boxes.h"
#include "app/program.h"
#include "app/window_registry.h"
#include "main_window/main_window.h"
#include "ready_line.h"
#include "widgets/status_bar.h"

int main(int argc, char **argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    quillow::setApplicationIdentity();

    quillow::DesktopMessageBoxes messages;
    quillow::Context context = quillow::realContext(&messages, QWebEngineProfile::defaultProfile());
    context.connectionTestHost = QStringLiteral("127.0.0.1");
    quillow::WindowRegistry windows(context);
    quillow::MainWindow *window = windows.createPrimary();
    auto *status = window->findChild<quillow::StatusBar *>(QStringLiteral("webstatus"));

    // The component's own handlers were connected first, so by the time
    // these run the window has taken the completed load.
    auto *view = qobject_cast<QWebEngineView *>(window->browser()->widget());
    if (!view)
        return 1;
    bool reported = false;
    auto check = [window, status, &reported] {
        if (reported || !window->isVisible() || status->message() != QLatin1String("Site Loaded."))
            return;
        reported = true;
        quillow::bench::printReady();
    };
    QObject::connect(view->page(), &QWebEnginePage::loadingChanged, view,
                     [check](const QWebEngineLoadingInfo &) { check(); });
    QObject::connect(view->page(), &QWebEnginePage::loadFinished, view, [check](bool) { check(); });

    window->show();
    check();
    return app.exec();
}
