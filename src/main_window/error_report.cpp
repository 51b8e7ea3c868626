#include "main_window/error_report.h"

namespace quillow {

namespace {

const QString kSupportMail = QStringLiteral("quillow@example.org");

// The one table of error numbers. Reports have always carried these, so a
// number quoted in an old report still names the same failure.
struct Row {
    BrowserResult result;
    qint32 number;
    bool goesOn;
};
constexpr Row kRows[] = {
    {BrowserResult::Done, 0, true},
    {BrowserResult::CannotTakeFocus, 5, true},
    {BrowserResult::NoPageThere, -2147467259, false},   // 0x80004005
    {BrowserResult::NotAnAddress, -2147024809, false},  // 0x80070057
};

const Row &rowOf(BrowserResult result) {
    for (const Row &row : kRows)
        if (row.result == result)
            return row;
    return kRows[0];
}

}  // namespace

bool goesOnAfter(BrowserResult result) {
    return rowOf(result).goesOn;
}

QString internalErrorText(BrowserResult result) {
    return QStringLiteral("Error #%1 Please report it by emailing %2")
        .arg(rowOf(result).number)
        .arg(kSupportMail);
}

}  // namespace quillow
