// Quillow's start-up as src/app/main.cpp does it, plus the ready line once
// the primary main window is shown and its component has loaded about:blank
// (the status bar reads "Site Loaded."), in the lasting profile under the
// XDG folders it is given, listening for later starts. The one difference:
// the connection test asks 127.0.0.1, so that the bench stays on the
// loopback interface. Of the command line it reads only
// --no-content-blocking; the filter lists load as the program loads them.
//
// Once the favorites are read (after the window is shown: they come in on
// a thread of their own) it prints "favorites <count>".
//
// Each later start's new window prints "handed <seconds.micro>" once it is
// shown with its blank page loaded, and is then closed again, so that every
// round of the hand-over benchmark finds the program as it started.

#include <QApplication>
#include <QNetworkAccessManager>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <functional>

#include "app/command_line.h"
#include "app/file_locations.h"
#include "app/hand_over.h"
#include "app/program.h"
#include "browser/page_blocking.h"
#include "content_blocking/filter_list_blocker.h"
#include "favorites/favorites_list.h"
#include "main_window/main_window.h"
#include "questions/desktop_questions.h"
#include "ready_line.h"
#include "widgets/status_bar.h"

namespace {

// Calls ready once the window is shown and its page has loaded. The
// component's own handlers were connected first, so by the time these run
// the window has taken the completed load.
bool whenReady(quillow::MainWindow *window, const std::function<void()> &ready) {
    auto *status = window->findChild<quillow::StatusBar *>(QStringLiteral("webstatus"));
    auto *view = qobject_cast<QWebEngineView *>(window->browser()->widget());
    if (!view || !status)
        return false;
    auto reported = std::make_shared<bool>(false);
    auto check = [window, status, ready, reported] {
        if (*reported || !window->isVisible() || status->message() != QLatin1String("Site Loaded."))
            return;
        *reported = true;
        ready();
    };
    QObject::connect(view->page(), &QWebEnginePage::loadingChanged, view,
                     [check](const QWebEngineLoadingInfo &) { check(); });
    QObject::connect(view->page(), &QWebEnginePage::loadFinished, view, [check](bool) { check(); });
    QTimer::singleShot(0, view, check);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    quillow::registerBlockingScheme();
    QApplication app(argc, argv);
    quillow::setApplicationIdentity();

    const quillow::FileLocations where = quillow::chooseFileLocations(
        quillow::currentLocationFacts(QCoreApplication::applicationDirPath()));
    quillow::HandOver handOver(where.profileDir);

    // As the program does: the lists load on their own thread while the
    // engine starts.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QNetworkAccessManager listUpdates;
    quillow::FilterListBlocker::Settings blocking;
    blocking.configDir = where.configDir;
    blocking.cacheDir = where.cacheDir;
    blocking.offForRun = quillow::parseCommandLine(arguments).noContentBlocking;
    blocking.network = &listUpdates;
    quillow::FilterListBlocker contentBlocker(blocking);
    contentBlocker.start();

    std::unique_ptr<QWebEngineProfile> profile = quillow::lastingProfile(where);
    if (!profile || !handOver.claim()) {
        std::fprintf(stderr, "no lasting profile, or another Quillow holds it\n");
        return 1;
    }
    handOver.listen();

    quillow::DesktopQuestions questions;
    quillow::Context context =
        quillow::realContext(&questions, profile.get(), where, &contentBlocker);
    context.connectionTestHost = QStringLiteral("127.0.0.1");
    quillow::Program windows(context);
    quillow::MainWindow *window = windows.createPrimary();
    quillow::FavoritesList *favorites = windows.favorites();
    QObject::connect(favorites, &QAbstractItemModel::modelReset, &windows, [favorites] {
        std::printf("favorites %d\n", favorites->count());
        std::fflush(stdout);
    });
    if (!whenReady(window, [] { quillow::bench::printReady(); }))
        return 1;
    window->show();

    QObject::connect(&handOver, &quillow::HandOver::received, &windows,
                     [&windows](const QStringList &addresses) {
                         windows.openHandedOver(addresses);
                         quillow::MainWindow *handed = windows.windows().mainWindows().constLast();
                         whenReady(handed, [handed] {
                             quillow::bench::printReady("handed");
                             // Not from inside the page's own notification.
                             QTimer::singleShot(0, handed, &QWidget::close);
                         });
                     });
    return app.exec();
}
