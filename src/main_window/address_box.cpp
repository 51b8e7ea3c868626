#include "main_window/address_box.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <utility>

namespace quillow {

AddressBox::AddressBox(QWidget *parent) : QComboBox(parent) {
    setEditable(true);
    // The list is the history of loaded pages only; Enter must not add to it,
    // nor pick an entry by itself.
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
    setCompleter(nullptr);
    lineEdit()->installEventFilter(this);
    // Qt also reports a text that equals an entry when the box loses the
    // focus; only a pick from the open list counts.
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (!listOpen_ || index == -1)
            return;
        listOpen_ = false;
        emit addressChosen(currentText());
    });
}

void AddressBox::takeFocus() {
    setFocus(Qt::OtherFocusReason);
    lineEdit()->selectAll();
}

bool AddressBox::holdsFocus() const {
    const QWidget *focus = window()->focusWidget();
    return focus == this || focus == lineEdit();
}

void AddressBox::showAddress(const QString &address) {
    if (holdsFocus() && lineEdit()->isModified())
        return;
    setEditText(address);
    if (holdsFocus())
        lineEdit()->selectAll();
}

void AddressBox::focusInEvent(QFocusEvent *event) {
    QComboBox::focusInEvent(event);
    // As in every browser: the window coming to the front, or the first
    // click into the box, selects the address the user has not typed; a
    // second click places the caret.
    if (event->reason() == Qt::ActiveWindowFocusReason && !lineEdit()->isModified())
        lineEdit()->selectAll();
    selectOnRelease_ = event->reason() == Qt::MouseFocusReason;
}

bool AddressBox::eventFilter(QObject *watched, QEvent *event) {
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease &&
        std::exchange(selectOnRelease_, false) && !lineEdit()->hasSelectedText())
        QTimer::singleShot(0, lineEdit(), &QLineEdit::selectAll);
    return QComboBox::eventFilter(watched, event);
}

void AddressBox::remember(const QString &address) {
    // Adding the first item would replace what the box shows, and its
    // selection, which the first keys are to replace.
    QLineEdit *line = lineEdit();
    const QString shown = currentText();
    const bool modified = line->isModified();
    const int selectionStart = line->selectionStart();
    const int selectionLength = line->selectionLength();
    const int cursor = line->cursorPosition();
    if (count() >= kHistoryLimit)
        removeItem(0);
    addItem(address);
    setEditText(shown);
    line->setModified(modified);
    if (selectionStart >= 0)
        line->setSelection(selectionStart, selectionLength);
    else
        line->setCursorPosition(cursor);
}

void AddressBox::showPopup() {
    listOpen_ = true;
    QComboBox::showPopup();
}

void AddressBox::hidePopup() {
    QComboBox::hidePopup();
    // A pick is reported right after the list closes, in the same event.
    QTimer::singleShot(0, this, [this] { listOpen_ = false; });
}

void AddressBox::keyPressEvent(QKeyEvent *event) {
    const int key = event->key();
    // Whatever the modifiers; the key itself still reaches the box.
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        emit addressChosen(currentText());
    QComboBox::keyPressEvent(event);
}

void AddressBox::wheelEvent(QWheelEvent *event) {
    event->ignore();
}

}  // namespace quillow
