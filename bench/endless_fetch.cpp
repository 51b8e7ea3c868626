// What an endless answer costs: the transfer component fetches from a
// loopback server that sends 65,537-byte chunks without end, on an event
// loop that nothing else keeps busy, in three rounds. It must stop at the
// 16 MiB limit with exactly that much, and the process's peak memory may
// grow by at most 96 MiB beyond the limit: the network must not read ahead
// of what the component takes.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

#include "inet/network_transfer.h"

namespace {

qint64 peakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = status.readAll();
    return text.mid(text.indexOf("VmHWM:") + 6).trimmed().split(' ').value(0).toLongLong();
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost))
        return 1;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        QTcpSocket *socket = server.nextPendingConnection();
        auto *timer = new QTimer(socket);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, timer] {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            timer->start(0);
        });
        QObject::connect(timer, &QTimer::timeout, socket, [socket] {
            const QByteArray chunk(65537, 'x');
            if (socket->bytesToWrite() < (4 << 20))
                socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
        });
    });
    const qint64 before = peakKiB();
    quillow::NetworkTransfer inet;
    bool ok = true;
    std::printf("%6s %10s %8s %14s\n", "round", "body MiB", "ms", "peak +MiB");
    for (int round = 1; round <= 3; ++round) {
        QElapsedTimer clock;
        clock.start();
        qint64 size = -1;
        QObject::connect(&inet, &quillow::InternetTransfer::finished, &app,
                         [&size](const quillow::TransferResult &r) { size = r.body.size(); });
        inet.open(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));
        // Waits for events (processEvents() with a time limit spins); the
        // timer wakes the loop to check the limit.
        QTimer wake;
        wake.start(100);
        while (size < 0 && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        inet.disconnect(&app);
        const qint64 grown = (peakKiB() - before) / 1024;
        std::printf("%6d %10.2f %8lld %14lld\n", round, double(size) / 1048576, clock.elapsed(),
                    grown);
        ok = ok && size == quillow::NetworkTransfer::kMaxBody && grown <= 16 + 96;
    }
    std::printf("target: exactly 16 MiB, peak growth at most 112 MiB: %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
