#include "widgets/status_bar.h"

#include <QAccessibleWidget>
#include <QLabel>

#include "widgets/desktop_colours.h"
#include "widgets/twips.h"

namespace quillow {

namespace {
// Panel widths as designed, in twips.
constexpr int kPanelWidths[] = {6000, 1440, 2925};

// Readers announce it as a status bar, not as a plain filler.
QAccessibleInterface *statusBarAccessible(const QString &className, QObject *object) {
    if (className == QLatin1String("quillow::StatusBar") && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::StatusBar);
    return nullptr;
}

QLabel *makeLabel(QWidget *parent, const QString &name, const QFont &font) {
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setIndent(2);
    return label;
}
}  // namespace

StatusBar::StatusBar(QWidget *parent) : QWidget(parent) {
    static const bool announced = (QAccessible::installFactory(statusBarAccessible), true);
    Q_UNUSED(announced);
    setAutoFillBackground(true);
    useDesktopColours(this);
    QFont small = font();
    small.setPointSizeF(8.25);
    for (int i = 0; i < kPanelCount; ++i) {
        panels_[i] = makeLabel(this, QStringLiteral("panel(%1)").arg(i + 1), small);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    message_ = makeLabel(this, QStringLiteral("simpletext"), small);
    // A reader says what the labels show; these only say what it is.
    panels_[0]->setAccessibleDescription(tr("Page status"));
    panels_[1]->setAccessibleDescription(tr("Popups refused"));
    message_->setAccessibleDescription(tr("Status"));
}

QString StatusBar::pageStatus() const {
    return panels_[0]->text();
}

void StatusBar::setPageStatus(const QString &text) {
    panels_[0]->setText(text);
}

QString StatusBar::popupCount() const {
    return panels_[1]->text();
}

void StatusBar::setPopupCount(const QString &text) {
    panels_[1]->setText(text);
}

void StatusBar::setPopupDetails(const QString &text) {
    panels_[1]->setToolTip(text);
    panels_[1]->setAccessibleDescription(text);
}

QString StatusBar::message() const {
    return message_->text();
}

void StatusBar::setMessage(const QString &text) {
    message_->setText(text);
}

void StatusBar::resizeEvent(QResizeEvent *) {
    const int rowHeight = height() / 2;
    message_->setGeometry(0, 0, width(), rowHeight);
    int left = 0;
    for (int i = 0; i < kPanelCount; ++i) {
        const int w = twips(kPanelWidths[i]);
        panels_[i]->setGeometry(left, rowHeight, w, height() - rowHeight);
        left += w;
    }
}

}  // namespace quillow
