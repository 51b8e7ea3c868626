#include "http_server.h"

#include <QTcpSocket>

using namespace Qt::StringLiterals;
namespace quillow::test {

HttpServer::HttpServer(QObject *parent) : QObject(parent), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::pendingConnectionAvailable, this, &HttpServer::onConnection);
}

bool HttpServer::listen(quint16 port) {
    return server_->listen(QHostAddress::LocalHost, port);
}

QString HttpServer::url(const QString &path) const {
    return u"http://127.0.0.1:%1%2"_s.arg(port()).arg(path);
}

void HttpServer::onConnection() {
    while (QTcpSocket *socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        auto *buffer = new QByteArray;
        // Not tied to the server: a socket still open when the server goes
        // is destroyed after the server's connections are cut.
        connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            heads.append(buffer->left(end));
            const QByteArray line = buffer->left(buffer->indexOf("\r\n"));
            const QList<QByteArray> parts = line.split(' ');
            buffer->clear();
            answer(socket, parts.size() > 1 ? parts.at(1) : QByteArray("/"), heads.last());
        });
    }
}

void HttpServer::answer(QTcpSocket *socket, const QByteArray &target, const QByteArray &request) {
    const QString path = QString::fromLatin1(target);
    requests.append(path);
    QString routeKey = path;
    if (!routes_.contains(routeKey))
        routeKey = path.section(QLatin1Char('?'), 0, 0);
    Response r;
    if (routes_.contains(routeKey)) {
        r = routes_.value(routeKey);
    } else {
        r.status = 404;
        r.body = "<html><body>not found</body></html>";
    }
    if (r.silent)
        return;
    if (!r.authorization.isEmpty() &&
        !(request + "\r\n").contains("\r\nAuthorization: " + r.authorization + "\r\n")) {
        r.status = 401;
        r.headers += "WWW-Authenticate: Basic realm=\"Test Realm\"\r\n";
        r.body = "<html><head><title>refused</title></head><body>refused</body></html>";
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + " Status\r\n" +
                      "Content-Type: " + r.contentType + "\r\n" +
                      "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n" + r.headers +
                      "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
    socket->write(head);
    if (r.trickleMs > 0) {
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, body = r.body, sent = 0]() mutable {
            if (sent < body.size())
                socket->write(body.mid(sent++, 1));
        });
        timer->start(r.trickleMs);
        return;
    }
    socket->write(r.body);
    socket->disconnectFromHost();
}

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

}  // namespace quillow::test
