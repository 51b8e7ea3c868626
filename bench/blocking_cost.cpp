// What content blocking costs where users pay it: the real program, started
// with and without --no-content-blocking in turn, on pages served here
// (every host name mapped to 127.0.0.1):
//
//   plain   ten plain pages in a row, none with a listed request
//   frames  one page with 20 same-site frames
//   ads     a news page whose 24 tags come from hosts EasyList names, each
//           answering after 250 ms and pulling two more
//   youtube the frames page on www.youtube.com, a site uBlock Origin's lists
//           give scriptlets and procedural selectors: all of them run in
//           each of its documents
//
// For each: time from the page's first request to its load event (the
// page's onload beacon), CPU of the program's process tree over that time,
// and the tree's anonymous memory at the end. Then what a document's
// script is sent for element hiding on each host of these pages and of
// some busy real sites. Exits 0 when the goals hold.
//
//   blocking_cost QUILLOW [ROUNDS] [plain|frames|ads|youtube...] [loads=N] [lists=debian]
//
// The program applies uBlock Origin's eight default lists; "lists=debian"
// keeps EasyList and EasyPrivacy alone (quillow.conf's DefaultLists).

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "filter/filter_engine.h"

namespace {

const char kEasyList[] =
    "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist/easylist.txt";
const char kEasyPrivacy[] =
    "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist/easyprivacy.txt";

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Class names as real pages use them, for the generic element hiding.
const char *const kClasses[] = {"container", "row",       "col-md-4",     "nav-item", "btn",
                                "card",      "card-body", "story-title",  "byline",   "teaser",
                                "headline",  "summary",   "article-body", "footer",   "menu",
                                "sidebar",   "widget",    "social-share", "comments", "related"};

QByteArray plainBody(int page, int elements) {
    QByteArray body;
    for (int i = 0; i < elements; ++i) {
        body += "<div class='" + QByteArray(kClasses[i % 20]) + " " + kClasses[(i * 7) % 20] +
                "' id='p" + QByteArray::number(page) + "e" + QByteArray::number(i) +
                "'><p>Paragraph " + QByteArray::number(i) +
                " of a story that goes on for a while, as stories do.</p></div>\n";
    }
    return body;
}

struct Tree {
    double cpuSeconds = 0;
    qint64 anonKiB = 0;
    int processes = 0;
};

// The program and every process under it.
Tree treeOf(qint64 root) {
    std::map<qint64, qint64> parent;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
        const int close = stat.lastIndexOf(')');
        if (close > 0)
            parent[pid] = stat.mid(close + 2).split(' ').value(1).toLongLong();
    }
    Tree tree;
    std::set<qint64> members{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto &[pid, ppid] : parent)
            if (members.count(ppid) && members.insert(pid).second)
                grew = true;
    }
    const double tick = double(sysconf(_SC_CLK_TCK));
    for (const qint64 pid : members) {
        const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
        const int close = stat.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> f = stat.mid(close + 2).split(' ');
        tree.cpuSeconds += double(f.value(11).toLongLong() + f.value(12).toLongLong()) / tick;
        const QByteArray smaps = readAll(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        static const QRegularExpression anon(QStringLiteral("\\nAnonymous:\\s+(\\d+)"));
        const auto m = anon.match(QString::fromLatin1(smaps));
        tree.anonKiB += m.hasMatch() ? m.captured(1).toLongLong() : 0;
        ++tree.processes;
    }
    return tree;
}

struct Result {
    double ms = 0;
    double cpu = 0;
    double anonMiB = 0;
};

// The pages, and the moments a round's measure starts and ends.
class Server : public QObject {
public:
    QTcpServer tcp;
    QStringList listedHosts;
    std::function<void()> started;
    // Whether the page is to be loaded again, at `again`.
    std::function<bool()> done;
    QByteArray again;

    Server() {
        tcp.listen(QHostAddress::LocalHost);
        connect(&tcp, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = tcp.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, s, [this, s] { answer(s); });
        });
    }
    QByteArray base(const QByteArray &host) const {
        return "http://" + host + ":" + QByteArray::number(tcp.serverPort());
    }

