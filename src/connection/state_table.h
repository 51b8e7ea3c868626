#pragma once

#include <QString>

namespace quillow {

// What the connection label does with one state code of the Internet
// Transfer component: the text it shows, and whether the test is over and
// its transfer should be cancelled.
struct StateAction {
    QString text;
    bool cancel = false;
};

StateAction stateAction(int state);

}  // namespace quillow
