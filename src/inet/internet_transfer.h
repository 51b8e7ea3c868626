#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

namespace quillow {

// What one transfer brought.
struct TransferResult {
    bool ok = false;  // a whole answer came in (any HTTP status)
    QByteArray body;
    QByteArray contentType;  // the answer's Content-Type header, as sent
    bool cutShort = false;   // the answer was too long: body is its start
};

// The Internet Transfer component: fetches one address at a time and
// reports the phases of the transfer as state codes.
class InternetTransfer : public QObject {
    Q_OBJECT
public:
    enum class State {
        NoState = 0,
        ResolvingHost = 1,
        HostResolved = 2,
        Connecting = 3,
        Connected = 4,
        Requesting = 5,
        RequestSent = 6,
        ReceivingResponse = 7,
        ResponseReceived = 8,
        Disconnecting = 9,
        Disconnected = 10,
        Error = 11,
        ResponseCompleted = 12,
    };
    Q_ENUM(State)

    using QObject::QObject;

    // Starts fetching address and returns at once; false (and nothing
    // started) while an earlier transfer still runs or when address is not
    // a web address. A bare host name means that host's start page.
    virtual bool open(const QString &address) = 0;
    // Ends the running transfer, if any; its finished() reports failure.
    virtual void cancel() = 0;
    virtual bool isBusy() const = 0;

Q_SIGNALS:
    void stateChanged(quillow::InternetTransfer::State state);
    // The end of every transfer that open() started: ok with the whole
    // answer, or not ok (error, time-out or cancel).
    void finished(const quillow::TransferResult &result);
};

using TransferFactory = std::function<InternetTransfer *(QObject *parent)>;

}  // namespace quillow
