#pragma once

#include <QString>

#include "core/page_fetcher.h"

namespace quillow {

// A main window's one transfer component, shared by the connection tests
// and the HTML window's page fetches. A page fetch takes precedence over a
// test and is never cut short; a test is cancelled once it has its answer.
// Every state of either reaches stateChanged, which the connection label
// follows.
class TransferArbiter : public PageFetcher {
    Q_OBJECT
public:
    // Takes ownership of transfer; testHost is what a connection test fetches.
    TransferArbiter(InternetTransfer *transfer, QString testHost, QObject *parent = nullptr);

    // Starts a connection test and returns at once. Refused quietly while
    // any transfer runs, so a dragged window border does not pile up tests.
    void startConnectionTest();

    // Cancels a running test or an earlier page fetch first. When the
    // address cannot be fetched, a test it cancelled starts again, so the
    // label ends on an answer.
    TransferStart fetchPage(const QString &address) override;
    // Also tests the connection instead, so the label does not keep the
    // fetch's last state.
    void cancelPageFetch() override;
    bool isFetchingPage() const { return running_ == Running::Page; }
    bool isBusy() const { return transfer_->isBusy(); }

Q_SIGNALS:
    void stateChanged(quillow::InternetTransfer::State state);

private:
    enum class Running { Nothing, Test, Page };

    void onState(InternetTransfer::State state);
    void onFinished(const TransferResult &result);
    // Cancels whatever runs, without reporting its end.
    void dropRunning();

    InternetTransfer *transfer_;
    QString testHost_;
    Running running_ = Running::Nothing;
};

}  // namespace quillow
