#include "connection/connection_state.h"

namespace quillow {

using State = InternetTransfer::State;

QString connectionStateText(State state) {
    switch (state) {
        // Still looking up the host counts as no connection.
        case State::ResolvingHost:
        case State::Error:
            return QStringLiteral("Offline");
        case State::Connecting:
        case State::ReceivingResponse:
            return QStringLiteral("Testing.");
        case State::ResponseReceived:
        case State::Disconnected:
            return QStringLiteral("Online");
        default:
            return QString::number(int(state));
    }
}

bool answersConnectionTest(State state) {
    // An answer proves the connection, a host lookup that is still running
    // counts as none: either way the rest need not be fetched.
    return state == State::ResolvingHost || state == State::ResponseReceived ||
           state == State::Disconnected;
}

}  // namespace quillow
