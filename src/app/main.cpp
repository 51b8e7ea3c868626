// Quillow: builds the real platform pieces and opens the primary main window.

#include <QApplication>

#include "main_window/mainf.h"
#include "main_window/program.h"
#include "main_window/qt_message_boxes.h"
#include "main_window/windows.h"

int main(int argc, char **argv) {
    // Qt WebEngine shares GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    quillow::setApplicationIdentity();

    quillow::QtMessageBoxes messages;
    quillow::Windows windows(quillow::realContext(&messages));
    windows.createPrimary()->show();
    return app.exec();
}
