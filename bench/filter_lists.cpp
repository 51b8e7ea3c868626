// The filter engine against its goals: EasyList and EasyPrivacy loaded from
// the lists and from the compiled cache, the memory they hold, the time per
// request over a corpus of requests, and agreement with the verdicts stored
// beside the corpus.
//
//   filter_lists CORPUS.tsv.gz [easylist.txt easyprivacy.txt ...]

#include <malloc.h>
#include <QFile>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "filter/filter_engine.h"
#include "filter/rule_parser.h"

using namespace quillow::filter;
using Clock = std::chrono::steady_clock;

namespace {

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

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

struct Entry {
    bool blocked;
    RequestKind kind;
    QUrl page;
    QUrl url;
    std::string pageText;
    std::string urlText;
};

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: filter_lists CORPUS.tsv.gz [LIST...]\n");
        return 2;
    }
    std::vector<const char *> listPaths;
    for (int i = 2; i < argc; ++i)
        listPaths.push_back(argv[i]);
    if (listPaths.empty()) {
        listPaths = {
            "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist/"
            "easylist.txt",
            "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist/"
            "easyprivacy.txt"};
    }
    const bool showDisagreements = qEnvironmentVariableIsSet("FILTER_BENCH_SHOW");

    // The corpus first, so its memory is in place before the lists come.
    std::vector<Entry> corpus;
    {
        const std::string command = std::string("gzip -dc '") + argv[1] + "'";
        FILE *in = popen(command.c_str(), "r");
        char *line = nullptr;
        size_t capacity = 0;
        ssize_t length;
        while (in && (length = getline(&line, &capacity, in)) > 0) {
            std::string_view l(line, std::size_t(length));
            if (l.back() == '\n')
                l.remove_suffix(1);
            if (l.empty() || l.front() == '#')
                continue;
            std::string_view fields[4];
            for (int f = 0; f < 3; ++f) {
                const std::size_t tab = l.find('\t');
                fields[f] = l.substr(0, tab);
                l.remove_prefix(tab == std::string_view::npos ? l.size() : tab + 1);
            }
            fields[3] = l;
            Entry e;
            e.blocked = fields[0] == "block";
            if (!requestKindFromName(fields[1], e.kind))
                continue;
            e.pageText = std::string(fields[2]);
            e.urlText = std::string(fields[3]);
            e.page = QUrl::fromEncoded(QByteArray::fromStdString(e.pageText));
            e.url = QUrl::fromEncoded(QByteArray::fromStdString(e.urlText));
            corpus.push_back(std::move(e));
        }
        free(line);
        if (in)
            pclose(in);
    }
    std::printf("corpus: %zu requests\n", corpus.size());

    const std::string suffixText = readFile(PublicSuffixList::defaultPath());
    malloc_trim(0);
    const long before = residentKiB();

    // Load from the lists, three times; the median counts.
    std::vector<double> loads;
    std::unique_ptr<FilterEngine> engine;
    std::vector<std::string> texts;
    for (int round = 0; round < 3; ++round) {
        engine.reset();
        texts.clear();
        malloc_trim(0);
        const auto start = Clock::now();
        for (const char *path : listPaths)
            texts.push_back(readFile(path));
        std::vector<std::string_view> views(texts.begin(), texts.end());
        engine = FilterEngine::build(views, PublicSuffixList::fromText(suffixText));
        loads.push_back(msSince(start));
    }
    std::sort(loads.begin(), loads.end());
    malloc_trim(0);
    const long afterLists = residentKiB();
    const FilterStats &stats = engine->stats();
    std::printf("rules: %zu network, %zu element hiding, %zu unsupported, %zu unreadable\n",
                stats.networkRules, stats.cosmeticRules, stats.unsupported, stats.invalid);
    std::printf("load from the lists: %.0f ms (median of 3; goal < 300 ms)\n", loads[1]);

    const std::string cache = engine->serialize("bench");
    const std::string cachePath = "/tmp/quillow-filter-bench.cache";
    {
        QFile out(QString::fromStdString(cachePath));
        out.open(QIODevice::WriteOnly);
        out.write(cache.data(), qint64(cache.size()));
    }
    std::vector<double> cacheLoads;
    for (int round = 0; round < 5; ++round) {
        engine.reset();
        malloc_trim(0);
        const auto start = Clock::now();
        const std::string data = readFile(cachePath.c_str());
        engine = FilterEngine::deserialize(data, "bench");
        cacheLoads.push_back(msSince(start));
    }
    QFile::remove(QString::fromStdString(cachePath));
    std::sort(cacheLoads.begin(), cacheLoads.end());
    malloc_trim(0);
    const long afterCache = residentKiB();
    std::printf("load from the cache (%.1f MiB): %.1f ms (median of 5; goal < 30 ms)\n",
                double(cache.size()) / 1048576.0, cacheLoads[2]);
    std::printf(
        "resident memory: +%.1f MiB after the lists, +%.1f MiB from the cache (goal "
        "<= 30 MiB)\n",
        double(afterLists - before) / 1024.0, double(afterCache - before) / 1024.0);

    // Agreement, then time per request from the request's address. A
    // disagreement names the rules that decided ours.
    const auto ruleText = [&](RuleRef rule) {
        if (!rule.found())
            return std::string("-");
        return std::string(lineOfList(texts[rule.list], rule.line)) + " (" + listPaths[rule.list] +
               ":" + std::to_string(rule.line) + ")";
    };
    std::size_t blockedBoth = 0, blockedTheirs = 0, allowedBoth = 0, allowedTheirs = 0;
    int shown = 0;
    for (const Entry &e : corpus) {
        const Verdict verdict = engine->decide(e.url, e.page, e.kind);
        const bool ours = verdict.blocked;
        if (e.blocked) {
            ++blockedTheirs;
            blockedBoth += ours;
        } else {
            ++allowedTheirs;
            allowedBoth += !ours;
        }
        if (ours != e.blocked && showDisagreements && shown++ < 200)
            std::fprintf(stderr, "%s\t%d\t%s\t%s\n\trule: %s\n\texception: %s\n",
                         e.blocked ? "block" : "allow", int(e.kind), e.pageText.c_str(),
                         e.urlText.c_str(), ruleText(verdict.rule).c_str(),
                         ruleText(verdict.exception).c_str());
    }
    std::printf(
        "agreement: %.3f%% of %zu blocked also blocked, %.3f%% of %zu allowed also "
        "allowed (goal >= 99.9%% each)\n",
        100.0 * double(blockedBoth) / double(std::max<std::size_t>(blockedTheirs, 1)),
        blockedTheirs,
        100.0 * double(allowedBoth) / double(std::max<std::size_t>(allowedTheirs, 1)),
        allowedTheirs);

    std::vector<double> times;
    times.reserve(corpus.size() * 3);
    std::size_t sink = 0;
    // The web engine makes a request's address (and its page's) just before
    // it asks: so are they made here, untimed, fresh in the cache as there.
    for (int round = 0; round < 3; ++round) {
        for (const Entry &e : corpus) {
            const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(e.urlText));
            const QUrl page = QUrl::fromEncoded(QByteArray::fromStdString(e.pageText));
            const auto start = Clock::now();
            sink += engine->decide(url, page, e.kind).blocked;
            times.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    std::sort(times.begin(), times.end());
    std::vector<double> textTimes;
    textTimes.reserve(corpus.size());
    for (const Entry &e : corpus) {
        const std::string url = e.urlText;
        const std::string page = e.pageText;
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
    return 0;
}
