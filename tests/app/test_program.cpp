// The program as a whole: where its files live, its command line, the
// message a later start hands over, where handed addresses open, and that a
// screen reader can name every control of every window.

#include <QAccessible>
#include <QLabel>
#include <QPushButton>

#include "app/command_line.h"
#include "app/file_locations.h"
#include "app/hand_over.h"
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
        QTest::newRow("installed, no home")
            << u"/usr/bin"_s << QString() << QString() << QStringList{entry} << u"    "_s;
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

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");  // action, addresses, switches
        QTest::newRow("addresses in order, empty ones out, switches anywhere, toolkit's let by")
            << QStringList{u"b.test"_s,    u""_s,       u"--private"_s,     u"-platform"_s,
                           u"offscreen"_s, u"a.html"_s, u"--new-instance"_s}
            << u"0 b.test,a.html private new"_s;
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

    // Every control has a name; a label's is the text it shows, also after
    // it changed (so the change reaches a reader); every caption fits.
    void everyWindowReadsAndFits() {
        Primary p;
        p.primary->runCommand(Command::Favorites);  // the favorites panel too
        for (QWidget *w : QList<QWidget *>{p.primary, p.open<SearchDialog>(), p.open<HtmlWindow>(),
                                           p.open<AboutWindow>()})
            QCOMPARE(unreadable(w).join(u' '), QString());
        emit p.page->statusTextChanged(u"Opening"_s);
        emit p.page->navigationCompleted(u"about:blank"_s);
        p.transfers[0]->report(InternetTransfer::State::ResponseReceived);
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
