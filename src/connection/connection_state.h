#pragma once

#include <QString>

#include "inet/internet_transfer.h"

namespace quillow {

// What the connection label shows for a state of the transfer component:
// "Offline", "Testing.", "Online", or the state's number.
QString connectionStateText(InternetTransfer::State state);

// Whether a connection test has its answer at this state, so that the rest
// of its transfer can be cancelled.
bool answersConnectionTest(InternetTransfer::State state);

}  // namespace quillow
