// Quillow: reads the command line, hands it to a Quillow already running
// with the same profile, or builds the real platform pieces and opens the
// primary main window.

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineProfile>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

#include "app/command_line.h"
#include "app/file_locations.h"
#include "app/hand_over.h"
#include "app/program.h"
#include "app/session_record.h"
#include "app/termination_signals.h"
#include "browser/download_controller.h"
#include "browser/page_blocking.h"
#include "content_blocking/filter_list_blocker.h"
#include "main_window/main_window.h"
#include "questions/desktop_questions.h"

namespace {

QStringList argumentsOf(int argc, char **argv) {
    QStringList out;
    for (int i = 0; i < argc; ++i)
        out.append(QString::fromLocal8Bit(argv[i]));
    return out;
}

// Help, version and mistakes end the start here; true when it goes on.
bool answered(const quillow::CommandLine &line, int *exitCode) {
    switch (line.action) {
        case quillow::CommandLine::Action::Run:
            return false;
        case quillow::CommandLine::Action::Help:
            std::fputs(qPrintable(line.helpText), stdout);
            *exitCode = 0;
            return true;
        case quillow::CommandLine::Action::Version:
            std::fputs(qPrintable(line.versionText), stdout);
            *exitCode = 0;
            return true;
        case quillow::CommandLine::Action::Error:
            std::fprintf(stderr, "quillow: %s\n%s", qPrintable(line.error),
                         qPrintable(line.helpText));
            *exitCode = 2;
            return true;
    }
    return false;
}

// Qt's messages while the window toolkit starts are held back: a display
// that cannot be reached ends that start with a fatal one, which would
// abort the program after lines about platform plugins. It ends as a start
// without a display does instead, in one line.
struct HeldMessage {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
};
QList<HeldMessage> heldMessages;
std::function<void()> beforeNoDisplayExit;

void holdToolkitMessage(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type != QtFatalMsg) {
        heldMessages.append(
            {type, context.file, context.function, context.category, context.line, text});
        return;
    }
    const char *name = std::getenv("DISPLAY") ? "DISPLAY" : "WAYLAND_DISPLAY";
    const char *display = std::getenv(name);
    std::fprintf(stderr, "quillow: no display to show windows on (cannot connect to %s=%s)\n", name,
                 display ? display : "");
    if (beforeNoDisplayExit)
        beforeNoDisplayExit();
    std::_Exit(1);
}

// Passes the held messages on as Qt would have.
void releaseToolkitMessages(QtMessageHandler handler) {
    qInstallMessageHandler(handler);
    for (const HeldMessage &m : std::exchange(heldMessages, {})) {
        const QMessageLogContext context(m.file.constData(), m.line, m.function.constData(),
                                         m.category.constData());
        if (handler)
            handler(m.type, context, m.text);
    }
}

}  // namespace

