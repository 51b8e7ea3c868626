// Starting the real program: its command line, and later starts handing
// their addresses to the one running, in a home of the test's own. Pages and
// the connection test (through a proxy) go to 127.0.0.1.

#include <sys/stat.h>
#include <unistd.h>
#include <QProcess>
#include <memory>

#include "engine_support.h"
#include "harness.h"
#include "http_server.h"

using namespace Qt::StringLiterals;
using namespace quillow::test;

class ProgramStartTest : public QObject {
    Q_OBJECT

    HttpServer server;
    QTemporaryDir home;
    std::vector<std::unique_ptr<QProcess>> started;

    // On platform: offscreen, xcb (the X server the tests run on) or none;
    // environment sets NAME=value, or removes NAME.
    QProcess *start(const QStringList &arguments, const QString &platform = u"offscreen"_s,
                    const QStringList &environment = {}) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home.path());
        for (const QString &name : {u"DATA_HOME"_s, u"CACHE_HOME"_s, u"RUNTIME_DIR"_s})
            env.insert(u"XDG_"_s + name, home.filePath(name));
        env.insert(u"QT_QPA_PLATFORM"_s, platform);
        for (const QString &name : {u"QT_QPA_PLATFORM"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s})
            if (platform == u"none"_s)
                env.remove(name);
        env.insert(u"http_proxy"_s, server.url(QString()));
        for (const QString &e : environment)
            e.contains(u'=') ? env.insert(e.section(u'=', 0, 0), e.section(u'=', 1))
                             : env.remove(e);
        started.push_back(std::make_unique<QProcess>());
        QProcess *p = started.back().get();
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(QUILLOW_PROGRAM), arguments);
        return p;
    }
    bool requested(const QString &path) const { return server.requests.contains(path); }

