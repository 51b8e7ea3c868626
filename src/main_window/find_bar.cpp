#include "main_window/find_bar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "browser/browser.h"
#include "widgets/desktop_colours.h"

namespace quillow {

FindBar::FindBar(Browser *browser, QWidget *parent) : QWidget(parent), browser_(browser) {
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
    // Matches show as the user types.
    connect(text_, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (text.isEmpty())
            result_->clear();
        search(text, false);
    });
    connect(browser_, &Browser::findFinished, this, &FindBar::showResult);
    // Another page has other matches, if any: its count is not known yet.
    connect(browser_, &Browser::navigationCompleted, this, [this] {
        answerAwaited_ = false;
        result_->clear();
    });
    hide();
}

void FindBar::open() {
    const bool reopened = isHidden();
    show();
    raise();
    text_->setFocus(Qt::ShortcutFocusReason);
    text_->selectAll();
    if (reopened) {
        emit shownChanged();
        if (!text_->text().isEmpty())
            search(text_->text(), false);
    }
}

void FindBar::findNext(bool backward) {
    if (isHidden())
        return open();
    if (!text_->text().isEmpty())
        search(text_->text(), backward);
}

void FindBar::search(const QString &text, bool backward) {
    answerAwaited_ = !text.isEmpty();
    browser_->findText(text, backward);
}

void FindBar::dismiss() {
    hide();
    result_->clear();
    search(QString(), false);
    emit shownChanged();
    browser_->giveFocus();
}

void FindBar::showResult(int active, int matches) {
    if (!answerAwaited_ || isHidden())
        return;
    result_->setText(matches > 0 ? tr("%1 of %2").arg(active).arg(matches) : tr("Not found"));
}

bool FindBar::eventFilter(QObject *watched, QEvent *event) {
    if (watched == text_ && event->type() == QEvent::KeyPress) {
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
