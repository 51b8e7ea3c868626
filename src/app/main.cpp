// Quillow: builds the real platform pieces and opens the primary main window.

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QWebEngineProfile>

#include "app/message_boxes.h"
#include "app/program.h"
#include "app/window_registry.h"
#include "browser/download_controller.h"
#include "main_window/main_window.h"
#include "questions/desktop_questions.h"

int main(int argc, char **argv) {
    // Qt WebEngine shares GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    quillow::setApplicationIdentity();

    QWebEngineProfile *profile = QWebEngineProfile::defaultProfile();
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    quillow::DownloadController downloadController(
        profile, [downloads](QWidget *parent, const QString &fileName) {
            return QFileDialog::getSaveFileName(parent, QObject::tr("Save File"),
                                                QDir(downloads).filePath(fileName));
        });

    quillow::DesktopMessageBoxes messages;
    quillow::DesktopQuestions questions;
    quillow::Context context = quillow::realContext(&messages, profile);
    context.questions = &questions;
    quillow::WindowRegistry windows(context);
    windows.createPrimary()->show();
    return app.exec();
}
