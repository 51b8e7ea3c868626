// The filter engine against its goals: the lists a corpus was made from
// (EasyList and EasyPrivacy, or uBlock Origin's eight default lists) loaded
// from the lists and from the compiled cache, the memory they hold, the
// time per request over the corpus, and agreement with the answers stored
// beside it: blocked or not, neutral resources, cleaned addresses.
//
//   filter_lists CORPUS.tsv.gz [LIST...]

#include <malloc.h>
#include <QFile>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "files/private_files.h"
#include "filter/cache_format.h"
#include "filter/filter_engine.h"
#include "filter/list_reader.h"
#include "filter/rule_parser.h"
#include "filter/scriptlet_library.h"
#include "filter_corpus.h"

using namespace quillow::filter;
using Clock = std::chrono::steady_clock;

namespace {

// The process's own memory (not the pages of files it maps), in KiB.
long anonymousKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').first().toLong();
    return 0;
}

// The compiled lists' file as the program reads it: mapped.
class MappedCache : public CacheBytes {
public:
    explicit MappedCache(std::unique_ptr<quillow::files::MappedFile> file)
        : file_(std::move(file)) {}
    std::string_view bytes() const override { return file_->bytes(); }

private:
    std::unique_ptr<quillow::files::MappedFile> file_;
};

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string readFile(const char *path) {
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", path);
        std::exit(2);
    }
    return f.readAll().toStdString();
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: filter_lists CORPUS.tsv.gz [LIST...]\n");
        return 2;
    }
    const bool showDisagreements = qEnvironmentVariableIsSet("FILTER_BENCH_SHOW");

    // The corpus first, so its memory is in place before the lists come.
    quillow::test::Corpus read;
    if (!quillow::test::readCorpus(QString::fromLocal8Bit(argv[1]), read)) {
        std::fprintf(stderr, "cannot read the corpus %s\n", argv[1]);
        return 2;
    }
    std::vector<quillow::test::CorpusRequest> corpus;
    for (quillow::test::CorpusRequest &r : read.requests)
        if (!r.leftOut)
            corpus.push_back(std::move(r));
    const auto resources = quillow::test::installedResources();
    // The lists named on the command line, or those the corpus was made
    // from, with the suffix list made beside them when it is installed.
    std::vector<std::string> listPaths;
    std::string suffixPath = PublicSuffixList::defaultPath();
    for (int i = 2; i < argc; ++i)
        listPaths.emplace_back(argv[i]);
    for (const auto &[name, sha256] : read.files) {
        const QString path = quillow::test::installedCopy(name, sha256);
        if (path.isEmpty())
            std::printf("%s: not the copy the corpus was made from\n", qPrintable(name));
        else if (name.endsWith(u".dat"))
            suffixPath = path.toStdString();
        else if (argc == 2)
            listPaths.push_back(path.toStdString());
    }
    read.requests.clear();
    std::printf("corpus: %zu requests\n", corpus.size());
    // The eight lists are allowed more than EasyList and EasyPrivacy.
    const bool eight = listPaths.size() > 2;
    const double loadGoal = eight ? 500 : 300, cacheGoal = eight ? 40 : 30,
                 memoryGoal = eight ? 40 : 30;

    const std::string suffixText = readFile(suffixPath.c_str());
    malloc_trim(0);
    const long before = anonymousKiB();

    // Load from the lists, three times; the median counts.
    std::vector<double> loads;
    std::unique_ptr<FilterEngine> engine;
    std::vector<std::string> texts;
    for (int round = 0; round < 3; ++round) {
        engine.reset();
        texts.clear();
        malloc_trim(0);
        const auto start = Clock::now();
        for (const std::string &path : listPaths)
            texts.push_back(readFile(path.c_str()));
        std::vector<std::string_view> views(texts.begin(), texts.end());
        engine = FilterEngine::build(views, PublicSuffixList::fromText(suffixText), {}, resources);
        loads.push_back(msSince(start));
    }
    std::sort(loads.begin(), loads.end());
    malloc_trim(0);
    const long afterLists = anonymousKiB();
    const FilterStats &stats = engine->stats();
    std::printf("rules: %zu network, %zu element hiding, %zu unsupported, %zu unreadable\n",
                stats.networkRules, stats.cosmeticRules, stats.unsupported, stats.invalid);
    // The scriptlets' library as the program keeps it in its cache (a line
    // naming the package's files, then the library), when given.
    const QByteArray libraryPath = qgetenv("FILTER_BENCH_SCRIPTLETS");
    std::string libraryFile =
        libraryPath.isEmpty() ? std::string() : readFile(libraryPath.constData());
    const ScriptletLibrary library = ScriptletLibrary::fromJson(
        std::string_view(libraryFile).substr(std::min(libraryFile.find('\n'), libraryFile.size())));
    if (!libraryPath.isEmpty())
        std::printf("scriptlet library: %zu scriptlets and helpers\n", library.size());
    // What each list holds that is applied, and what is skipped, by why.
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto alone = FilterEngine::build({texts[i]}, PublicSuffixList::fromText(suffixText));
        const FilterStats &s = alone->stats();
        std::printf("  %s: %zu network, %zu element hiding, %zu unreadable, %zu skipped",
                    listPaths[i].c_str(), s.networkRules, s.cosmeticRules, s.invalid,
                    s.unsupported);
        for (std::size_t r = 0; r < kSkipReasonCount; ++r)
            if (s.skipped[r])
                std::printf(", %zu %s", s.skipped[r], skipReasonName(SkipReason(r)));
        std::printf("\n");
        // Its scriptlet rules for some sites: those the library runs, and
        // those it lacks (the package's lists are trusted with every one).
        std::size_t kept = 0, applied = 0;
        ListReader reader(texts[i]);
        std::string_view line;
        std::uint32_t number = 0;
        NetworkRule network;
        CosmeticRule rule;
        while (reader.next(line, number))
            if (parseRule(line, network, rule) == RuleType::Cosmetic && rule.scriptlet &&
                !rule.exception && !rule.domains.empty()) {
                ++kept;
                applied += !library.codeFor({rule.selector}).empty();
            }
        if (kept)
            std::printf("    scriptlets for some sites: %zu, %s\n", kept,
                        library.empty() ? "no library given (FILTER_BENCH_SCRIPTLETS)"
                                        : (std::to_string(applied) + " applied, " +
                                           std::to_string(kept - applied) + " the library lacks")
                                              .c_str());
    }
    std::printf("load from the lists: %.0f ms (median of 3; goal < %.0f ms)\n", loads[1], loadGoal);

    const std::string cachePath = "/tmp/quillow-filter-bench.cache";
    std::size_t cacheSize = 0;
    {
        const std::string cache = engine->serialize("bench");
        cacheSize = cache.size();
        QFile out(QString::fromStdString(cachePath));
        out.open(QIODevice::WriteOnly);
        out.write(cache.data(), qint64(cache.size()));
    }
    std::vector<double> cacheLoads;
    for (int round = 0; round < 5; ++round) {
        engine.reset();
        malloc_trim(0);
        const auto start = Clock::now();
        engine = FilterEngine::deserialize(
            std::make_shared<MappedCache>(quillow::files::MappedFile::open(
                QString::fromStdString(cachePath), qint64(1) << 30)),
            "bench");
        cacheLoads.push_back(msSince(start));
    }
    // Mapped, the file stays while the engine reads it.
    QFile::remove(QString::fromStdString(cachePath));
    std::sort(cacheLoads.begin(), cacheLoads.end());
    malloc_trim(0);
    const long afterCache = anonymousKiB();
    std::printf("load from the cache (%.1f MiB): %.1f ms (median of 5; goal < %.0f ms)\n",
                double(cacheSize) / 1048576.0, cacheLoads[2], cacheGoal);
    std::printf(
        "memory of the program's own: +%.1f MiB after the lists, +%.1f MiB from the cache "
        "(goal <= %.0f MiB)\n",
        double(afterLists - before) / 1024.0, double(afterCache - before) / 1024.0, memoryGoal);

    // Agreement, then time per request from the request's address. A
    // disagreement names the rules that decided ours.
    const auto ruleText = [&](RuleRef rule) {
        if (!rule.found())
            return std::string("-");
        return std::string(lineOfList(texts[rule.list], rule.line)) + " (" + listPaths[rule.list] +
               ":" + std::to_string(rule.line) + ")";
    };
    quillow::test::Agreement agreement(resources);
    int shown = 0;
    for (const quillow::test::CorpusRequest &r : corpus) {
        // From the addresses as uBlock Origin saw them: the corpus's carry
        // fragments no request sends, which the web engine's QUrl drops.
        const Verdict verdict = engine->decide(r.url, r.page, r.kind);
        if (!agreement.add(read, r, verdict) && showDisagreements && shown++ < 200)
            std::fprintf(stderr, "%s %s %s\t%d\t%s\t%s\n\trule: %s\n\texception: %s\n",
                         r.blocked ? "block" : "allow", r.resource.c_str(), r.cleaned.c_str(),
                         int(r.kind), r.page.c_str(), r.url.c_str(), ruleText(verdict.rule).c_str(),
                         ruleText(verdict.exception).c_str());
    }
    std::printf("agreement: %s (goal >= 99.9%% each)\n", agreement.summary().c_str());

    std::vector<double> times;
    times.reserve(corpus.size() * 3);
    std::size_t sink = 0;
    // The web engine makes a request's address (and its page's) just before
    // it asks: so are they made here, untimed, fresh in the cache as there.
    for (int round = 0; round < 3; ++round) {
        for (const quillow::test::CorpusRequest &e : corpus) {
            const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(e.url));
            const QUrl page = QUrl::fromEncoded(QByteArray::fromStdString(e.page));
            const auto start = Clock::now();
            sink += engine->decide(url, page, e.kind).blocked;
            times.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    std::sort(times.begin(), times.end());
    std::vector<double> textTimes;
    textTimes.reserve(corpus.size());
    for (const quillow::test::CorpusRequest &e : corpus) {
        const std::string url = e.url;
        const std::string page = e.page;
        const auto start = Clock::now();
        sink += engine->decide(url, page, e.kind).blocked;
        textTimes.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(textTimes.begin(), textTimes.end());
    std::printf(
        "  of which the index, from the encoded address: median %.2f us, 99th "
        "percentile %.2f us\n",
        textTimes[textTimes.size() / 2], textTimes[textTimes.size() * 99 / 100]);
    std::printf(
        "per request (%zu timed, verdict sum %zu): median %.2f us, 99th percentile "
        "%.2f us (goal <= 1 us, <= 5 us)\n",
        times.size(), sink, times[times.size() / 2], times[times.size() * 99 / 100]);
    // The regular expressions' caches have grown by now, as in a long
    // session's browsing.
    malloc_trim(0);
    std::printf("memory of the program's own after deciding the corpus: +%.1f MiB\n",
                double(anonymousKiB() - before) / 1024.0);
    return 0;
}
