// Filter lists made to hurt: what each costs to compile (time, peak and
// lasting memory, the cache), the worst time any of a set of hostile
// requests takes to decide, and what a document is sent for element
// hiding. Then the largest list, compiled by the program's own blocker
// while a window is measured for how promptly it answers.
//
//   hostile_lists
//
// Bounds (exit status 0 when all hold): every request under 1 ms; the
// memory the compiled lists hold under 8 times their size plus 64 MiB; a
// document sent at most 256 KiB; the window answers a key within 100 ms.

#include <malloc.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "content_blocking/filter_list_blocker.h"
#include "filter/filter_engine.h"

using quillow::filter::FilterEngine;
using quillow::filter::PublicSuffixList;
using quillow::filter::RequestKind;

namespace {

long statusKiB(const char *field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLong();
    return 0;
}

// Lets the peak resident size start again from what is resident now.
void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

std::string repeated(const std::string &piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// Lines made by `line(i)` until the list holds `bytes`.
std::string listOf(std::size_t bytes, const std::function<std::string(std::size_t)> &line) {
    std::string out;
    for (std::size_t i = 0; out.size() < bytes; ++i)
        out += line(i) + '\n';
    return out;
}

std::string domains(std::size_t count, std::size_t from, char separator) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out +=
            (i ? std::string(1, separator) : std::string()) + "s" + std::to_string(from + i) + ".b";
    return out;
}

struct Hostile {
    const char *name;
    std::string list;
};

std::vector<Hostile> hostileLists() {
    const std::string selector = "div" + repeated("[data-x]", 124);  // 1,000 characters
    return {
        {"1,000 catastrophic expressions",
         listOf(80000, [](std::size_t) { return "/^(([a-z0-9%._~:\\/?=&-]+)+)+[\\x00\\x01]/"; })},
        {"100,000 rules sharing one word", listOf(2700000,
                                                  [](std::size_t i) {
                                                      return "/banner/*$domain=s" +
                                                             std::to_string(i) + ".example";
                                                  })},
        {"rules of 1,000 *",
         listOf(1 << 20, [](std::size_t i) { return repeated("x*", 1000) + std::to_string(i); })},
        {"rules of 4,000 ^", listOf(100000,
                                    [](std::size_t i) {
                                        return "&" + std::string(4000, '^') + "x" +
                                               std::to_string(i);
                                    })},
        {"hiding: 1 MiB, 700 sites a rule",
         listOf(1 << 20,
                [&](std::size_t i) { return domains(700, i * 700, ',') + "##" + selector; })},
        {"network: 31 MiB, long domain= lists",
         listOf(31 << 20,
                [](std::size_t i) {
                    return "||ad" + std::to_string(i) + ".com^$domain=" + domains(700, i, '|');
                })},
    };
}

// Requests made to hurt those lists, and an ordinary one.
std::vector<std::pair<std::string, std::string>> hostileRequests() {
    const std::string page = "https://s5.b/";
    return {{"https://a.com/" + std::string(200000, '&'), page},
            {"https://a.com/" + repeated("x", 100000) + "/banner/", page},
            {"https://x.com/banner/" + repeated("a/", 3000), "https://elsewhere.example/"},
            {"https://ad7.com/x.js", page},
            {"https://cdn.site.com/app.js?v=1", "https://www.site.com/"}};
}

double microsecondsFor(const std::function<void()> &work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QFile suffixFile(QString::fromLatin1(PublicSuffixList::defaultPath()));
    suffixFile.open(QIODevice::ReadOnly);
    const PublicSuffixList suffixes =
        PublicSuffixList::fromText(suffixFile.readAll().toStdString());
    bool met = true;
    const auto requests = hostileRequests();
    std::printf("%-38s %8s %9s %9s %9s %10s %9s %9s\n", "list", "size", "compile", "peak +",
                "held +", "cache", "worst", "sent");
    for (const Hostile &h : hostileLists()) {
        malloc_trim(0);
        const long before = statusKiB("VmRSS:");
        resetPeak();
        std::unique_ptr<FilterEngine> engine;
        const double compileUs =
            microsecondsFor([&] { engine = FilterEngine::build({h.list}, suffixes); });
        const long peak = statusKiB("VmHWM:") - before;
        malloc_trim(0);
        const long held = statusKiB("VmRSS:") - before;
        const std::size_t cache = engine->serialize("bench").size();
        // Each request's median of five, against the machine's own hiccups;
        // the worst request's counts.
        double worst = 0;
        std::size_t worstRequest = 0;
        for (std::size_t i = 0; i < requests.size(); ++i)
            for (const RequestKind kind : {RequestKind::Script, RequestKind::Image}) {
                std::vector<double> times;
                for (int round = 0; round < 5; ++round)
                    times.push_back(microsecondsFor([&] {
                        (void)engine->decide(requests[i].first, requests[i].second, kind);
                    }));
                std::sort(times.begin(), times.end());
                if (times[2] > worst) {
                    worst = times[2];
                    worstRequest = i;
                }
            }
        std::size_t sent = 0;
        for (const char *host : {"s5.b", "s700.b", "www.site.com"})
            sent =
                std::max(sent, engine->elementHiding().siteData(host, suffixes, 256 << 10).size());
        std::printf("%-38s %7.1fM %8.0fms %8.1fM %8.1fM %9.1fM %7.0fus %8.1fK\n", h.name,
                    double(h.list.size()) / 1048576.0, compileUs / 1000.0, double(peak) / 1024.0,
                    double(held) / 1024.0, double(cache) / 1048576.0, worst, double(sent) / 1024.0);
        std::printf(
            "%-38s rules: %zu network, %zu hiding, %zu over the bounds, %zu unreadable; "
            "%llu requests let pass for their cost; the worst: request %zu\n",
            "", engine->stats().networkRules, engine->stats().cosmeticRules,
            engine->stats().overLimit, engine->stats().invalid,
            static_cast<unsigned long long>(engine->overBudgetCount()), worstRequest);
        const double bound = 8.0 * double(h.list.size()) + 64.0 * 1048576.0;
        met = met && worst < 1000 && double(held) * 1024.0 < bound && double(cache) < bound &&
              sent <= (256 << 10);
    }

    // The largest list as the program compiles it: on the blocker's thread,
    // while the window is to answer a key within 100 ms.
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("config/filters"));
    QDir(dir.path()).mkpath(QStringLiteral("system"));
    {
        QFile out(dir.filePath(QStringLiteral("config/filters/hostile.txt")));
        out.open(QIODevice::WriteOnly);
        const std::string &largest = hostileLists().back().list;
        out.write(largest.data(), qint64(largest.size()));
    }
    quillow::FilterListBlocker::Settings settings;
    settings.configDir = dir.filePath(QStringLiteral("config"));
    settings.cacheDir = dir.filePath(QStringLiteral("cache"));
    settings.systemLists = QStringList{dir.filePath(QStringLiteral("system/none.txt"))};
    settings.loadDelayMs = 0;
    quillow::FilterListBlocker blocker(settings);
    QLineEdit window;
    window.show();
    bool loaded = false;
    QObject::connect(&blocker, &quillow::ContentBlocker::changed, [&] { loaded = true; });
    quillow::bench::InputProbe probe(&window, [&] { return !loaded; });
    QElapsedTimer clock;
    clock.start();
    blocker.start();
    // Waits for events: processEvents() with a time limit spins, taking a
    // core from the blocker's thread.
    quillow::bench::runUntil([&] { return loaded; }, 120000);
    std::printf(
        "\nthe program compiling the 31 MiB list: %lld ms; the window answered a key "
        "within %.1f ms at worst (%d keys), its 10 ms timer %.1f ms late at worst "
        "(goal: a key within 100 ms)\n",
        clock.elapsed(), probe.worstKeyMs, probe.keysSent, probe.worstTickMs);
    met = met && loaded && probe.worstKeyMs < 100;
    std::printf("%s\n", met ? "all bounds hold" : "BOUNDS NOT MET");
    return met ? 0 : 1;
}
