#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

namespace quillow {

// How one transfer ended, and what it brought.
struct TransferResult {
    enum class End {
        Failed,    // no answer: an error, the time-out or a cancel
        Complete,  // the whole answer came in (any HTTP status)
        CutShort,  // the answer was too long: body is its start
    };
    End end = End::Failed;
    QByteArray body;
    QByteArray contentType;  // the answer's Content-Type header, as sent
    bool answered() const { return end != End::Failed; }
};

// What asking for a transfer did.
enum class TransferStart {
    Started,        // its end comes through finished()
    Busy,           // an earlier transfer still runs
    NotWebAddress,  // nothing this component fetches
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

    // Starts fetching address and returns at once. A bare host name means
    // that host's start page.
    virtual TransferStart open(const QString &address) = 0;
    // Ends the running transfer, if any; its finished() reports it failed.
    virtual void cancel() = 0;
    virtual bool isBusy() const = 0;

Q_SIGNALS:
    void stateChanged(quillow::InternetTransfer::State state);
    // The end of every transfer that open() started, once.
    void finished(const quillow::TransferResult &result);
};

using TransferFactory = std::function<InternetTransfer *(QObject *parent)>;

}  // namespace quillow
