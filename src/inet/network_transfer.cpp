#include "inet/network_transfer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

namespace quillow {

namespace {

// True when the reply ended before a whole HTTP answer was in. An error
// status (404, 500, ...) still brings a complete page, which the caller gets
// like any other; a broken connection, a time-out or a refused request does not.
bool transportFailed(const QNetworkReply *reply) {
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return true;
    const int e = reply->error();
    return (e > QNetworkReply::NoError && e < QNetworkReply::ProxyConnectionRefusedError) ||
           (e >= QNetworkReply::ProxyConnectionRefusedError &&
            e <= QNetworkReply::UnknownProxyError) ||
           e == QNetworkReply::ContentReSendError || e == QNetworkReply::ProtocolUnknownError ||
           e == QNetworkReply::ProtocolFailure;
}

}  // namespace

NetworkTransfer::NetworkTransfer(QObject *parent)
    : InternetTransfer(parent),
      manager_(new QNetworkAccessManager(this)),
      deadline_(new QTimer(this)) {
    // The request's own time-out fires only when nothing arrives for that
    // long; a server that sends a byte now and then is stopped here.
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] {
        if (reply_)
            fail();
    });
}

NetworkTransfer::~NetworkTransfer() {
    if (QNetworkReply *reply = reply_) {
        reply_ = nullptr;
        reply->disconnect(this);
        reply->abort();
    }
}

QUrl NetworkTransfer::webAddress(const QString &address) {
    QString text = address;
    while (text.startsWith(QLatin1Char(' ')))
        text.remove(0, 1);
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    if (text.isEmpty())
        return QUrl();
    // "scheme://..." is taken as written. "word:" not followed by a port
    // number is some other kind of address (about:, mailto:, C:\...), which
    // this component does not fetch; everything else is a host name.
    static const QRegularExpression withAuthority(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    static const QRegularExpression otherScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:(?!\\d)"));
    if (!withAuthority.match(text).hasMatch()) {
        if (otherScheme.match(text).hasMatch())
            return QUrl();
        text.prepend(QStringLiteral("http://"));
    }
    QUrl url(text);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QUrl();
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    return url;
}

TransferStart NetworkTransfer::open(const QString &address) {
    if (reply_)
        return TransferStart::Busy;
    const QUrl url = webAddress(address);
    if (!url.isValid())
        return TransferStart::NotWebAddress;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs_);
    ++transfer_;
    receiving_ = false;
    body_.clear();
    reply_ = manager_->get(request);
    // The network thread stops reading when this much waits for us: an
    // endless answer costs no more than the limit and this buffer.
    reply_->setReadBufferSize(kReadBuffer);
    deadline_->start(timeoutMs_);
    watch(reply_);
    return TransferStart::Started;
}

void NetworkTransfer::cancel() {
    if (reply_)
        end(TransferResult());
}

void NetworkTransfer::watch(QNetworkReply *reply) {
    connect(reply, &QNetworkReply::socketStartedConnecting, this, [this, reply] {
        if (reply == reply_)
            report(State::Connecting);
    });
    connect(reply, &QNetworkReply::requestSent, this, [this, reply] { onRequestSent(reply); });
    connect(reply, &QNetworkReply::metaDataChanged, this,
            [this, reply] { onResponseStarted(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        onResponseStarted(reply);
        take(reply);
    });
    connect(reply, &QNetworkReply::redirected, this, [this, reply] {
        if (reply != reply_)
            return;
        receiving_ = false;
        body_.clear();  // the redirect's own page is nobody's
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
    // Should the reply have ended inside get(), its finished() is gone.
    if (reply->isFinished())
        QTimer::singleShot(0, this, [this, reply] { onFinished(reply); });
}

void NetworkTransfer::onRequestSent(QNetworkReply *reply) {
    if (reply != reply_)
        return;
    // From here on the transfer waits for the response, which may take long;
    // report that phase now rather than leaving "request sent" on show.
    if (!report(State::Connected) || !report(State::RequestSent))
        return;
    if (!receiving_) {
        receiving_ = true;
        report(State::ReceivingResponse);
    }
}

void NetworkTransfer::onResponseStarted(QNetworkReply *reply) {
    if (reply != reply_ || receiving_)
        return;
    receiving_ = true;
    report(State::ReceivingResponse);
}

void NetworkTransfer::take(QNetworkReply *reply) {
    if (reply != reply_)
        return;
    body_ += reply->read(kMaxBody - body_.size());
    // More than the limit: the start of it is the answer, the rest is never
    // taken in.
    if (body_.size() == kMaxBody && (reply->bytesAvailable() > 0 || !reply->isFinished()))
        answer(reply, TransferResult::End::CutShort);
}

void NetworkTransfer::onFinished(QNetworkReply *reply) {
    if (reply != reply_)
        return;
    if (transportFailed(reply)) {
        fail();
        return;
    }
    take(reply);
    if (reply == reply_)
        answer(reply, TransferResult::End::Complete);
}

void NetworkTransfer::answer(QNetworkReply *reply, TransferResult::End how) {
    const TransferResult result{how, body_, reply->rawHeader("Content-Type")};
    if (!receiving_) {
        receiving_ = true;
        if (!report(State::ReceivingResponse))
            return;
    }
    if (report(State::ResponseReceived) && report(State::ResponseCompleted) &&
        report(State::Disconnected))
        end(result);
}

void NetworkTransfer::fail() {
    if (report(State::Error))
        end(TransferResult());
}

bool NetworkTransfer::report(State state) {
    const quint64 transfer = transfer_;
    emit stateChanged(state);
    return transfer == transfer_;
}

void NetworkTransfer::end(const TransferResult &result) {
    QNetworkReply *reply = reply_;
    reply_ = nullptr;
    ++transfer_;
    // Disconnect first: abort() reports OperationCanceledError and finished()
    // before it returns, and this end is none of the reply's. The reply may
    // still be coming in (cancelled, or cut at the limit).
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    deadline_->stop();
    body_.clear();
    emit finished(result);
}

}  // namespace quillow
