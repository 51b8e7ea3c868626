#include "main_window/text_rules.h"

namespace quillow {

namespace {
const QString kSupportMail = QStringLiteral("quillow@example.org");
}

QString trimBlanks(const QString &text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

bool searchnfResumes(qint32 errorNumber) {
    return errorNumber == 0 || errorNumber == 5 || errorNumber == 20 || errorNumber == 85;
}

QString internalErrorText(qint32 errorNumber) {
    return QStringLiteral("Error #%1 Please report it by emailing %2")
        .arg(errorNumber)
        .arg(kSupportMail);
}

}  // namespace quillow
