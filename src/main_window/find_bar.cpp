#include "main_window/find_bar.h"

#include <algorithm>

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "browser/browser.h"
#include "widgets/desktop_colours.h"

namespace quillow {

FindBar::FindBar(Browser *browser, QWidget *floor, QWidget *parent)
    : QWidget(parent), browser_(browser), page_(browser->widget()), floor_(floor) {
    setObjectName(QStringLiteral("findbar"));
    setAutoFillBackground(true);
    useDesktopColours(this);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    auto *caption = new QLabel(tr("Find:"), this);
    text_ = new QLineEdit(this);
    text_->setObjectName(QStringLiteral("findtext"));
    text_->setAccessibleName(tr("Find in page"));
    caption->setBuddy(text_);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("findresult"));
    layout->addWidget(caption);
    layout->addWidget(text_, 1);
    layout->addWidget(result_);
    text_->installEventFilter(this);
    page_->installEventFilter(this);
    // Matches show as the user types.
    connect(text_, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (text.isEmpty())
            result_->clear();
        browser_->findText(text, false);
    });
    connect(browser_, &Browser::findFinished, this, &FindBar::showResult);
    hide();
}

void FindBar::open() {
    follow();
    show();
    raise();
    text_->setFocus(Qt::ShortcutFocusReason);
    text_->selectAll();
}

void FindBar::findNext(bool backward) {
    if (isHidden())
        return open();
    if (!text_->text().isEmpty())
        browser_->findText(text_->text(), backward);
}

void FindBar::dismiss() {
    hide();
    result_->clear();
    browser_->findText(QString(), false);
    browser_->giveFocus();
}

void FindBar::follow() {
    const QRect page = page_->geometry();
    const int height = sizeHint().height();
    const int bottom = std::min(page.bottom(), floor_->geometry().top() - 1);
    setGeometry(page.x(), bottom + 1 - height, page.width(), height);
}

void FindBar::showResult(int active, int matches) {
    if (isHidden() || text_->text().isEmpty())
        return;
    result_->setText(matches > 0 ? tr("%1 of %2").arg(active).arg(matches) : tr("Not found"));
}

bool FindBar::eventFilter(QObject *watched, QEvent *event) {
    if (watched == page_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        follow();
    } else if (watched == text_ && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool back = key->modifiers() & Qt::ShiftModifier;
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                findNext(back);
                return true;
            case Qt::Key_Escape:
                dismiss();
                return true;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quillow
