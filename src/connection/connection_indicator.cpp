#include "connection/connection_indicator.h"

#include <QLabel>
#include <QMouseEvent>

#include "connection/state_table.h"
#include "inet/inet.h"

namespace quillow {

ConnectionIndicator::ConnectionIndicator(QLabel *onoff, Inet *inet, QString testHost,
                                         QObject *parent)
    : QObject(parent), onoff_(onoff), inet_(inet), testHost_(std::move(testHost)) {
    if (inet_) {
        connect(inet_, &Inet::StateChanged, this, &ConnectionIndicator::onState);
        connect(inet_, &Inet::finished, this, &ConnectionIndicator::onFinished);
    }
    if (onoff_)
        onoff_->installEventFilter(this);
}

void ConnectionIndicator::retest() {
    if (!inet_ || inet_->busy())
        return;
    if (inet_->OpenURL(testHost_))
        running_ = Running::Test;
}

bool ConnectionIndicator::fetchPage(const QString &address) {
    if (!inet_)
        return false;
    dropRunning();
    if (!inet_->OpenURL(address))
        return false;
    running_ = Running::Page;
    return true;
}

void ConnectionIndicator::cancelPage() {
    if (running_ == Running::Page)
        dropRunning();
}

void ConnectionIndicator::dropRunning() {
    // Forget the transfer before cancelling it: Cancel reports its end at
    // once, and that end is nobody's result.
    running_ = Running::Nothing;
    if (inet_->busy())
        inet_->Cancel();
}

void ConnectionIndicator::onState(int state) {
    const StateAction action = stateAction(state);
    if (onoff_)
        onoff_->setText(action.text);
    // Only a test is cut short once its answer is known; a page fetch must
    // bring its whole text.
    if (action.cancel && running_ == Running::Test)
        inet_->Cancel();
}

void ConnectionIndicator::onFinished(bool ok, const QByteArray &body) {
    const Running ended = running_;
    running_ = Running::Nothing;
    if (ended == Running::Page)
        emit pageFetched(ok, body);
}

bool ConnectionIndicator::eventFilter(QObject *watched, QEvent *event) {
    // The event type first: onoff_ sends its last events while it is being
    // destroyed, when even comparing with it would cast a half-gone label.
    if (event->type() == QEvent::MouseButtonRelease && watched == onoff_) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            onoff_->rect().contains(mouse->position().toPoint()))
            retest();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quillow