int main(int argc, char **argv) {
    // Qt WebEngine shares GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    quillow::setApplicationNames();

    // Help, version and mistakes are answered before the window toolkit
    // starts, so they need no display.
    const quillow::CommandLine line = quillow::parseCommandLine(argumentsOf(argc, argv));
    if (int exitCode = 0; answered(line, &exitCode))
        return exitCode;

    // Files are named from where this start was made, also when another
    // program opens them.
    QStringList addresses;
    for (const QString &argument : line.addresses)
        addresses.append(quillow::addressOfArgument(
            argument, QDir::currentPath(), [](const QString &p) { return QFileInfo::exists(p); }));

    // The facts as the user's environment gives them; the program's folder
    // is known once the application exists. The profile's folders do not
    // depend on it.
    quillow::LocationFacts facts = quillow::currentLocationFacts(QString());
    const QString lastingDir = quillow::chooseFileLocations(facts).profileDir;
    const QString profileDir = line.privateProfile ? QString() : lastingDir;
    // With no folders of the user's, Qt and the engine would put their
    // caches at the root of the file system: they get a private folder of
    // their own for this run.
    std::unique_ptr<QTemporaryDir> scratchHome;
    if (lastingDir.isEmpty()) {
        scratchHome =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quillow-XXXXXX"));
        for (const char *variable : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            qputenv(variable, QFile::encodeName(scratchHome->path()));
        QCoreApplication::setAttribute(Qt::AA_DisableShaderDiskCache);
    }
    std::unique_ptr<quillow::HandOver> handOver;
    if (!profileDir.isEmpty() && !line.newInstance) {
        handOver = std::make_unique<quillow::HandOver>(profileDir);
        if (!handOver->claim()) {
            // Another Quillow runs this profile: it opens the addresses.
            QCoreApplication core(argc, argv);
            // It opens a few at a time; the rest are the user's to hand over
            // again.
            const QStringList rest = addresses.mid(quillow::HandOver::kMaxAddresses);
            for (const QString &address : rest)
                std::fprintf(stderr, "quillow: not handed over (at most %d at once): %s\n",
                             quillow::HandOver::kMaxAddresses, qPrintable(address));
            QObject::connect(handOver.get(), &quillow::HandOver::sent,
                             [&rest](bool ok, const QString &error) {
                                 if (!ok)
                                     std::fprintf(stderr, "quillow: %s\n", qPrintable(error));
                                 QCoreApplication::exit(ok && rest.isEmpty() ? 0 : 1);
                             });
            handOver->send(addresses.mid(0, quillow::HandOver::kMaxAddresses));
            return QCoreApplication::exec();
        }
    }

    // As root the web engine starts only without its sandbox; left to
    // itself it ends the program with a line of its own once it starts.
    if (quillow::engineRefusesRoot(
            ::geteuid() == 0, qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"),
            qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS"), line.engineArguments)) {
        std::fputs(
            "quillow: the web engine does not run as root with its sandbox on. Start "
            "Quillow as your own user, or, to run it as root without the sandbox, set "
            "QTWEBENGINE_DISABLE_SANDBOX=1.\n",
            stderr);
        return 1;
    }

    // Without a display Qt would abort, leaving the profile claimed; a
    // later start hands its addresses over all the same.
    if (!quillow::displayAvailable(argumentsOf(argc, argv), qEnvironmentVariable("QT_QPA_PLATFORM"),
                                   qEnvironmentVariable("DISPLAY"),
                                   qEnvironmentVariable("WAYLAND_DISPLAY"))) {
        std::fputs("quillow: no display to show windows on (DISPLAY is not set)\n", stderr);
        return 1;
    }

    quillow::registerBlockingScheme();
    beforeNoDisplayExit = [&handOver, &scratchHome] {
        handOver.reset();
        scratchHome.reset();
    };
    const QtMessageHandler toolkitHandler = qInstallMessageHandler(holdToolkitMessage);
    QApplication app(argc, argv);
    beforeNoDisplayExit = nullptr;
    releaseToolkitMessages(toolkitHandler);
    quillow::setApplicationIdentity();
    // The program knows its windows: hidden ones kept ready and questions
    // over a closing window keep nothing alive.
    app.setQuitOnLastWindowClosed(false);
    if (handOver)
        handOver->listen();
    facts.programDir = QCoreApplication::applicationDirPath();
    const quillow::FileLocations where = quillow::chooseFileLocations(facts);

    // The filter lists load on a thread of their own while the engine
    // starts; the first page's requests wait for them a little if need be.
    QNetworkAccessManager listUpdates;
    quillow::FilterListBlocker::Settings blocking;
    blocking.configDir = where.configDir;
    blocking.cacheDir = where.cacheDir;
    blocking.offForRun = line.noContentBlocking;
    blocking.writesNothing = line.privateProfile;
    blocking.network = &listUpdates;
    quillow::FilterListBlocker contentBlocker(blocking);
    contentBlocker.start();

    // Asked for privacy or without a folder for it, the engine keeps
    // nothing: its default profile is forgotten at exit.
    std::unique_ptr<QWebEngineProfile> lasting =
        line.privateProfile ? nullptr : quillow::lastingProfile(where);
    QWebEngineProfile *profile = lasting ? lasting.get() : QWebEngineProfile::defaultProfile();
    const QString downloads = where.downloadDir;
    quillow::DownloadController downloadController(
        profile, [downloads](QWidget *parent, const QString &fileName) {
            return QFileDialog::getSaveFileName(
                parent, QObject::tr("Save File"),
                downloads.isEmpty() ? fileName : QDir(downloads).filePath(fileName));
        });

    quillow::DesktopQuestions questions;
    quillow::Program program(quillow::realContext(&questions, profile, where, &contentBlocker));
    QObject::connect(&program, &quillow::Program::lastWindowClosed, &app, &QCoreApplication::quit);
    // Asked to end by the system, the program closes every window as its
    // close box does; asked again, it ends at once.
    quillow::TerminationSignals termination;
    QObject::connect(&termination, &quillow::TerminationSignals::received, &program,
                     [&program, asked = 0]() mutable {
                         if (asked++ == 0)
                             program.closeAll();
                         else
                             QCoreApplication::quit();
                     });
    // The program that holds the profile keeps its open pages, to offer
    // them back after a run that did not end normally.
    std::unique_ptr<quillow::SessionRecord> session;
    if (handOver && !where.sessionFile.isEmpty())
        session = std::make_unique<quillow::SessionRecord>(
            where.sessionFile, [&program] { return program.openPages(); });
    quillow::MainWindow *primary = program.createPrimary();
    primary->show();
    if (handOver)
        QObject::connect(handOver.get(), &quillow::HandOver::received, &program,
                         &quillow::Program::openHandedOver);
    // The primary window shows its blank first page before it goes on. The
    // pages the last run left are offered also beside a start's own
    // addresses (a link clicked in another program), and stay on record
    // until the offer has been answered.
    QTimer::singleShot(0, primary, [&program, primary, addresses, record = session.get()] {
        program.openAtStart(primary, addresses);
        if (record) {
            program.offerBack(primary, record->leftBehind());
            QObject::connect(&program, &quillow::Program::mainWindowsChanged, record,
                             &quillow::SessionRecord::changed);
            record->changed();
        }
    });
    const int status = QCoreApplication::exec();
    if (session)
        session->endNormally();
    return status;
}
