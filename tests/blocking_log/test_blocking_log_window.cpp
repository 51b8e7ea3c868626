// The Blocked Requests window: each entry's texts, the one window the
// program keeps for every page's record, and an empty record.

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

Q_DECLARE_METATYPE(quillow::BlockingEntry::Action)
Q_DECLARE_METATYPE(quillow::filter::RequestKind)

namespace {

BlockingEntry entry(Action action, RequestKind kind, const QString &address,
                    const QString &detail = {}, const QString &rule = u"||ads.test^"_s) {
    BlockingEntry e;
    e.action = action;
    e.kind = kind;
    e.address = address;
    e.detail = detail;
    e.rule = rule;
    e.list = rule.isEmpty() ? QString() : u"mine.txt"_s;
    return e;
}

}  // namespace

class TestBlockingLogWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<Primary> p;

    BlockingLogWindow *window() const { return p->windows().find<BlockingLogWindow>(); }
    QTreeWidget *entries() const { return child<QTreeWidget>(window(), u"entries"_s); }
    QString summary() const { return child<QLabel>(window(), u"summary"_s)->text(); }
    QStringList row(int index) const {
        QStringList texts;
        const QTreeWidgetItem *item = entries()->topLevelItem(index);
        for (int column = 0; item && column < item->columnCount(); ++column)
            texts.append(item->text(column));
        return texts;
    }

private slots:
    void entryTexts_data() {
        QTest::addColumn<Action>("action");
        QTest::addColumn<RequestKind>("kind");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("kindName");
        QTest::addColumn<QString>("ruleShown");
        QTest::newRow("refused") << Action::Refused << RequestKind::Image << QString()
                                 << u"||ads.test^"_s << u"Refused"_s << u"Image"_s
                                 << u"||ads.test^"_s;
        QTest::newRow("redirected names the resource")
            << Action::Redirected << RequestKind::Script << u"noop.js"_s
            << u"||ads.test^$redirect=noop.js"_s << u"Answered with noop.js"_s << u"Script"_s
            << u"||ads.test^$redirect=noop.js"_s;
        QTest::newRow("cleaned names the address sent to")
            << Action::Cleaned << RequestKind::Document << u"http://a.test/?id=2"_s
            << u"$removeparam=utm_source"_s
            << u"Sent without tracking parameters to http://a.test/?id=2"_s << u"Page"_s
            << u"$removeparam=utm_source"_s;
        QTest::newRow("scriptlet")
            << Action::ScriptletApplied << RequestKind::Document
            << u"a.test##+js(set-constant, a, 1)"_s << u"a.test##+js(set-constant, a, 1)"_s
            << u"Scriptlet applied: a.test##+js(set-constant, a, 1)"_s << u"Page"_s
            << u"a.test##+js(set-constant, a, 1)"_s;
        QTest::newRow("rule gone from the lists")
            << Action::Refused << RequestKind::XmlHttpRequest << QString() << QString()
            << u"Refused"_s << u"Data request"_s << u"(no longer in the lists)"_s;
    }
    void entryTexts() {
        QFETCH(Action, action);
        QFETCH(RequestKind, kind);
        QFETCH(QString, detail);
        QFETCH(QString, rule);
        const EntryTexts texts =
            BlockingLogTexts::of(entry(action, kind, u"http://ads.test/x"_s, detail, rule));
        QTEST(texts.what, "what");
        QTEST(texts.kind, "kindName");
        QTEST(texts.rule, "ruleShown");
        QCOMPARE(texts.address, u"http://ads.test/x"_s);
        QCOMPARE(texts.list, rule.isEmpty() ? QString() : u"mine.txt"_s);
    }

    void init() { p = std::make_unique<Primary>(); }
    void cleanup() { p.reset(); }

    // One window for every record: a later one replaces what it shows, and
    // an empty one says that nothing was done. Escape closes it, as does
    // its Close button.
    void oneWindowShowsTheLatestRecord() {
        const QString page = u"http://news.test/"_s;
        const BlockingRecord two{
            page,
            {entry(Action::Refused, RequestKind::Image, u"http://ads.test/a.png"_s),
             entry(Action::Redirected, RequestKind::Script, u"http://ads.test/a.js"_s, u"noop.js"_s,
                   u"||ads.test^$script,redirect=noop.js"_s)}};
        p->program().showBlockingRecord(two);
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        QCOMPARE(summary(), u"Content blocking acted on 2 requests of http://news.test/:"_s);
        QCOMPARE(entries()->topLevelItemCount(), 2);
        QCOMPARE(row(0), QStringList({u"Refused"_s, u"Image"_s, u"http://ads.test/a.png"_s,
                                      u"||ads.test^"_s, u"mine.txt"_s}));
        QCOMPARE(row(1),
                 QStringList({u"Answered with noop.js"_s, u"Script"_s, u"http://ads.test/a.js"_s,
                              u"||ads.test^$script,redirect=noop.js"_s, u"mine.txt"_s}));
        QVERIFY(entries()->isVisible());

        BlockingLogWindow *first = window();
        p->program().showBlockingRecord({u"http://quiet.test/"_s, {}});
        QCOMPARE(window(), first);
        QCOMPARE(entries()->topLevelItemCount(), 0);
        QVERIFY(!entries()->isVisible());
        QCOMPARE(summary(), u"Content blocking has done nothing on http://quiet.test/."_s);

        const QPointer<BlockingLogWindow> closing(window());
        QTest::keyClick(window(), Qt::Key_Escape);
        QTRY_VERIFY(closing.isNull());
        p->program().showBlockingRecord(two);
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        const QPointer<BlockingLogWindow> again(window());
        QTest::mouseClick(child<QPushButton>(window(), u"close"_s), Qt::LeftButton);
        QTRY_VERIFY(again.isNull());
    }
};

QTEST_MAIN(TestBlockingLogWindow)
#include "test_blocking_log_window.moc"