private slots:
    void initTestCase() {
        QVERIFY(server.listen());
        for (const char *name : {"first", "second", "third", "fourth"})
            server.route(u"/%1.html"_s.arg(QLatin1String(name)), QByteArray("<html>") + name);
        QVERIFY(QDir(home.path()).mkpath(u"RUNTIME_DIR"_s));
        QFile::setPermissions(home.filePath(u"RUNTIME_DIR"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void init() { server.requests.clear(); }
    void cleanup() {
        for (const auto &p : started) {
            p->kill();
            p->waitForFinished();
        }
        started.clear();
    }

    // Asked to end by the system, the program closes its windows and ends
    // normally, giving up its lock and socket; without a display, or one it
    // cannot reach, it says so in a line, and claims nothing. As root with
    // the engine's sandbox on, it says what to do. A pipe planted at its
    // crash record is not waited on: its window shows (on an X server) and
    // its own file takes the pipe's place.
    void endsOnTerminationAndWithoutADisplay() {
        const QString record = home.filePath(u"DATA_HOME/quillow/session.dat"_s);
        QVERIFY(QDir().mkpath(QFileInfo(record).path()));
        QCOMPARE(::mkfifo(QFile::encodeName(record).constData(), 0600), 0);
        const bool x = !qEnvironmentVariableIsEmpty("DISPLAY");
        QProcess *p = start({server.url(u"/first.html"_s)}, x ? u"xcb"_s : u"offscreen"_s);
        QTRY_VERIFY_WITH_TIMEOUT(requested(u"/first.html"_s), kPageWait);
        const QString shown = u"xdotool search --onlyvisible --pid %1 >/dev/null"_s;
        QTRY_VERIFY_WITH_TIMEOUT(
            !x || QProcess::execute(u"sh"_s, {u"-c"_s, shown.arg(p->processId())}) == 0, kPageWait);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(record).isFile(), kPageWait);
        p->terminate();
        QVERIFY(p->waitForFinished(kPageWait));
        QVERIFY(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0);
        const QDir runtime(home.filePath(u"RUNTIME_DIR"_s));
        QCOMPARE(runtime.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), {});
        const std::pair<QString, QStringList> blinds[] = {{u"none"_s, {}},
                                                          {u"xcb"_s, {u"DISPLAY=:4242"_s}}};
        for (const auto &[platform, environment] : blinds) {
            QProcess *blind = start({}, platform, environment);
            QVERIFY(blind->waitForFinished(kPageWait));
            QVERIFY(blind->exitStatus() == QProcess::NormalExit && blind->exitCode() == 1);
            const QByteArray said = blind->readAllStandardError();
            QVERIFY2(said.startsWith("quillow: no display") && said.count('\n') == 1, said);
        }
        QCOMPARE(runtime.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), {});
        if (::geteuid() == 0) {
            QProcess *root = start({}, u"offscreen"_s, {u"QTWEBENGINE_DISABLE_SANDBOX"_s});
            QVERIFY(root->waitForFinished(kPageWait) && root->exitCode() == 1);
            QVERIFY(root->readAllStandardError().contains("set QTWEBENGINE_DISABLE_SANDBOX=1"));
        }
    }

    // A crash leaves lock, socket and the record of the pages behind: the
    // next start, with an address of its own, takes them over, offers the
    // pages back beside it (Enter on the X server takes the offer), keeps
    // the record until then and has it hold them all at once after, loaded
    // or not; it serves the start after it. Its own end leaves nothing to
    // offer.
    void laterStartsHandOverToTheRunningOne() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("the offer is answered on an X server");
        QProcess *first = start({server.url(u"/first.html"_s)});
        QTRY_VERIFY_WITH_TIMEOUT(requested(u"/first.html"_s), kPageWait);
        // The connection test went through the proxy, not to the Internet.
        QTRY_VERIFY_WITH_TIMEOUT(requested(u"http://www.example.com/"_s), kPageWait);
        QProcess *second = start({server.url(u"/second.html"_s), server.url(u"/third.html"_s)});
        QVERIFY(second->waitForFinished(kPageWait) && second->exitCode() == 0);
        const QString record = home.filePath(u"DATA_HOME/quillow/session.dat"_s);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(record).contains("/third.html\n"), kPageWait);

        first->kill();
        QVERIFY(first->waitForFinished(kPageWait));
        server.requests.clear();
        HttpServer::Response silent;
        silent.silent = true;
        for (const char *name : {"/first.html", "/second.html", "/third.html"})
            server.route(QLatin1String(name), silent);
        const quint64 left = fileIdentity(record);
        QProcess *restarted = start({server.url(u"/fourth.html"_s)}, u"xcb"_s);
        QTRY_VERIFY_WITH_TIMEOUT(requested(u"/fourth.html"_s), kPageWait);
        QVERIFY(!QTest::qWaitFor([&] { return fileIdentity(record) != left; }, 2000));
        // Enter (xdotool) for the question once it shows, again if too early.
        const QStringList enter =
            u"search --onlyvisible --name ^Quillow$ windowfocus --sync key Return"_s.split(u' ');
        QTRY_VERIFY_WITH_TIMEOUT(
            QProcess::execute(u"xdotool"_s, enter) != -2 && requested(u"/first.html"_s), kPageWait);
        for (const QString &page : {u"/second.html"_s, u"/third.html"_s})
            QTRY_VERIFY_WITH_TIMEOUT(requested(page), kPageWait);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(record).count(".html\n") == 4, kPageWait);
        QProcess *fifth = start({server.url(u"/fourth.html?again"_s)});
        QVERIFY(fifth->waitForFinished(kPageWait) && fifth->exitCode() == 0);
        QTRY_VERIFY_WITH_TIMEOUT(requested(u"/fourth.html?again"_s), kPageWait);
        restarted->terminate();
        QVERIFY(restarted->waitForFinished(kPageWait) && restarted->exitCode() == 0);
        QVERIFY(!QFile::exists(record));
        // The lasting profile went to the XDG data folder, and nothing else
        // did (the cache folder holds the GL driver's shader cache too).
        QVERIFY(QFileInfo(home.filePath(u"DATA_HOME/quillow/QtWebEngine/profile"_s)).isDir());
        QCOMPARE(
            QDir(home.filePath(u"DATA_HOME"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{u"quillow"_s});
    }
};

QUILLOW_ENGINE_TEST_MAIN(ProgramStartTest)
#include "test_program_start.moc"
