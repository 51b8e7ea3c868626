#include "connection/transfer_arbiter.h"

#include "connection/connection_state.h"

namespace quillow {

TransferArbiter::TransferArbiter(InternetTransfer *transfer, QString testHost, QObject *parent)
    : PageFetcher(parent), transfer_(transfer), testHost_(std::move(testHost)) {
    transfer_->setParent(this);
    connect(transfer_, &InternetTransfer::stateChanged, this, &TransferArbiter::onState);
    connect(transfer_, &InternetTransfer::finished, this, &TransferArbiter::onFinished);
}

void TransferArbiter::startConnectionTest() {
    if (transfer_->isBusy())
        return;
    if (transfer_->open(testHost_) == TransferStart::Started)
        running_ = Running::Test;
}

TransferStart TransferArbiter::fetchPage(const QString &address) {
    const bool testing = running_ == Running::Test;
    dropRunning();
    const TransferStart start = transfer_->open(address);
    if (start != TransferStart::Started) {
        if (testing)
            startConnectionTest();
        return start;
    }
    running_ = Running::Page;
    return start;
}

void TransferArbiter::cancelPageFetch() {
    if (running_ != Running::Page)
        return;
    dropRunning();
    startConnectionTest();
}

void TransferArbiter::dropRunning() {
    // Forget the transfer before cancelling it: a cancel reports its end at
    // once, and that end is nobody's result.
    running_ = Running::Nothing;
    if (transfer_->isBusy())
        transfer_->cancel();
}

void TransferArbiter::onState(InternetTransfer::State state) {
    emit stateChanged(state);
    if (running_ == Running::Test && answersConnectionTest(state))
        transfer_->cancel();
}

void TransferArbiter::onFinished(const TransferResult &result) {
    const Running ended = running_;
    running_ = Running::Nothing;
    if (ended == Running::Page)
        emit pageFetched(result);
}

}  // namespace quillow