private:
    void send(QTcpSocket *s, const QByteArray &type, const QByteArray &body, int delayMs = 0) {
        const QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Type: " + type +
                                 "\r\nCache-Control: no-store\r\nConnection: close\r\n"
                                 "Content-Length: " +
                                 QByteArray::number(body.size()) + "\r\n\r\n" + body;
        const auto write = [s, reply] {
            s->write(reply);
            s->disconnectFromHost();
        };
        if (delayMs)
            QTimer::singleShot(delayMs, s, write);
        else
            write();
    }

    void answer(QTcpSocket *s) {
        const QByteArray head = s->peek(8192);
        if (!head.contains("\r\n\r\n"))
            return;
        s->readAll();
        const QByteArray path = head.split(' ').value(1);
        const QByteArray html = "text/html; charset=utf-8";
        const QByteArray beacon = "<script>onload = function () { ";
        // The measure ends; the server may have the page loaded again.
        const QByteArray kDone =
            "fetch('/done').then(function (r) { return r.text(); }).then(function (t) {"
            " if (t !== 'ok') location = t; });";
        if (path.startsWith("/start")) {
            // The lists are ready long before the measured page is asked for.
            send(s, html,
                 "<script>setTimeout(function () { location = '" + path.mid(path.indexOf('=') + 1) +
                     "'; }, 1500);</script>");
            return;
        }
        if (path == "/done") {
            const bool more = done && done();
            send(s, "text/plain", more ? again : QByteArray("ok"));
            return;
        }
        const QByteArray page = path.split('?').value(0);
        if (page == "/p/1.html" || page == "/frames.html" || page == "/news.html")
            if (started)
                started();
        if (page.startsWith("/p/") && page.endsWith(".html")) {
            const int n = path.mid(3).split('.').value(0).toInt();
            const QByteArray next = n < 10 ? "/p/" + QByteArray::number(n + 1) + ".html" : "/done";
            QByteArray body =
                "<!doctype html><html><head><title>Page</title>"
                "<link rel=stylesheet href='/style.css?" +
                QByteArray::number(n) + "'><script src='/app.js?" + QByteArray::number(n) +
                "'></script></head><body>";
            for (int i = 0; i < 5; ++i)
                body += "<img src='/img/" + QByteArray::number(n * 10 + i) + ".gif'>";
            body += plainBody(n, 300) + beacon + (n < 10 ? "location = '" + next + "';" : kDone) +
                    " };</script></body></html>";
            send(s, html, body);
        } else if (page == "/frames.html") {
            QByteArray body = "<!doctype html><html><body>";
            for (int i = 0; i < 20; ++i)
                body += "<iframe src='/frame/" + QByteArray::number(i) + ".html'></iframe>";
            send(s, html, body + beacon + kDone + " };</script></body></html>");
        } else if (path.startsWith("/frame/")) {
            send(s, html,
                 "<!doctype html><html><body>" + plainBody(path.mid(7).toInt(), 40) +
                     "</body></html>");
        } else if (page == "/news.html") {
            QByteArray body = "<!doctype html><html><head><title>News</title></head><body>";
            for (int i = 0; i < 24; ++i)
                body += "<script async src='" + base(listedHosts[i].toLatin1()) + "/tag.js?" +
                        QByteArray::number(i) + "'></script>";
            send(s, html, body + plainBody(0, 200) + beacon + kDone + " };</script></body></html>");
        } else if (path.startsWith("/tag.js")) {
            // Each tag pulls two more from other listed hosts.
            const int i = path.mid(8).toInt();
            QByteArray js;
            for (int k = 1; k <= 2; ++k) {
                const QString host = listedHosts[(24 * k + i) % listedHosts.size()];
                js += "(function () { var s = document.createElement('script'); s.src = '" +
                      base(host.toLatin1()) + "/more.js'; document.head.appendChild(s); })();";
            }
            send(s, "text/javascript", js, 250);
        } else if (path.startsWith("/more.js")) {
            send(s, "text/javascript", "/* */", 250);
        } else if (path.startsWith("/img/")) {
            send(s, "image/gif", QByteArray::fromBase64("R0lGODlhAQABAAAAACwAAAAAAQABAAA="));
        } else if (path.startsWith("/style.css")) {
            send(s, "text/css", ".container { margin: 0 auto; } .card { padding: 4px; }");
        } else {
            send(s, "text/javascript", "var x = 1;");
        }
    }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One run of the real program on one scenario: the page loaded `loads`
