// The yardstick for Quillow's start-up: the least a Qt program needs to show
// a web page in a window. A main window of Quillow's client size holding a
// QWebEngineView that loads about:blank; prints the ready line once loaded.

#include <QApplication>
#include <QMainWindow>
#include <QUrl>
#include <QWebEngineView>

#include "ready_line.h"

int main(int argc, char **argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    QMainWindow window;
    auto *view = new QWebEngineView(&window);
    window.setCentralWidget(view);
    window.resize(704, 664);

    bool reported = false;
    QObject::connect(view, &QWebEngineView::loadFinished, view, [&reported](bool ok) {
        if (ok && !reported) {
            reported = true;
            quillow::bench::printReady();
        }
    });
    // Loaded before showing, in the same order as Quillow's main window.
    view->load(QUrl(QStringLiteral("about:blank")));
    window.show();
    return app.exec();
}
