#pragma once

// What the benchmark programs share: a stand-in for the questions that counts,
// waiting on the event loop, how promptly the window answers input, and
// the memory and processor time of the program's process tree.

#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <functional>

#include <QLineEdit>
#include <QMainWindow>
#include <QToolBar>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "browser/web_engine_browser.h"
#include "core/context.h"
#include "core/questions.h"
#include "http_server.h"
#include "inet/network_transfer.h"

namespace quillow::bench {

// Counts every message and question, answering each with its refusal.
class CountingQuestions : public Questions {
public:
    int shown = 0;
    void tell(QWidget *, const Message &m) override { count(m.text); }
    YesNoAnswer askYesNo(QWidget *, const Message &m, bool, bool) override {
        return count(m.text), YesNoAnswer{};
    }
    PageDialogAnswer askPageDialog(QWidget *, const PageDialog &d) override {
        return count(d.message), PageDialogAnswer{};
    }
    std::optional<Credentials> askSignIn(QWidget *, const QString &, const QString &t) override {
        return count(t), std::nullopt;
    }
    void endAll(QWidget *) override {}

private:
    void count(const QString &text) {
        std::fprintf(stderr, "asked: %s\n", qPrintable(text));
        ++shown;
    }
};

// Quillow's real components as the benchmarks run them: its files in dir,
// the given questions and beep, the connection test on 127.0.0.1.
inline Context benchContext(
    const QString &dir, Questions *questions, std::function<void()> beep = [] {}) {
    Context context;
    context.favoritesDir = dir;
    context.scratchDir = dir;
    context.questions = questions;
    context.beep = std::move(beep);
    context.connectionTestHost = QStringLiteral("127.0.0.1");
    context.browserFactory = webEngineBrowserFactory(QWebEngineProfile::defaultProfile(), QUrl());
    context.transferFactory = [](QObject *parent) -> InternetTransfer * {
        return new NetworkTransfer(parent);
    };
    return context;
}

// The middle of the values (the upper one of the two middle ones).
inline double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// What the benchmarks that serve pages do first: each printed line shows at
// once, and the loopback server listens. False (said on stderr) when it
// cannot.
inline bool serveOnLoopback(test::HttpServer &server) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (server.listen())
        return true;
    std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
    return false;
}

// Runs the event loop until done() holds or the time is up.
inline bool runUntil(const std::function<bool()> &done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// The yardstick: a web view of Quillow's window size with an address line
// above it, the least a program needs to show a typed page.
struct BareBrowser {
    QMainWindow window;
    QLineEdit *edit = new QLineEdit;
    QWebEngineView *view = new QWebEngineView(&window);

    BareBrowser() {
        auto *bar = new QToolBar(&window);
        bar->addWidget(edit);
        window.addToolBar(bar);
        window.setCentralWidget(view);
        window.resize(704, 664);
    }
    // Shows the blank page; false when it did not load in time.
    bool showBlank(int timeoutMs) {
        bool loaded = false;
        const QMetaObject::Connection c = QObject::connect(
            view, &QWebEngineView::loadFinished, view, [&loaded](bool ok) { loaded = ok; });
        view->load(QUrl(QStringLiteral("about:blank")));
        window.show();
        const bool done = runUntil([&loaded] { return loaded; }, timeoutMs);
        QObject::disconnect(c);
        return done;
    }
    void go(const QString &url) {
        edit->setText(url);
        view->load(QUrl(url));
    }
};

// How promptly the window answers while active() holds: a 10 ms timer
// (its worst lateness) and a key press posted to target every 100 ms, a
// quick typist's pace (its worst wait until target gets it).
class InputProbe : public QObject {
public:
    static constexpr int kTickMs = 10;
    static constexpr int kTicksPerKey = 10;

    InputProbe(QWidget *target, std::function<bool()> active)
        : target_(target), active_(std::move(active)) {
        target_->installEventFilter(this);
        tick_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick_, &QTimer::timeout, this, [this] { onTick(); });
        clock_.start();
        tick_.start(kTickMs);
    }
    ~InputProbe() override { target_->removeEventFilter(this); }

    double worstTickMs = 0;
    double worstKeyMs = 0;
    int keysSent = 0;
    int keysHandled = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_End) {
            ++keysHandled;
            worstKeyMs = std::max(worstKeyMs, double(clock_.nsecsElapsed() - postedAt_) / 1e6);
        }
        return false;
    }

private:
    void onTick() {
        const qint64 now = clock_.nsecsElapsed();
        const bool active = active_();
        if (active && wasActive_)
            worstTickMs = std::max(worstTickMs, double(now - lastTick_) / 1e6 - kTickMs);
        wasActive_ = active;
        lastTick_ = now;
        // One key press in flight at a time, so each one's wait is its own.
        if (active && ++ticks_ % kTicksPerKey == 0 && keysHandled == keysSent) {
            postedAt_ = now;
            ++keysSent;
            QCoreApplication::postEvent(
                target_, new QKeyEvent(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier));
            QCoreApplication::postEvent(
                target_, new QKeyEvent(QEvent::KeyRelease, Qt::Key_End, Qt::NoModifier));
        }
    }

    QWidget *target_;
    std::function<bool()> active_;
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 lastTick_ = 0;
    qint64 postedAt_ = 0;
    int ticks_ = 0;
    bool wasActive_ = false;
};

// This process and all its descendants (the engine's zygotes, renderers
// and utility processes).
inline QList<qint64> processTree() {
    QList<qint64> tree = {qint64(::getpid())};
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    // Parents before children: grow the tree until it stops growing.
    for (qsizetype known = 0; known != tree.size();) {
        known = tree.size();
        for (const QString &pid : pids) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && tree.contains(fields.at(1).toLongLong()) &&
                !tree.contains(pid.toLongLong()))
                tree.append(pid.toLongLong());
        }
    }
    return tree;
}

// The proportional set size of the process tree, in KiB.
inline qint64 processTreePssKiB() {
    qint64 total = 0;
    for (qint64 pid : processTree()) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &row : rollup.readAll().split('\n'))
            if (row.startsWith("Pss:"))
                total += row.mid(4).trimmed().split(' ').first().toLongLong();
    }
    return total;
}

// The processor time the process tree has used so far, in ms (user and
// system; children that ended are in their parent's).
inline double processTreeCpuMs() {
    const double tick = double(::sysconf(_SC_CLK_TCK));
    double total = 0;
    for (qint64 pid : processTree()) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // After the name: state is field 3, utime 14, stime 15, cutime 16, cstime 17.
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 14)
            for (int i = 11; i <= 14; ++i)
                total += f.at(i).toDouble();
    }
    return total / tick * 1000;
}

}  // namespace quillow::bench
