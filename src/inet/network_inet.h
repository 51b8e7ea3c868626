#pragma once

#include <QUrl>

#include "inet/inet.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace quillow {

// The Internet Transfer component on Qt Network. One transfer at a time;
// the states follow the reply's real phases:
//
//   3  the socket starts connecting (not seen when a connection is reused)
//   4  connected, 6 request sent, 7 waiting for and receiving the response:
//      all three as soon as the request has gone out
//   7  also on the first response header or data, if not reported yet
//   8  the whole response is in (any HTTP status), then 12 and 10,
//      then finished(true, body)
//   11 the transfer failed (no connection, unknown host, time-out, the
//      server closing early), then finished(false)
//
// A redirect starts the connecting states again. States 1, 2, 5 and 9 are
// never reported: Qt does not show host lookup or the start of sending.
// A Cancel, also from inside a StateChanged handler, ends the transfer at
// once with finished(false) and no further states.
class NetworkInet : public Inet {
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 60000;

    explicit NetworkInet(QObject *parent = nullptr);
    ~NetworkInet() override;

    bool OpenURL(const QString &address) override;
    void Cancel() override;
    bool busy() const override { return reply_ != nullptr; }

    // Applies to transfers started afterwards.
    void setTimeout(int ms) { timeoutMs_ = ms; }

    // The http(s) address that OpenURL fetches for address: a bare host
    // name or host:port gets "http://" and the start page "/". Invalid for
    // anything else (empty, about:, file paths, other schemes).
    static QUrl webAddress(const QString &address);

private:
    void watch(QNetworkReply *reply);
    void onConnecting(QNetworkReply *reply);
    void onRequestSent(QNetworkReply *reply);
    void onResponseStarted(QNetworkReply *reply);
    void onFinished(QNetworkReply *reply);
    // Emits state; false when a handler ended or replaced the transfer.
    bool report(int state);
    void end(bool ok, const QByteArray &body);

    QNetworkAccessManager *manager_;
    QNetworkReply *reply_ = nullptr;
    quint64 transfer_ = 0;  // changes whenever a transfer starts or ends
    bool receiving_ = false;
    int timeoutMs_ = kDefaultTimeoutMs;
};

}  // namespace quillow
