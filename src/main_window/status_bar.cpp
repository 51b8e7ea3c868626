#include "main_window/status_bar.h"

#include <QLabel>

#include "main_window/desktop_colours.h"
#include "main_window/twips.h"

namespace quillow {

namespace {
// Panel widths as designed, in twips.
constexpr int kPanelWidths[StatusBar::kPanelCount] = {6000, 1440, 2925};
}  // namespace

StatusBar::StatusBar(QWidget *parent) : QWidget(parent) {
    setAutoFillBackground(true);
    useDesktopColours(this);
    QFont small = font();
    small.setPointSizeF(8.25);
    for (int i = 0; i < kPanelCount; ++i) {
        auto *panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("panel(%1)").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setFont(small);
        panel->setTextFormat(Qt::PlainText);
        panel->setIndent(2);
        panels_[i] = panel;
    }
    simple_ = new QLabel(this);
    simple_->setObjectName(QStringLiteral("simpletext"));
    simple_->setFont(small);
    simple_->setTextFormat(Qt::PlainText);
    simple_->setIndent(2);
    panels_[0]->setAccessibleName(tr("Page status"));
    panels_[1]->setAccessibleName(tr("Popups refused"));
    simple_->setAccessibleName(tr("Status"));
}

QString StatusBar::panelText(int panel) const {
    return panels_[panel - 1]->text();
}

void StatusBar::setPanelText(int panel, const QString &text) {
    panels_[panel - 1]->setText(text);
}

QString StatusBar::simpleText() const {
    return simple_->text();
}

void StatusBar::setSimpleText(const QString &text) {
    simple_->setText(text);
}

void StatusBar::resizeEvent(QResizeEvent *) {
    const int rowHeight = height() / 2;
    simple_->setGeometry(0, 0, width(), rowHeight);
    int left = 0;
    for (int i = 0; i < kPanelCount; ++i) {
        const int w = twips(kPanelWidths[i]);
        panels_[i]->setGeometry(left, rowHeight, w, height() - rowHeight);
        left += w;
    }
}

}  // namespace quillow
