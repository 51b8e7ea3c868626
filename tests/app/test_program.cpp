// The program as a whole: where its files live, its command line, the
// message a later start hands over, where handed addresses open, and that a
// screen reader can name every control of every window.

#include <sys/stat.h>
#include <QAccessible>
#include <QLabel>
#include <QLocalSocket>
#include <QPushButton>

#include "app/command_line.h"
#include "app/file_locations.h"
#include "app/hand_over.h"
#include "app/session_record.h"
#include "harness.h"

using namespace quillow;
using namespace quillow::test;

class ProgramTest : public QObject {
    Q_OBJECT

    // Controls a reader cannot name, and captions that do not fit the part
    // of their control on show (a button's may wrap, a label's may not).
    static QStringList unreadable(QWidget *window) {
        QStringList out;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (!w->isVisibleTo(window) || w->objectName().startsWith(u"qt_"_s))
                continue;
            auto *button = qobject_cast<QPushButton *>(w);
            auto *label = qobject_cast<QLabel *>(w);
            const bool picture = label && label->text().isEmpty() && !label->pixmap().isNull();
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            if (((w->focusPolicy() & Qt::TabFocus) || picture) && !w->objectName().isEmpty() &&
                (!a || a->text(QAccessible::Name).trimmed().isEmpty()))
                out.append(w->objectName());
            const QString text = button ? button->text() : label ? label->text() : QString();
            QRect room = (button ? w->rect() : w->contentsRect()) &
                         w->parentWidget()->rect().translated(-w->pos());
            const QRect used =
                w->fontMetrics().boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, text);
            if (!text.isEmpty() && (button ? !room.contains(used) : used.width() > room.width()))
                out.append(w->objectName() + u'=' + text);
        }
        return out;
    }

    // 16,384 bytes of UTF-8: the longest address the crash record keeps.
    static QString longestKept() { return u"http://a.test/"_s + QString(8185, u'\u00e9'); }

