#pragma once

#include <QFont>

namespace quillow {

// The windows' designed places were drawn for a compact 8 point sans serif;
// a wider default font would cut their captions off. The first families
// are rarely on a Linux desktop; the later ones are close free stand-ins.
inline QFont designFont(qreal pointSize = 8) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}

}  // namespace quillow
