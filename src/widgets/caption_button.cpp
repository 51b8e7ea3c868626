#include "widgets/caption_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace quillow {

void CaptionButton::paintEvent(QPaintEvent *) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    // A button narrower than its caption ("<" on a sliver of a button) lends
    // the caption its bevel too.
    if (fontMetrics().horizontalAdvance(caption) > area.width())
        area = rect();
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, caption);
}

}  // namespace quillow
