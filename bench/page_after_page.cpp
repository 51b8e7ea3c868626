// Ten pages in a row, typed into the address box one after the other, each
// as soon as the one before has loaded: Quillow against a bare web view of
// the same size with an address line above it, rounds alternating (which
// one starts swaps each round). Reported per round: the time from the
// first address to the tenth page loaded, and the processor time the whole
// process tree used meanwhile.

#include <QApplication>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>

#include "app/program.h"
#include "bench_support.h"
#include "http_server.h"
#include "main_window/main_window.h"

namespace {

using namespace quillow;

constexpr int kPages = 10;
constexpr int kRounds = 7;
constexpr int kLoadTimeoutMs = 30000;
constexpr double kTarget = 1.05;

struct Round {
    double wallMs = -1;
    double cpuMs = -1;
};

// Goes to the pages one after the other on page's loadFinished.
Round walk(QWebEnginePage *page, const std::function<void(const QString &)> &go,
           const test::HttpServer &server) {
    int loaded = 0;
    QMetaObject::Connection c =
        QObject::connect(page, &QWebEnginePage::loadFinished, page, [&](bool ok) {
            if (ok && ++loaded < kPages)
                go(server.url(QStringLiteral("/page%1.html").arg(loaded)));
        });
    QElapsedTimer clock;
    const double cpuBefore = bench::processTreeCpuMs();
    clock.start();
    go(server.url(QStringLiteral("/page0.html")));
    const bool done = bench::runUntil([&] { return loaded == kPages; }, kLoadTimeoutMs);
    Round r;
    if (done) {
        r.wallMs = double(clock.nsecsElapsed()) / 1e6;
        r.cpuMs = bench::processTreeCpuMs() - cpuBefore;
    }
    QObject::disconnect(c);
    return r;
}

Round quillowRound(const test::HttpServer &server) {
    QTemporaryDir dir;
    bench::CountingQuestions messages;
    Program windows(bench::benchContext(dir.path(), &messages));
    MainWindow *window = windows.createPrimary();
    window->show();
    auto *page = static_cast<QWebEngineView *>(window->browser()->widget())->page();
    bool blank = false;
    QObject::connect(page, &QWebEnginePage::loadFinished, page, [&](bool ok) { blank = ok; });
    if (!bench::runUntil([&] { return blank; }, kLoadTimeoutMs))
        return Round();
    return walk(
        page, [window](const QString &url) { window->goToTypedAddress(url); }, server);
}

Round bareRound(const test::HttpServer &server) {
    bench::BareBrowser bare;
    if (!bare.showBlank(kLoadTimeoutMs))
        return Round();
    return walk(
        bare.view->page(), [&bare](const QString &url) { bare.go(url); }, server);
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    test::HttpServer server;
    if (!bench::serveOnLoopback(server))
        return 1;
    // Pages of some text each, with a title and a link the way pages have.
    for (int i = 0; i < kPages; ++i) {
        QByteArray body;
        for (int p = 0; p < 60; ++p)
            body += "<p>Paragraph " + QByteArray::number(p) +
                    " of a page with some text on it, a <a href='/page0.html'>link</a> and "
                    "<b>bold</b> words.</p>\n";
        server.route(QStringLiteral("/page%1.html").arg(i),
                     "<html><head><title>Page " + QByteArray::number(i) + "</title></head><body>" +
                         body + "</body></html>");
    }

    std::printf("%d pages in a row, %d rounds each, alternating (ms)\n", kPages, kRounds);
    std::printf("%6s %-8s %10s %10s\n", "round", "", "wall", "cpu");
    QList<double> qWall, qCpu, bWall, bCpu;
    bool faultless = true;
    for (int round = 1; round <= kRounds; ++round) {
        const bool quillowFirst = round % 2 == 1;
        for (int turn = 0; turn < 2; ++turn) {
            const bool quillow = (turn == 0) == quillowFirst;
            const Round r = quillow ? quillowRound(server) : bareRound(server);
            std::printf("%6d %-8s %10.1f %10.1f\n", round, quillow ? "Quillow" : "bare", r.wallMs,
                        r.cpuMs);
            faultless = faultless && r.wallMs >= 0;
            (quillow ? qWall : bWall).append(r.wallMs);
            (quillow ? qCpu : bCpu).append(r.cpuMs);
        }
    }
    auto spread = [](QList<double> v) {
        std::sort(v.begin(), v.end());
        return v.last() - v.first();
    };
    std::printf("%6s %-8s %10.1f %10.1f  (spread %.1f / %.1f)\n", "median", "Quillow",
                bench::median(qWall), bench::median(qCpu), spread(qWall), spread(qCpu));
    std::printf("%6s %-8s %10.1f %10.1f  (spread %.1f / %.1f)\n", "median", "bare",
                bench::median(bWall), bench::median(bCpu), spread(bWall), spread(bCpu));
    const double wallRatio = bench::median(qWall) / bench::median(bWall);
    const double cpuRatio = bench::median(qCpu) / bench::median(bCpu);
    const bool met = faultless && wallRatio <= kTarget && cpuRatio <= kTarget;
    std::printf("ratio Quillow / bare: time %.3f, cpu %.3f; target at most %.2f each: %s\n",
                wallRatio, cpuRatio, kTarget, met ? "met" : "MISSED");
    return met ? 0 : 2;
}
