#pragma once

#include <QStringList>

#include "inet/internet_transfer.h"

namespace quillow::test {

// A scripted transfer component: records open and cancel; the test reports
// its states and its end.
class FakeTransfer : public InternetTransfer {
    Q_OBJECT
public:
    using InternetTransfer::InternetTransfer;

    QStringList opened;
    int cancels = 0;
    bool running = false;

    TransferStart open(const QString &address) override {
        if (running)
            return TransferStart::Busy;
        opened.append(address);
        running = true;
        return TransferStart::Started;
    }
    void cancel() override {
        ++cancels;
        if (running)
            finish(TransferResult::End::Failed);
    }
    bool isBusy() const override { return running; }

    void report(State state) { emit stateChanged(state); }
    // The transfer ends; a body alone means it came in whole.
    void finish(TransferResult::End end, const QByteArray &body = QByteArray(),
                const QByteArray &contentType = QByteArray()) {
        running = false;
        emit finished(TransferResult{end, body, contentType});
    }
    void finish(const QByteArray &body) { finish(TransferResult::End::Complete, body); }
};

}  // namespace quillow::test
