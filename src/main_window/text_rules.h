#pragma once

#include <QString>

namespace quillow {

// Removes the blank (U+0020) at both ends; tabs and other spaces stay.
QString trimBlanks(const QString &text);

// An error number that searchnf passes over, going on with the next step.
bool searchnfResumes(qint32 errorNumber);

QString internalErrorText(qint32 errorNumber);

}  // namespace quillow
