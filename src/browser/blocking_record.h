#pragma once

#include <QList>
#include <QString>

#include "filter/request_kind.h"

namespace quillow {

// One thing content blocking did to the page on show, as the user is shown
// it: the texts are filled in, nothing is left to look up.
struct BlockingEntry {
    enum class Action {
        Refused,           // the request was not made
        Redirected,        // answered with a neutral resource of Quillow's own
        Cleaned,           // sent on without its tracking parameters
        ScriptletApplied,  // a script of the lists ran in the page
    };
    Action action = Action::Refused;
    filter::RequestKind kind = filter::RequestKind::Other;
    // The request's address; a scriptlet's is the page's. Long ones are cut
    // (with an ellipsis).
    QString address;
    // The neutral resource's name, the address sent to instead, or the
    // scriptlet as the lists write it.
    QString detail;
    // The rule that decided and the name of its list; both empty when the
    // lists have changed since.
    QString rule;
    QString list;
};

// What content blocking did to the page at `page`, oldest first.
struct BlockingRecord {
    QString page;
    QList<BlockingEntry> entries;
};

}  // namespace quillow