// times in a row, the median of them.
bool runOnce(const QString &program, const QString &home, bool blocking, Server &server,
             const QByteArray &page, int loads, Result &result) {
    QProcess quillow;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        env.insert(QString::fromLatin1(variable),
                   home + QLatin1Char('/') + QLatin1String(variable));
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               QStringLiteral("--disable-background-networking --disable-component-update "
                              "--host-resolver-rules=\"MAP * 127.0.0.1\""));
    if (::geteuid() == 0)
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    quillow.setProcessEnvironment(env);
    quillow.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--new-instance")};
    if (!blocking)
        arguments << QStringLiteral("--no-content-blocking");
    arguments << QString::fromLatin1(server.base("www.news.test") + "/start?next=" + page);
    QElapsedTimer clock;
    Tree atStart;
    std::vector<double> ms, cpu;
    bool finished = false;
    server.started = [&] {
        clock.start();
        atStart = treeOf(quillow.processId());
    };
    server.done = [&] {
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        const Tree atEnd = treeOf(quillow.processId());
        cpu.push_back(atEnd.cpuSeconds - atStart.cpuSeconds);
        // Memory once the page has loaded the first time: the garbage of
        // the loads after is the collector's to take when it will.
        if (ms.size() == 1)
            result.anonMiB = double(atEnd.anonKiB) / 1024.0;
        if (int(ms.size()) < loads) {
            server.again = page + "?again=" + QByteArray::number(ms.size());
            return true;
        }
        result.ms = median(ms);
        result.cpu = median(cpu);
        finished = true;
        return false;
    };
    quillow.start(program, arguments);
    QElapsedTimer limit;
    limit.start();
    // Waits for events: processEvents() with a time limit never does, and
    // would spin a core beside the program measured. The timer wakes the
    // loop to check the limit.
    QTimer wake;
    wake.start(50);
    while (!finished && limit.elapsed() < 60000 * loads && quillow.state() != QProcess::NotRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ::kill(pid_t(quillow.processId()), SIGTERM);
    if (!quillow.waitForFinished(10000))
        quillow.kill();
    quillow.waitForFinished();
    server.started = nullptr;
    server.done = nullptr;
    return finished;
}

