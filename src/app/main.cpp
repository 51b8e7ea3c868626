// Quillow: builds the real platform pieces and opens the primary main window.

#include <QApplication>
#include <QUrl>
#include <QWebEngineProfile>

#include "browser/web_engine_browser.h"
#include "inet/network_inet.h"
#include "main_window/context.h"
#include "main_window/mainf.h"
#include "main_window/qt_message_boxes.h"
#include "main_window/windows.h"

int main(int argc, char **argv) {
    // Qt WebEngine shares GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillow"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(QUILLOW_VERSION_MAJOR)
                                            .arg(QUILLOW_VERSION_MINOR)
                                            .arg(QUILLOW_VERSION_PATCH));
    QApplication::setDesktopFileName(QStringLiteral("quillow"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/quillow.png")));

    quillow::QtMessageBoxes messages;
    quillow::Context context;
    context.programDir = QCoreApplication::applicationDirPath();
    context.messages = &messages;
    context.beep = [] { QApplication::beep(); };
    context.connectionTestHost = QStringLiteral("www.example.com");
    context.browserFactory = quillow::webEngineBrowserFactory(
        QWebEngineProfile::defaultProfile(), QUrl(QStringLiteral("qrc:/assets/home.html")));
    context.inetFactory = [](QObject *parent) -> quillow::Inet * {
        return new quillow::NetworkInet(parent);
    };

    quillow::Windows windows(context);
    windows.createPrimary()->show();
    return app.exec();
}
