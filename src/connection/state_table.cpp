#include "connection/state_table.h"

namespace quillow {

StateAction stateAction(int state) {
    switch (state) {
        // Still looking up the host counts as no connection.
        case 1:
            return {QStringLiteral("Offline"), true};
        case 3:
        case 7:
            return {QStringLiteral("Testing."), false};
        // An answer proves the connection; no need to fetch the rest.
        case 8:
        case 10:
            return {QStringLiteral("Online"), true};
        case 11:
            return {QStringLiteral("Offline"), false};
        default:
            return {QString::number(state), false};
    }
}

}  // namespace quillow
