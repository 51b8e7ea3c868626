// The engine against uBlock Origin's answers on the corpora of bench/data/
// (EasyList and EasyPrivacy; uBlock Origin's eight default lists), when the
// installed lists are the ones a corpus was made from: blocked or not, the
// neutral resource a blocked request gets, the address a passing one goes
// to without the parameters the lists take off.

#include <QtTest>
#include <map>

#include "filter/filter_engine.h"
#include "filter/redirect_resources.h"
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
        QFile script(QStringLiteral(
            "/usr/share/chromium/extensions/ublock-origin/js/redirect-resources.js"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        const auto resources = filter::redirectResourceNames(script.readAll().toStdString());
        std::map<std::string, std::string, std::less<>> fileOf;
        for (const filter::ResourceName &r : resources)
            fileOf[r.name] = r.file;
        const auto engine = filter::FilterEngine::build(
            {lists.begin(), lists.end()}, filter::PublicSuffixList::fromText(suffixes), {},
            resources);
        // Of what uBlock Origin blocks and allows, how much the same; of the
        // resources and cleaned addresses it gives, how many the same.
        std::size_t counts[2][2] = {};  // [blocked][agreed]
        std::size_t redirects[2] = {}, cleaned[2] = {};
        for (const test::CorpusRequest &r : c.requests) {
            if (r.leftOut)
                continue;
            const filter::Verdict v = engine->decide(r.url, r.page, r.kind);
            ++counts[r.blocked][v.blocked == r.blocked];
            const bool page =
                r.kind == filter::RequestKind::Document || r.kind == filter::RequestKind::Popup;
            const auto file = fileOf.find(v.resource);
            const std::string resource =
                !page && file != fileOf.end() ? file->second : std::string();
            if (!c.modifiers)
                continue;
            if (r.blocked && (!r.resource.empty() || !resource.empty()))
                ++redirects[resource == r.resource];
            const std::string cleanedUrl(r.kind == filter::RequestKind::Popup ? std::string_view()
                                                                              : v.cleanedUrl);
            if (!r.blocked && (!r.cleaned.empty() || !cleanedUrl.empty()))
                ++cleaned[cleanedUrl == r.cleaned];
        }
        const auto share = [](const std::size_t(&n)[2]) {
            return n[0] + n[1] ? 100.0 * double(n[1]) / double(n[0] + n[1]) : 100.0;
        };
        qInfo(
            "agreement: %.3f%% of %zu blocked, %.3f%% of %zu allowed, %.3f%% of %zu "
            "resources, %.3f%% of %zu cleaned addresses",
            share(counts[1]), counts[1][0] + counts[1][1], share(counts[0]),
            counts[0][0] + counts[0][1], share(redirects), redirects[0] + redirects[1],
            share(cleaned), cleaned[0] + cleaned[1]);
        QVERIFY(counts[1][1] > 50000 && counts[0][1] > 50000);
        for (const double agreed :
             {share(counts[1]), share(counts[0]), share(redirects), share(cleaned)})
            QVERIFY(agreed >= 99.9);
    }
};

QTEST_GUILESS_MAIN(FilterCorpusTest)
#include "test_filter_corpus.moc"
