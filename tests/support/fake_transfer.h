#pragma once

#include <QStringList>

#include "inet/internet_transfer.h"

namespace quillow::test {

// A scripted transfer component: records open and cancel, and lets the
// test report states and the end of the transfer.
class FakeTransfer : public InternetTransfer {
    Q_OBJECT
public:
    using InternetTransfer::InternetTransfer;

    QStringList opened;
    int cancels = 0;
    bool running = false;

    bool open(const QString &address) override {
        if (running)
            return false;
        opened.append(address);
        return running = true;
    }
    void cancel() override {
        ++cancels;
        if (running)
            finish(false);
    }
    bool isBusy() const override { return running; }

    void report(State state) { emit stateChanged(state); }
    void finish(bool ok, const QByteArray &body = QByteArray(),
                const QByteArray &contentType = QByteArray(), bool cutShort = false) {
        running = false;
        emit finished(TransferResult{ok, body, contentType, cutShort});
    }
};

}  // namespace quillow::test
