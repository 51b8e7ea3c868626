#include "main_window/progress.h"

#include <algorithm>
#include <limits>

namespace quillow {

ProgressStep progressStep(qint32 progress, qint32 progressMax) {
    ProgressStep step;
    const qint64 maximum = qint64(progressMax) + 1;
    step.maximum = int(std::clamp<qint64>(maximum, 1, std::numeric_limits<int>::max()));
    if (progress <= progressMax) {
        const qint64 value = progress < 0 ? -qint64(progress) : qint64(progress);
        step.setValue = true;
        step.value = int(std::min<qint64>(value, step.maximum));
    } else {
        step.goToAddress = true;
    }
    return step;
}

}  // namespace quillow
