// The engine against uBlock Origin's answers on the corpora of bench/data/
// (EasyList and EasyPrivacy; uBlock Origin's eight default lists), when the
// installed lists are the ones a corpus was made from: blocked or not, the
// neutral resource a blocked request gets, the address a passing one goes
// to without the parameters the lists take off.

#include <QtTest>

#include "filter/filter_engine.h"
#include "filter_corpus.h"

using namespace quillow;

class FilterCorpusTest : public QObject {
    Q_OBJECT
private slots:
    void agreesWithUblockOrigin_data() {
        QTest::addColumn<QString>("corpus");
        QTest::newRow("EasyList and EasyPrivacy")
            << QStringLiteral(QUILLOW_BENCH_DATA "/filter_corpus.tsv.gz");
        QTest::newRow("the eight default lists")
            << QStringLiteral(QUILLOW_BENCH_DATA "/filter_corpus_default.tsv.gz");
    }
    void agreesWithUblockOrigin() {
        QFETCH(QString, corpus);
        test::Corpus c;
        QVERIFY(test::readCorpus(corpus, c));
        std::vector<std::string> lists;
        std::string suffixes;
        for (const auto &[name, sha256] : c.files) {
            const QString path = test::installedCopy(name, sha256);
            if (path.isEmpty())
                QSKIP(qPrintable(name + QStringLiteral(" is not installed as the corpus was "
                                                       "made: agreement not checked")));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            (name.endsWith(u".dat") ? suffixes : lists.emplace_back()) =
                file.readAll().toStdString();
        }
        const auto resources = test::installedResources();
        QVERIFY(!resources.empty());
        const auto engine = filter::FilterEngine::build(
            {lists.begin(), lists.end()}, filter::PublicSuffixList::fromText(suffixes), {},
            resources);
        test::Agreement agreement(resources);
        for (const test::CorpusRequest &r : c.requests)
            if (!r.leftOut)
                agreement.add(c, r, engine->decide(r.url, r.page, r.kind));
        qInfo("agreement: %s", agreement.summary().c_str());
        QVERIFY(agreement.blockedCount() > 50000 && agreement.allowedCount() > 50000);
        for (const double agreed :
             {agreement.blocked(), agreement.allowed(), agreement.resources(), agreement.cleaned()})
            QVERIFY(agreed >= 99.9);
    }
};

QTEST_GUILESS_MAIN(FilterCorpusTest)
#include "test_filter_corpus.moc"
