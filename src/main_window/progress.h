#pragma once

#include <QtGlobal>

namespace quillow {

// How one progress report moves the progress bar: the maximum is always
// set; the value only when the progress is within the maximum, otherwise
// the report means "go to the address in the box".
struct ProgressStep {
    int maximum = 1;
    bool setValue = false;
    int value = 0;
    bool goToAddress = false;
};

// Maximum = progressMax + 1 and value = |progress|, kept within what the
// progress bar can show (0 < maximum, 0 <= value <= maximum).
ProgressStep progressStep(qint32 progress, qint32 progressMax);

}  // namespace quillow