// Each round's on/off pair, run back to back, as one ratio: the machine's
// drift from round to round (as large as what is measured) cancels.
struct Ratios {
    double median = 0, low = 0, high = 0;  // and the quartiles
};
Ratios pairedRatios(const std::vector<Result> &on, const std::vector<Result> &off,
                    double Result::*field) {
    std::vector<double> v;
    for (std::size_t i = 0; i < on.size() && i < off.size(); ++i)
        v.push_back(on[i].*field / off[i].*field);
    std::sort(v.begin(), v.end());
    if (v.empty())
        return {};
    return {v[v.size() / 2], v[v.size() / 4], v[v.size() * 3 / 4]};
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: blocking_cost QUILLOW [ROUNDS] [plain|frames|ads|youtube...] "
                     "[loads=N] [lists=debian]\n");
        return 2;
    }
    const QString program = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 7;
    // The pages named after the rounds, or all three; "loads=N": each run
    // loads its page N times in a row and counts their median, as one
    // load's own noise is as large as what is measured.
    QStringList only;
    int loads = 3;
    bool debianLists = false;
    for (int i = 3; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith(QLatin1String("loads=")))
            loads = std::max(1, arg.mid(6).toInt());
        else if (arg == QLatin1String("lists=debian"))
            debianLists = true;
        else
            only << arg;
    }

    // Hosts EasyList names whole, as ads come from them.
    const std::string easylist = readAll(QString::fromLatin1(kEasyList)).toStdString();
    const std::string easyprivacy = readAll(QString::fromLatin1(kEasyPrivacy)).toStdString();
    const auto engine = quillow::filter::FilterEngine::build(
        {easylist, easyprivacy},
        quillow::filter::PublicSuffixList::fromText(
            readAll(QString::fromLatin1(quillow::filter::PublicSuffixList::defaultPath()))
                .toStdString()));
    Server server;
    static const QRegularExpression bareHost(QStringLiteral("^\\|\\|([a-z0-9.-]+\\.[a-z]+)\\^$"));
    for (const QString &line : QString::fromStdString(easylist).split(QLatin1Char('\n'))) {
        const auto m = bareHost.match(line.trimmed());
        if (!m.hasMatch() || server.listedHosts.size() >= 72)
            continue;
        const QByteArray url = server.base(m.captured(1).toLatin1()) + "/tag.js";
        if (engine
                ->decide(url.toStdString(), server.base("www.news.test").toStdString(),
                         quillow::filter::RequestKind::Script)
                .blocked)
            server.listedHosts << m.captured(1);
    }
    if (server.listedHosts.size() < 72) {
        std::fprintf(stderr, "EasyList (webext-ublock-origin-chromium) is needed\n");
        return 2;
    }

    // Each mode keeps its own folders; the first run of each compiles the
    // lists' cache and is not counted.
    QTemporaryDir on, off;
    for (const QTemporaryDir *home : {&on, &off}) {
        const QString folder = home->path() + QStringLiteral("/XDG_CONFIG_HOME/quillow");
        QFile conf(folder + QStringLiteral("/quillow.conf"));
        if (debianLists &&
            !(QDir().mkpath(folder) && conf.open(QIODevice::WriteOnly) &&
              conf.write("[ContentBlocking]\nDefaultLists=easylist, easyprivacy\n") > 0)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(conf.fileName()));
            return 2;
        }
    }
    // With the eight lists a page's memory may grow to +40 MiB.
    const double memoryGoal = debianLists ? 25 : 40;
    std::printf("lists: %s\n", debianLists ? "EasyList and EasyPrivacy (lists=debian)"
                                           : "uBlock Origin's eight default lists");
    const std::pair<const char *, QByteArray> scenarios[] = {
        {"plain", "/p/1.html"},
        {"frames", "/frames.html"},
        {"ads", "/news.html"},
        {"youtube", server.base("www.youtube.com") + "/frames.html"}};
    std::map<std::string, std::vector<Result>> results;
    for (int round = 0; round <= rounds; ++round) {
        for (const auto &[name, page] : scenarios) {
            if (!only.isEmpty() && !only.contains(QLatin1String(name)))
                continue;
            // Which goes first swaps each round.
            for (const bool first : {true, false}) {
                const bool blocking = first == (round % 2 == 0);
                Result r;
                if (!runOnce(program, (blocking ? on : off).path(), blocking, server, page, loads,
                             r)) {
                    std::fprintf(stderr, "%s (%s) did not finish\n", name,
                                 blocking ? "blocking" : "off");
                    return 1;
                }
                if (round == 0)
                    continue;
                std::printf("round %d %-7s %-8s %7.0f ms %5.2f s CPU %6.1f MiB anonymous\n", round,
                            name, blocking ? "blocking" : "off", r.ms, r.cpu, r.anonMiB);
                std::fflush(stdout);
                results[std::string(name) + (blocking ? "+" : "-")].push_back(r);
            }
        }
    }

    bool met = true;
    const auto of = [&](const std::string &key, double Result::*field) {
        std::vector<double> v;
        for (const Result &r : results[key])
            v.push_back(r.*field);
        return median(v);
    };
    std::printf(
        "\nmedians of %d rounds, blocking on / off; paired: the median of each round's ratio "
        "(quartiles)\n",
        rounds);
    for (const auto &[name, page] : scenarios) {
        const std::string n = name;
        if (results[n + "+"].empty())
            continue;
        const Ratios time = pairedRatios(results[n + "+"], results[n + "-"], &Result::ms);
        const Ratios cpu = pairedRatios(results[n + "+"], results[n + "-"], &Result::cpu);
        const double t = time.median, c = cpu.median;
        const double m = of(n + "+", &Result::anonMiB) - of(n + "-", &Result::anonMiB);
        std::printf(
            "%-7s time %6.0f / %6.0f ms, paired %.2f (%.2f-%.2f)  CPU %.2f / %.2f s, paired "
            "%.2f (%.2f-%.2f)  anonymous %+.1f MiB\n",
            name, of(n + "+", &Result::ms), of(n + "-", &Result::ms), t, time.low, time.high,
            of(n + "+", &Result::cpu), of(n + "-", &Result::cpu), c, cpu.low, cpu.high, m);
        if (n == "plain") {
            std::printf("       goals: time and CPU <= 1.05, memory <= +%.0f MiB\n", memoryGoal);
            met = met && t <= 1.05 && c <= 1.05 && m <= memoryGoal;
        } else if (n == "frames" || n == "youtube") {
            std::printf("       goal: time <= 1.10\n");
            met = met && t <= 1.10;
        } else {
            std::printf("       goal: time <= 0.45\n");
            met = met && t <= 0.45;
        }
    }

    // What a document is sent for element hiding: its site's part, and the
    // generic part for every class and id of these pages.
    QByteArray names;
    for (const char *c : kClasses)
        names += QByteArray(".") + c + ' ';
    for (int i = 0; i < 300; ++i)
        names += "#p1e" + QByteArray::number(i) + ' ';
    std::size_t largest = 0;
    std::printf("\nelement hiding sent to a document (site + generic for the pages' names):\n");
    const QStringList hosts =
        QStringList{QStringLiteral("www.news.test")} + server.listedHosts.mid(0, 3) +
        QStringList{QStringLiteral("www.youtube.com"), QStringLiteral("www.bbc.co.uk"),
                    QStringLiteral("www.spiegel.de"),  QStringLiteral("www.reddit.com"),
                    QStringLiteral("www.google.com"),  QStringLiteral("www.yahoo.com")};
    for (const QString &host : hosts) {
        const std::string h = host.toStdString();
        const auto &hiding = engine->elementHiding();
        const std::size_t bytes =
            hiding.siteData(h, engine->suffixes(), 1 << 20).size() +
            hiding.genericData(h, engine->suffixes(), names.toStdString(), 1 << 20).size();
        largest = std::max(largest, bytes);
        std::printf("  %-28s %6.1f KiB\n", qPrintable(host), double(bytes) / 1024.0);
    }
    std::printf("  largest %.1f KiB (goal < 64 KiB)\n", double(largest) / 1024.0);
    met = met && largest < 64 * 1024;
    std::printf("\n%s\n", met ? "all goals met" : "GOALS NOT MET");
    return met ? 0 : 1;
}
