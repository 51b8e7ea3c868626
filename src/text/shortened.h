#pragma once

#include <QString>

namespace quillow {

// text in at most max characters: cut there, with an ellipsis, when it is
// longer, or when it is only the start of something longer (more).
inline QString shortened(const QString &text, qsizetype max, bool more = false) {
    if (text.size() <= max && !more)
        return text;
    return text.left(max) + QChar(0x2026);
}

}  // namespace quillow
