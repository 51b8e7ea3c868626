// The Blocked Requests window: each entry's texts, and the one window the
// program keeps for every page's record.

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "blocking_log/blocking_log_window.h"
#include "blocking_log/entry_texts.h"
#include "harness.h"

using namespace quillow;
using namespace quillow::test;
using Action = BlockingEntry::Action;
using filter::RequestKind;

class TestBlockingLogWindow : public QObject {
    Q_OBJECT

private slots:
    // What, kind and rule of an entry, joined by "|".
    void entryTexts_data() {
        QTest::addColumn<BlockingEntry>("entry");
        QTest::addColumn<QString>("texts");
        const auto row = [](const char *name, Action action, RequestKind kind,
                            const QString &detail, const QString &rule, const QString &texts) {
            QTest::newRow(name) << BlockingEntry{action, kind, u"http://ads.test/x"_s,
                                                 detail, rule, u"mine.txt"_s}
                                << texts;
        };
        row("refused", Action::Refused, RequestKind::Image, {}, u"||ads.test^"_s,
            u"Refused|Image|||ads.test^"_s);
        row("redirected", Action::Redirected, RequestKind::Script, u"noop.js"_s, u"r"_s,
            u"Answered with noop.js|Script|r"_s);
        row("cleaned", Action::Cleaned, RequestKind::Document, u"http://a.test/?id=2"_s, u"r"_s,
            u"Sent without tracking parameters to http://a.test/?id=2|Page|r"_s);
        row("scriptlet", Action::ScriptletApplied, RequestKind::Document,
            u"a.test##+js(set-constant, a, 1)"_s, u"r"_s,
            u"Scriptlet applied: a.test##+js(set-constant, a, 1)|Page|r"_s);
        row("rule gone from the lists", Action::Refused, RequestKind::XmlHttpRequest, {}, {},
            u"Refused|Data request|(no longer in the lists)"_s);
    }
    void entryTexts() {
        QFETCH(BlockingEntry, entry);
        const EntryTexts texts = BlockingLogTexts::of(entry);
        QTEST(QStringList({texts.what, texts.kind, texts.rule}).join(u'|'), "texts");
    }

    // One window for every record: a later one replaces what it shows, and
    // an empty one says that nothing was done. Escape closes it, as does
    // its Close button.
    void oneWindowShowsTheLatestRecord() {
        Primary p;
        const auto window = [&p] { return p.windows().find<BlockingLogWindow>(); };
        const auto entries = [&] { return child<QTreeWidget>(window(), u"entries"_s); };
        const auto summary = [&] { return child<QLabel>(window(), u"summary"_s)->text(); };
        const BlockingRecord one{
            u"http://news.test/"_s,
            {{Action::Redirected, RequestKind::Script, u"http://ads.test/a.js"_s, u"noop.js"_s,
              u"||ads.test^$redirect=noop.js"_s, u"mine.txt"_s}}};
        p.program().showBlockingRecord(one);
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        QCOMPARE(summary(), u"Content blocking acted on one request of http://news.test/:"_s);
        QCOMPARE(entries()->topLevelItemCount(), 1);
        const QTreeWidgetItem *item = entries()->topLevelItem(0);
        QCOMPARE(QStringList(
                     {item->text(0), item->text(1), item->text(2), item->text(3), item->text(4)}),
                 QStringList({u"Answered with noop.js"_s, u"Script"_s, u"http://ads.test/a.js"_s,
                              u"||ads.test^$redirect=noop.js"_s, u"mine.txt"_s}));

        const QPointer<BlockingLogWindow> first(window());
        p.program().showBlockingRecord({u"http://quiet.test/"_s, {}});
        QCOMPARE(window(), first.data());
        QVERIFY(entries()->topLevelItemCount() == 0 && !entries()->isVisible());
        QCOMPARE(summary(), u"Content blocking has done nothing on http://quiet.test/."_s);
        QTest::keyClick(window(), Qt::Key_Escape);
        QTRY_VERIFY(first.isNull());

        p.program().showBlockingRecord(one);
        const QPointer<BlockingLogWindow> again(window());
        QVERIFY(QTest::qWaitForWindowExposed(again));
        QTest::mouseClick(child<QPushButton>(again, u"close"_s), Qt::LeftButton);
        QTRY_VERIFY(again.isNull());
    }
};

QTEST_MAIN(TestBlockingLogWindow)
#include "test_blocking_log_window.moc"
