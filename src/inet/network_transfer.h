#pragma once

#include <QUrl>

#include "inet/internet_transfer.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace quillow {

// The Internet Transfer component on Qt Network. One transfer at a time;
// the states follow the reply's real phases:
//
//   Connecting         the socket starts connecting (not seen when a
//                      connection is reused)
//   Connected, RequestSent, ReceivingResponse
//                      all three as soon as the request has gone out
//   ReceivingResponse  also on the first response header or data, if not
//                      reported yet
//   ResponseReceived   the whole response is in (any HTTP status), then
//                      ResponseCompleted and Disconnected, then
//                      finished() with the answer
//   Error              the transfer failed (no connection, unknown host,
//                      time-out, the server closing early), then
//                      finished() Failed
//
// An answer longer than kMaxBody ends there, with its start as the body
// (CutShort). A transfer still running after the time-out fails, also one
// that keeps sending. A redirect starts the connecting states again. ResolvingHost,
// HostResolved, Requesting and Disconnecting are never reported: Qt does
// not show host lookup or the start of sending. A cancel, also from inside
// a stateChanged handler, ends the transfer at once with finished() Failed
// and no further states.
class NetworkTransfer : public InternetTransfer {
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 60000;
    static constexpr qint64 kMaxBody = 16 * 1024 * 1024;
    static constexpr qint64 kReadBuffer = 1024 * 1024;

    explicit NetworkTransfer(QObject *parent = nullptr);
    ~NetworkTransfer() override;

    TransferStart open(const QString &address) override;
    void cancel() override;
    bool isBusy() const override { return reply_ != nullptr; }

    // For the whole transfer, and for the wait for each piece of it;
    // applies to transfers started afterwards.
    void setTimeout(int ms) { timeoutMs_ = ms; }

    // The http(s) address that open() fetches for address: a bare host name
    // or host:port gets "http://" and the start page "/". Invalid for
    // anything else (empty, about:, file paths, other schemes).
    static QUrl webAddress(const QString &address);

private:
    void watch(QNetworkReply *reply);
    void onRequestSent(QNetworkReply *reply);
    void onResponseStarted(QNetworkReply *reply);
    void onFinished(QNetworkReply *reply);
    // Takes what arrived, up to the limit.
    void take(QNetworkReply *reply);
    void answer(QNetworkReply *reply, TransferResult::End how);
    void fail();
    // Emits state; false when a handler ended or replaced the transfer.
    bool report(State state);
    // Ends the running transfer with result.
    void end(const TransferResult &result);

    QNetworkAccessManager *manager_;
    QTimer *deadline_;
    QNetworkReply *reply_ = nullptr;
    QByteArray body_;
    quint64 transfer_ = 0;  // changes whenever a transfer starts or ends
    bool receiving_ = false;
    int timeoutMs_ = kDefaultTimeoutMs;
};

}  // namespace quillow
