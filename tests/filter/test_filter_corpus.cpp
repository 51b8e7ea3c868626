// The engine against uBlock Origin's verdicts on the corpus of bench/data/,
// when the installed lists are the ones the corpus was made from.

#include <QtTest>

#include "filter/filter_engine.h"
#include "filter_corpus.h"

using namespace quillow;

class FilterCorpusTest : public QObject {
    Q_OBJECT
private slots:
    void agreesWithUblockOrigin() {
        test::Corpus corpus;
        QVERIFY(test::readCorpus(QStringLiteral(QUILLOW_FILTER_CORPUS), corpus));
        std::vector<std::string> lists;
        std::string suffixes;
        for (const auto &[name, sha256] : corpus.files) {
            const QString path = test::installedCopy(name, sha256);
            if (path.isEmpty())
                QSKIP(qPrintable(name + QStringLiteral(" is not installed as the corpus was "
                                                       "made: agreement not checked")));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            (name.endsWith(u".dat") ? suffixes : lists.emplace_back()) =
                file.readAll().toStdString();
        }
        const auto engine = filter::FilterEngine::build(
            {lists.begin(), lists.end()}, filter::PublicSuffixList::fromText(suffixes));
        std::size_t blocked = 0, blockedBoth = 0, allowed = 0, allowedBoth = 0;
        for (const test::CorpusRequest &r : corpus.requests) {
            const bool ours = engine->decide(r.url, r.page, r.kind).blocked;
            (r.blocked ? blocked : allowed) += 1;
            (r.blocked ? blockedBoth : allowedBoth) += ours == r.blocked;
        }
        qInfo("agreement: %.3f%% of %zu blocked, %.3f%% of %zu allowed",
              100.0 * double(blockedBoth) / double(blocked), blocked,
              100.0 * double(allowedBoth) / double(allowed), allowed);
        QVERIFY(blocked > 50000 && allowed > 50000);
        QVERIFY(double(blockedBoth) >= 0.9998 * double(blocked));
        QVERIFY(double(allowedBoth) >= 0.9998 * double(allowed));
    }
};

QTEST_GUILESS_MAIN(FilterCorpusTest)
#include "test_filter_corpus.moc"
