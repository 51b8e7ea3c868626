// A long print: a page on 127.0.0.1 that prints as 200 sheets goes to a PDF
// file through the main window's browser, as "Print to File (PDF)" in the
// print dialog sends it, and to the engine's printing path for printers
// (each sheet drawn as a picture, here onto a PDF file). Meanwhile the window must keep answering
// input: a 10 ms timer runs and a key press goes to the address box every 100 ms; the worst
// lateness of either is what a user would feel while printing.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrinter>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <cstdio>
#include <optional>

#include "app/program.h"
#include "bench_support.h"
#include "browser/browser.h"
#include "http_server.h"
#include "main_window/main_window.h"
#include "widgets/status_bar.h"

namespace {

using namespace quillow;

constexpr int kSheets = 200;
constexpr int kRounds = 3;
// Longer than this and a user notices that the window is not answering.
constexpr double kAnswerTargetMs = 200;
constexpr int kLoadTimeoutMs = 30000;
constexpr int kPrintTimeoutMs = 180000;

QByteArray longDocument() {
    QByteArray html =
        "<html><head><title>Long</title><style>"
        "div{page-break-after:always;font:14pt serif}</style></head><body>";
    for (int i = 1; i <= kSheets; ++i)
        html += "<div>Sheet " + QByteArray::number(i) + " of the long print</div>";
    return html + "</body></html>";
}

// The sheets in a PDF file, by its page objects.
int sheetsIn(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray pdf = file.readAll();
    return int(pdf.count("/Type /Page\n") + pdf.count("/Type /Page ") + pdf.count("/Type/Page\n") +
               pdf.count("/Type/Page/") + pdf.count("/Type /Page>>") + pdf.count("/Type/Page>>"));
}

struct Round {
    double printMs = 0;
    double worstTickMs = 0;
    double worstKeyMs = 0;
    int keysSent = 0;
    int keysHandled = 0;
    qint64 pdfBytes = 0;
    QStringList faults;
};

Round printRound(test::HttpServer &server, bool asPrinter) {
    Round r;
    QTemporaryDir dir;
    bench::CountingQuestions messages;
    Program windows(bench::benchContext(dir.path(), &messages));
    MainWindow *window = windows.createPrimary();
    auto *status = window->findChild<StatusBar *>(QStringLiteral("webstatus"));
    auto *addressBox = window->findChild<QComboBox *>(QStringLiteral("addressbar"));
    window->show();
    window->goToTypedAddress(server.url(QStringLiteral("/long.html")));
    if (!bench::runUntil(
            [&] {
                return window->browser()->location().endsWith(QLatin1String("/long.html")) &&
                       status->message() == QLatin1String("Site Loaded.");
            },
            kLoadTimeoutMs)) {
        r.faults << QStringLiteral("the long page did not load");
        return r;
    }

    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = dir.filePath(QStringLiteral("long.pdf"));
    printer.setOutputFileName(pdf);
    std::optional<bool> printed;
    QObject::connect(window->browser(), &Browser::printFinished, window,
                     [&printed](bool ok) { printed = ok; });

    std::optional<bench::InputProbe> probe;
    probe.emplace(addressBox->lineEdit(), [&printed] { return !printed.has_value(); });
    QElapsedTimer clock;
    clock.start();
    if (asPrinter)
        qobject_cast<QWebEngineView *>(window->browser()->widget())->print(&printer);
    else
        window->browser()->print(&printer);
    if (!bench::runUntil([&printed] { return printed.has_value(); }, kPrintTimeoutMs))
        r.faults << QStringLiteral("the print did not end within %1 s").arg(kPrintTimeoutMs / 1000);
    r.printMs = double(clock.nsecsElapsed()) / 1e6;
    r.worstTickMs = probe->worstTickMs;
    r.worstKeyMs = probe->worstKeyMs;
    r.keysSent = probe->keysSent;
    r.keysHandled = probe->keysHandled;
    probe.reset();

    r.pdfBytes = QFileInfo(pdf).size();
    if (printed == false)
        r.faults << QStringLiteral("the print failed");
    const int sheets = sheetsIn(pdf);
    if (sheets != kSheets)
        r.faults << QStringLiteral("%1 sheets in the PDF").arg(sheets);
    if (r.worstTickMs > kAnswerTargetMs || r.worstKeyMs > kAnswerTargetMs)
        r.faults << QStringLiteral("the window did not answer within %1 ms").arg(kAnswerTargetMs);
    if (messages.shown != 0)
        r.faults << QStringLiteral("%1 messages or questions").arg(messages.shown);
    return r;
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    test::HttpServer server;
    if (!bench::serveOnLoopback(server))
        return 1;
    server.route(QStringLiteral("/long.html"), longDocument());

    std::printf("a %d-sheet page printed, %d rounds each way (ms)\n", kSheets, kRounds);
    std::printf("%8s %-8s %10s %12s %12s %6s %10s\n", "round", "to", "print", "worst tick",
                "worst key", "keys", "PDF KiB");
    bool faultless = true;
    for (const bool asPrinter : {false, true}) {
        const char *way = asPrinter ? "printer" : "file";
        QList<double> print, tick, key;
        for (int round = 1; round <= kRounds; ++round) {
            const Round r = printRound(server, asPrinter);
            std::printf("%8d %-8s %10.1f %12.1f %12.1f %6d %10lld\n", round, way, r.printMs,
                        r.worstTickMs, r.worstKeyMs, r.keysHandled, r.pdfBytes / 1024);
            for (const QString &fault : r.faults)
                std::printf("         FAULT: %s\n", qPrintable(fault));
            faultless = faultless && r.faults.isEmpty();
            print.append(r.printMs);
            tick.append(r.worstTickMs);
            key.append(r.worstKeyMs);
        }
        std::printf("%8s %-8s %10.1f %12.1f %12.1f\n", "median", way, bench::median(print),
                    bench::median(tick), bench::median(key));
    }
    std::printf("target: the window answers within %.0f ms while printing: %s\n", kAnswerTargetMs,
                faultless ? "met" : "NOT met");
    return faultless ? 0 : 1;
}
