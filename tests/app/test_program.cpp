// The program as a whole: where its files live, its command line, the
// message a later start hands over, and that a screen reader can name every
// control of every window.

#include <QAccessible>
#include <QLabel>
#include <QPushButton>

#include "app/command_line.h"
#include "app/file_locations.h"
#include "app/hand_over.h"
#include "harness.h"

using namespace Qt::StringLiterals;
using namespace quillow;
using namespace quillow::test;

class ProgramTest : public QObject {
    Q_OBJECT

    static QStringList unnamed(QWidget *window) {
        QStringList out;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (!w->isVisibleTo(window) || w->objectName().isEmpty() ||
                w->objectName().startsWith(QLatin1String("qt_")))
                continue;
            auto *label = qobject_cast<QLabel *>(w);
            const bool picture = label && label->text().isEmpty() && !label->pixmap().isNull();
            if (!(w->focusPolicy() & Qt::TabFocus) && !picture)
                continue;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                out.append(w->objectName());
        }
        return out;
    }

    // Controls whose caption does not fit in the part of them on show.
    static QStringList clipped(QWidget *window) {
        QStringList out;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            auto *button = qobject_cast<QPushButton *>(w);
            auto *label = qobject_cast<QLabel *>(w);
            const QString text = button ? button->text() : label ? label->text() : QString();
            if (!w->isVisibleTo(window) || text.isEmpty())
                continue;
            // A button's caption may wrap; a label's stays on one line. Only
            // the part of the control its frame shows counts.
            QRect room = button ? w->rect() : w->contentsRect();
            room &= w->parentWidget()->rect().translated(-w->pos());
            const QRect used =
                w->fontMetrics().boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, text);
            if (button ? !room.contains(used) : used.width() > room.width())
                out.append(w->objectName() + QLatin1Char('=') + text);
        }
        return out;
    }

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
        QTest::newRow("build tree")
            << u"/src/q/build"_s << home << QString() << homes
            << u"/src/q/build /src/q/build "_s + lasting + u" ~/Downloads"_s;
        // Not tried for writing: the first save that fails names it.
        QTest::newRow("own folder, read-only")
            << u"/media/cd/q"_s << home << QString() << QStringList{home}
            << u"/media/cd/q /media/cd/q "_s + lasting + u" ~"_s;
        QTest::newRow("bin without the entry is no install")
            << u"/opt/q/bin"_s << home << QString() << QStringList{home, entry}
            << u"/opt/q/bin /opt/q/bin "_s + lasting + u" ~"_s;
        QTest::newRow("installed")
            << u"/usr/bin/"_s << home << QString() << homes + QStringList{entry}
            << u"~/.local/share/quillow ~/.cache/quillow "_s + lasting + u" ~/Downloads"_s;
        QTest::newRow("installed, XDG data folder set")
            << u"/usr/bin"_s << home << u"/data"_s << homes + QStringList{entry}
            << u"/data/quillow ~/.cache/quillow /data/quillow/QtWebEngine/profile "
               u"~/.cache/quillow/QtWebEngine/profile ~/Downloads"_s;
        QTest::newRow("installed, no home")
            << u"/usr/bin"_s << QString() << QString() << QStringList{entry} << u"    "_s;
        QTest::newRow("own folder, home is the root")
            << u"/opt/q"_s << u"/"_s << QString() << QStringList{u"/"_s} << u"/opt/q /opt/q   "_s;
    }
    void fileLocations() {
        QFETCH(QString, programDir);
        QFETCH(QString, home);
        QFETCH(QString, dataHome);
        QFETCH(QStringList, existing);
        // XDG_CACHE_HOME is relative, so not one, throughout.
        const FileLocations where =
            chooseFileLocations({programDir, home, dataHome, u"cache"_s, u"/home/u/Downloads"_s,
                                 [existing](const QString &p) { return existing.contains(p); }});
        QTEST(QStringList({where.favoritesDir, where.scratchDir, where.profileDir,
                           where.profileCacheDir, where.downloadDir})
                  .join(u' ')
                  .replace(u"/home/u"_s, u"~"_s),
              "expected");
    }

    // What a start was asked to do, in one line.
    static QString described(const CommandLine &line) {
        const char *actions[] = {"run", "help", "version", "error"};
        QString out = QLatin1String(actions[int(line.action)]);
        if (line.action == CommandLine::Action::Error)
            return line.error.contains(u'\n') ? u"two lines"_s : out;
        out += u" ["_s + line.addresses.join(u',') + u']';
        if (line.privateProfile)
            out += u" private"_s;
        if (line.newInstance)
            out += u" new"_s;
        if (!line.engineArguments.isEmpty())
            out += u" engine["_s + line.engineArguments.join(u',') + u']';
        return out;
    }
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const QString q = u"/usr/bin/quillow"_s;
        QTest::newRow("plain start") << QStringList{q} << u"run []"_s;
        QTest::newRow("addresses in order, empty ones left out")
            << QStringList{q, u"b.test"_s, u""_s, u"a.html"_s} << u"run [b.test,a.html]"_s;
        QTest::newRow("switches anywhere")
            << QStringList{q, u"a.test"_s, u"--private"_s, u"--new-instance"_s}
            << u"run [a.test] private new"_s;
        QTest::newRow("help wins") << QStringList{q, u"a.test"_s, u"-h"_s} << u"help [a.test]"_s;
        QTest::newRow("version") << QStringList{q, u"--version"_s} << u"version []"_s;
        QTest::newRow("unknown option") << QStringList{q, u"--bogus"_s, u"a.test"_s} << u"error"_s;
        QTest::newRow("toolkit options let through") << QStringList{q,
                                                                    u"-platform"_s,
                                                                    u"offscreen"_s,
                                                                    u"-style=fusion"_s,
                                                                    u"--reverse"_s,
                                                                    u"a.test"_s}
                                                     << u"run [a.test]"_s;
        QTest::newRow("engine switches untouched")
            << QStringList{q, u"a.test"_s, u"--webEngineArgs"_s, u"--bogus"_s, u"b.test"_s}
            << u"run [a.test] engine[--webEngineArgs,--bogus,b.test]"_s;
        QTest::newRow("-- ends the options")
            << QStringList{q, u"--"_s, u"--private"_s} << u"run [--private]"_s;
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        const CommandLine line = parseCommandLine(arguments);
        QTEST(described(line), "expected");
        QVERIFY(line.helpText.startsWith(u"Usage: quillow [options] [address-or-file...]\n"_s));
    }

    void addressOfArgument_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("address");
        QTest::newRow("file here") << u"page.html"_s << u"/w/d/page.html"_s;
        QTest::newRow("file above") << u"../up.html"_s << u"/w/up.html"_s;
        QTest::newRow("folder") << u"."_s << u"/w/d"_s;
        QTest::newRow("no such file") << u"example.com"_s << u"example.com"_s;
        QTest::newRow("web address") << u"http://a.test/x?y"_s << u"http://a.test/x?y"_s;
    }
    void addressOfArgument() {
        QFETCH(QString, argument);
        const QStringList existing = {u"/w/d"_s, u"/w/d/page.html"_s, u"/w/up.html"_s};
        QTEST(quillow::addressOfArgument(argument, u"/w/d"_s,
                                         [&](const QString &p) { return existing.contains(p); }),
              "address");
    }

    void handOverMessage_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("decoded");
        QTest::addColumn<QStringList>("addresses");
        using D = HandOver::Decoded;
        const int complete = int(D::Complete), incomplete = int(D::Incomplete),
                  invalid = int(D::Invalid);
        const QStringList two = {u"http://a.test/"_s, u"/tmp/b \u00e9.html"_s};
        const QByteArray whole = HandOver::encode(two);
        QByteArray tooLong = HandOver::encode({});
        tooLong[tooLong.size() - 3] = 0x10;  // a length of about a megabyte
        QByteArray noEnd = HandOver::encode({u"ab"_s});
        noEnd.chop(1);
        noEnd += 'c';
        QTest::newRow("two addresses") << whole << complete << two;
        QTest::newRow("cut in the header") << whole.left(17) << incomplete << QStringList{};
        QTest::newRow("cut in an address") << whole.chopped(3) << incomplete << QStringList{};
        QTest::newRow("something else")
            << QByteArray("GET / HTTP/1.1\r\n") << invalid << QStringList{};
        QTest::newRow("longer than taken") << tooLong << invalid << QStringList{};
        QTest::newRow("more than it said") << whole + 'x' << invalid << QStringList{};
        QTest::newRow("address not ended") << noEnd << invalid << QStringList{};
    }
    void handOverMessage() {
        QFETCH(QByteArray, message);
        QStringList addresses;
        QTEST(int(HandOver::decode(message, &addresses)), "decoded");
        QTEST(addresses, "addresses");
    }

    void addressesOpenInTheirOwnWindows() {
        Harness h;
        MainWindow *primary = h.startWithPrimary();
        h.program().openAtStart(primary, {u"a.test"_s, u"b.test"_s});
        h.program().openHandedOver({});
        const QList<MainWindow *> windows = h.windows().mainWindows();
        QCOMPARE(windows.size(), 3);
        QCOMPARE(h.windows().primary(), primary);
        const QStringList blank = {u"navigate:about:blank"_s};
        QCOMPARE(h.browsers.at(0)->navigations(), blank + QStringList{u"navigate:a.test"_s});
        QCOMPARE(h.browsers.at(1)->navigations(), blank + QStringList{u"navigate:b.test"_s});
        QCOMPARE(h.browsers.at(2)->navigations(), blank);
        QVERIFY(windows.at(1)->isVisible() && windows.at(2)->isVisible());
        QVERIFY(h.questions.asked.isEmpty());
    }

    // Every control has a name; a label's is the text it shows, also after
    // it changed (so the change reaches a reader); every caption fits.
    void everyWindowReadsAndFits() {
        Primary p;
        p.primary->runCommand(Command::Favorites);  // the favorites panel too
        const QList<QWidget *> windows = {p.primary, p.open<SearchDialog>(), p.open<HtmlWindow>(),
                                          p.open<AboutWindow>()};
        for (QWidget *w : windows) {
            QCOMPARE(unnamed(w).join(QLatin1Char(' ')), QString());
            QCOMPARE(clipped(w).join(QLatin1Char(' ')), QString());
        }

        emit p.page->statusTextChanged(u"Opening"_s);
        emit p.page->navigationCompleted(u"about:blank"_s);
        p.transfers[0]->report(InternetTransfer::State::ResponseReceived);
        for (const char *name : {"panel(1)", "panel(2)", "simpletext", "onoff"}) {
            auto *label = child<QLabel>(p.primary, QString::fromLatin1(name));
            QVERIFY(!label->text().isEmpty());
            QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                     label->text());
        }
        QCOMPARE(
            QAccessible::queryAccessibleInterface(addressBox(p.primary))->text(QAccessible::Name),
            u"Address"_s);
    }
};

QTEST_MAIN(ProgramTest)
#include "test_program.moc"