private slots:
    void fileLocations_data() {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("dataHome");
        QTest::addColumn<QStringList>("existing");
        // favorites, temp.htm, profile, profile cache, downloads; ~ is /home/u
        QTest::addColumn<QString>("expected");
        const QString home = u"/home/u"_s, entry = u"/usr/share/applications/quillow.desktop"_s;
        const QStringList homes = {home, u"/home/u/Downloads"_s};
        const QString lasting =
            u"~/.local/share/quillow/QtWebEngine/profile ~/.cache/quillow/QtWebEngine/profile"_s;
        QTest::newRow("own folder, not tried for writing")
            << u"/media/cd/q"_s << home << QString() << QStringList{home}
            << u"/media/cd/q /media/cd/q "_s + lasting + u" ~"_s;
        QTest::newRow("bin without the entry is no install")
            << u"/opt/q/bin"_s << home << QString() << QStringList{home, entry}
            << u"/opt/q/bin /opt/q/bin "_s + lasting + u" ~"_s;
        QTest::newRow("installed, XDG data folder set")
            << u"/usr/bin"_s << home << u"/data"_s << homes + QStringList{entry}
            << u"/data/quillow ~/.cache/quillow /data/quillow/QtWebEngine/profile "
               u"~/.cache/quillow/QtWebEngine/profile ~/Downloads"_s;
    }
    void fileLocations() {
        QFETCH(QString, programDir);
        QFETCH(QString, home);
        QFETCH(QString, dataHome);
        QFETCH(QStringList, existing);
        // XDG_CACHE_HOME is relative, so not one, throughout.
        const FileLocations where = chooseFileLocations(
            {programDir, home, dataHome, u"cache"_s, u"/home/u/Downloads"_s,
             [existing](const QString &p) { return existing.contains(p); }, u"/config"_s});
        // The filter lists' settings follow XDG_CONFIG_HOME, their cache the cache folder.
        QCOMPARE(where.configDir, u"/config/quillow"_s);
        QCOMPARE(where.cacheDir, home.isEmpty() ? QString() : home + u"/.cache/quillow"_s);
        QTEST(QStringList({where.favoritesDir, where.scratchDir, where.profileDir,
                           where.profileCacheDir, where.downloadDir})
                  .join(u' ')
                  .replace(u"/home/u"_s, u"~"_s),
              "expected");
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");  // action, addresses, switches
        QTest::newRow("addresses in order, empty ones out, switches anywhere, toolkit's let by")
            << QStringList{u"b.test"_s,         u""_s,
                           u"--private"_s,      u"-platform"_s,
                           u"offscreen"_s,      u"a.html"_s,
                           u"--new-instance"_s, u"--no-content-blocking"_s}
            << u"0 b.test,a.html private new unblocked"_s;
        QTest::newRow("help wins") << QStringList{u"a.test"_s, u"-h"_s} << u"1 a.test"_s;
        QTest::newRow("unknown option") << QStringList{u"--bogus"_s, u"a.test"_s} << u"3 "_s;
        QTest::newRow("engine switches untouched")
            << QStringList{u"a.test"_s, u"--webEngineArgs"_s, u"--bogus"_s, u"b.test"_s}
            << u"0 a.test engine --webEngineArgs,--bogus,b.test"_s;
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        const CommandLine line = parseCommandLine(QStringList{u"/usr/bin/quillow"_s} + arguments);
        QString seen = QString::number(int(line.action)) + u' ' + line.addresses.join(u',');
        if (line.privateProfile)
            seen += u" private"_s;
        if (line.newInstance)
            seen += u" new"_s;
        if (line.noContentBlocking)
            seen += u" unblocked"_s;
        if (!line.engineArguments.isEmpty())
            seen += u" engine "_s + line.engineArguments.join(u',');
        QTEST(seen, "expected");
        QCOMPARE(line.error.isEmpty(), line.action != CommandLine::Action::Error);
    }

    // A name is a file's when there is one, taken from the start's folder.
    void addressOfArgument() {
        const auto exists = [](const QString &p) { return p == u"/w/up.html"_s; };
        QCOMPARE(quillow::addressOfArgument(u"../up.html"_s, u"/w/d"_s, exists), u"/w/up.html"_s);
        QCOMPARE(quillow::addressOfArgument(u"up.html"_s, u"/w/d"_s, exists), u"up.html"_s);
    }

    void handOverMessage_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("decoded");
        const QByteArray whole = HandOver::encode({u"http://a.test/"_s, u"/tmp/b \u00e9.html"_s});
        QByteArray tooLong = HandOver::encode({});
        tooLong[tooLong.size() - 3] = 0x10;  // a length of about a megabyte
        using D = HandOver::Decoded;
        QTest::newRow("cut in its first bytes") << whole.left(5) << int(D::Incomplete);
        QTest::newRow("cut in an address") << whole.chopped(3) << int(D::Incomplete);
        QTest::newRow("something else") << QByteArray("GET / HTTP/1.1\r\n") << int(D::Invalid);
        QTest::newRow("longer than taken") << tooLong << int(D::Invalid);
        QTest::newRow("more than it said") << whole + 'x' << int(D::Invalid);
    }
    void handOverMessage() {
        QFETCH(QByteArray, message);
        QStringList addresses;
        QTEST(int(HandOver::decode(message, &addresses)), "decoded");
        QVERIFY(addresses.isEmpty());
        QCOMPARE(HandOver::decode(HandOver::encode({u"\u00e9"_s, u"b"_s}), &addresses),
                 HandOver::Decoded::Complete);
        QCOMPARE(addresses, QStringList({u"\u00e9"_s, u"b"_s}));
    }

    // Eight starts that connect and say nothing keep a ninth out for two
    // seconds at most; a start with too many addresses opens twenty. A pipe
    // planted where the lock goes is no lock, and never waited on.
    void handOverOutlastsIdleStartsAndTakesTwenty() {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QString lock;
        {
            HandOver earlier(u"/p"_s);
            QVERIFY(earlier.claim());
            lock = QDir(runtime.path()).entryInfoList({u"*.lock"_s}).value(0).filePath();
        }
        QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
        HandOver running(u"/p"_s), later(u"/p"_s);
        QVERIFY(running.claim() && !later.claim());
        running.listen();
        QLocalSocket idle[8];
        for (QLocalSocket &client : idle)
            client.connectToServer(running.socketPath());
        QSignalSpy received(&running, &HandOver::received), sent(&later, &HandOver::sent);
        later.send(QStringList(25, u"a.test"_s));
        QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 1, 5000);
        QVERIFY(sent.at(0).at(0).toBool());
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toStringList().size(), 20);
    }

    // Pages a crashed run left are offered back, Yes the default; No opens
    // none. Fifty at most, none over 16 KiB, from a file of 1 MiB at most,
    // no cut line; nothing left, nothing asked.
    void leftBehindPages_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("question");
        const QString longest = longestKept();
        QTest::newRow("fifty-one, one too long, a cut line")
            << (QStringList{longest, longest + u'x'} + QStringList(51, u"http://p.test/"_s))
                       .join(u'\n')
                       .toUtf8() +
                   "\nhttp://cut"
            << QStringList{longest} + QStringList(49, u"http://p.test/"_s)
            << u"Quillow did not close properly. Open the 50 pages that were open?"_s;
        const QByteArray mebibyte = "http://a.test/\n" + QByteArray((1 << 20) - 16, 'x') + '\n';
        QTest::newRow("1 MiB") << mebibyte << QStringList{u"http://a.test/"_s}
                               << u"Quillow did not close properly. Open the page that was open?"_s;
        QTest::newRow("over 1 MiB") << mebibyte + '\n' << QStringList() << QString();
        QTest::newRow("nothing whole")
            << "\n" + longest.toUtf8() + "x\nhttp://cut" << QStringList() << QString();
    }
    void leftBehindPages() {
        QFETCH(QByteArray, record);
        QFETCH(QString, question);
        Primary p;
        p.writeFile(u"session.dat"_s, record);
        SessionRecord left(p.filePath(u"session.dat"_s), [] { return QStringList(); });
        QTEST(left.leftBehind(), "offered");
        p.questions.yesNo = {false};
        p.program().offerBack(p.primary, left.leftBehind());
        QCOMPARE(p.questions.asked.value(0).text, question);
        QVERIFY(question.isEmpty() || p.questions.asked.first().yesIsDefault);
        QCOMPARE(p.browsers.size(), 1);
        QCOMPARE(p.page->navigations(), QStringList{u"navigate:about:blank"_s});
    }

    // The open pages are written within a second, 0600, over a link planted
    // there, not through it, as they are read back. Handed-over addresses
    // open one window an event-loop turn; the window made ready meanwhile
    // tells the others nothing until it is taken.
    void handedOverWindowsAndTheRecord() {
        Primary p;
        const QStringList open =
            QStringList{longestKept() + u'x', u"http://c.test/\nx"_s, longestKept()} +
            QStringList(51, u"http://p.test/"_s);
        const QString path = p.filePath(u"now.dat"_s), elsewhere = p.filePath(u"mine"_s);
        p.writeFile(u"mine"_s, "mine\n");
        QVERIFY(QFile::link(elsewhere, path));
        SessionRecord now(path, [open] { return open; });
        now.changed();
        QTRY_VERIFY(!QFileInfo(path).isSymLink());
        QCOMPARE(readFile(path), (open.mid(2, 50).join(u'\n') + u'\n').toUtf8());
        QCOMPARE(QFile::permissions(path) & 0x0777, QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(readFile(elsewhere), QByteArray("mine\n"));
        now.endNormally();
        QVERIFY(!QFile::exists(path));
        p.program().openHandedOver({u"a.test"_s, u"b.test"_s});
        QCOMPARE(p.windows().mainWindows().size(), 1);
        // On record while they wait for their windows.
        QCOMPARE(p.program().openPages(), QStringList({u"a.test"_s, u"b.test"_s}));
        QTRY_COMPARE(p.windows().mainWindows().size(), 3);
        // Each a step off the one before, on the screen.
        const QList<MainWindow *> mains = p.windows().mainWindows();
        for (int i = 1; i < 3; ++i)
            QVERIFY(mains[i]->pos() != mains[i - 1]->pos() &&
                    mains[i]->screen()->availableGeometry().contains(mains[i]->pos()));
        QTRY_VERIFY(p.program().rules().hasReady());
        emit p.browsers.last()->titleChanged(u"blank"_s);
        QCOMPARE(p.primary->windowTitle(), MainWindow::kCaption);
    }

    // A display is needed unless the platform brings its own.
    void displayAvailable() {
        const QStringList none;
        QVERIFY(quillow::displayAvailable(none, {}, u":0"_s, {}));  // X11 by default
        QVERIFY(!quillow::displayAvailable(none, {}, {}, {}));
        QVERIFY(!quillow::displayAvailable(none, u"xcb"_s, {}, {}));
        QVERIFY(quillow::displayAvailable(none, u"offscreen"_s, {}, {}));
        QVERIFY(!quillow::displayAvailable({u"-platform"_s, u"xcb"_s}, u"offscreen"_s, {}, {}));
        // As root the engine needs its sandbox off, by either of its ways.
        QVERIFY(engineRefusesRoot(true, false, u"--a"_s, {u"--webEngineArgs"_s}));
        QVERIFY(!engineRefusesRoot(false, false, {}, {}) && !engineRefusesRoot(true, true, {}, {}));
        QVERIFY(!engineRefusesRoot(true, false, u"--a --no-sandbox"_s, {}));
        QVERIFY(!engineRefusesRoot(true, false, {}, {u"--webEngineArgs"_s, u"--no-sandbox"_s}));
    }

    // An installed copy makes its folders for the user's eyes only.
    void installedFoldersArePrivate() {
        QTemporaryDir home;
        FileLocations where;
        where.installed = true;
        where.favoritesDir = home.filePath(u"data/quillow"_s);
        realContext(nullptr, nullptr, where);
        for (const QString &dir : {home.filePath(u"data"_s), where.favoritesDir})
            QCOMPARE(QFile::permissions(dir) & 0x0777,
                     QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    }

    // Every control has a name; a label's is the text it shows, also after
    // it changed (so the change reaches a reader); every caption fits.
    void everyWindowReadsAndFits() {
        Primary p;
        p.primary->runCommand(Command::Favorites);  // the favorites panel and find bar too
        QTest::keyClick(addressBox(p.primary), Qt::Key_F, Qt::ControlModifier);
        for (QWidget *w : QList<QWidget *>{p.primary, p.open<SearchDialog>(), p.open<HtmlWindow>(),
                                           p.open<AboutWindow>()})
            QCOMPARE(unreadable(w).join(u' '), QString());
        emit p.page->statusTextChanged(u"Opening"_s);
        emit p.page->navigationCompleted(u"about:blank"_s);
        p.transfers[0]->report(InternetTransfer::State::ResponseReceived);
        // The address box says what it is beside its text; the status bar
        // is one.
        QCOMPARE(QAccessible::queryAccessibleInterface(addressBox(p.primary))
                     ->text(QAccessible::Description),
                 u"Address"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(statusBar(p.primary))->role(),
                 QAccessible::StatusBar);
        for (const char *name : {"panel(1)", "panel(2)", "simpletext", "onoff"}) {
            auto *label = child<QLabel>(p.primary, QLatin1String(name));
            QVERIFY(!label->text().isEmpty());
            QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                     label->text());
        }
    }
};

QTEST_MAIN(ProgramTest)
#include "test_program.moc"
