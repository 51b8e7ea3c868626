#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>

namespace quillow::test {

// A small HTTP/1.1 server on 127.0.0.1 for tests: serves fixed responses by
// path, and can accept a connection and never answer.
class HttpServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        QByteArray headers;   // further header lines, each ending in CR LF
        bool silent = false;  // accept, read the request, never answer
        // When set, a request without this Authorization header value is
        // refused with 401, a Basic challenge and a page titled "refused".
        QByteArray authorization;
        int trickleMs = 0;  // send the body a byte at a time, this far apart
    };

    explicit HttpServer(QObject *parent = nullptr);
    // Listens on a loopback port; 0 picks a free one.
    bool listen(quint16 port = 0);
    quint16 port() const { return server_->serverPort(); }
    QString url(const QString &path) const;

    void route(const QString &path, const Response &response) { routes_[path] = response; }
    void route(const QString &path, const QByteArray &html) { routes_[path].body = html; }

    // Request paths (with query) in the order they arrived, and their
    // request lines and headers.
    QStringList requests;
    QList<QByteArray> heads;

private:
    void onConnection();
    void answer(class QTcpSocket *socket, const QByteArray &path, const QByteArray &request);

    QTcpServer *server_;
    QHash<QString, Response> routes_;
};

// A loopback port on which nothing listens.
quint16 closedPort();

}  // namespace quillow::test
