#pragma once

#include <QCoreApplication>
#include <QString>

#include "browser/blocking_record.h"

namespace quillow {

// An entry of the blocking record as its row shows it.
struct EntryTexts {
    QString what;  // what was done, with the resource or address it names
    QString kind;  // what the page asked for
    QString address;
    QString rule;
    QString list;
};

class BlockingLogTexts {
    Q_DECLARE_TR_FUNCTIONS(BlockingLogTexts)
public:
    static EntryTexts of(const BlockingEntry &entry);
    // What the request was for, as the user names it.
    static QString kindName(filter::RequestKind kind);
    // The line above the entries: how many, of which page.
    static QString summary(const BlockingRecord &record);
};

}  // namespace quillow
