#include "favorites/favorites_panel.h"

#include <QDir>
#include <QEvent>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>

#include "app/message_boxes.h"
#include "browser/browser.h"

namespace quillow {

FavoritesPanel::FavoritesPanel(FavoritesList *list, QListWidget *view, QPushButton *addButton,
                               QPushButton *removeButton, Browser *browser, MessageBoxes *messages,
                               std::function<void()> favoritesCommand, QWidget *window)
    : QObject(window),
      list_(list),
      view_(view),
      browser_(browser),
      messages_(messages),
      favoritesCommand_(std::move(favoritesCommand)),
      window_(window) {
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setUniformItemSizes(true);
    refill();

    connect(list, &FavoritesList::reset, this, &FavoritesPanel::refill);
    connect(list, &FavoritesList::inserted, this, &FavoritesPanel::insertRow);
    connect(list, &FavoritesList::removed, this, &FavoritesPanel::removeRow);

    connect(addButton, &QPushButton::clicked, this, &FavoritesPanel::add);
    connect(removeButton, &QPushButton::clicked, this, &FavoritesPanel::remove);

    // A mouse click chooses even the entry that is already selected; a key
    // chooses when it moves the selection. A selection that moves because
    // the list changed, or the current row that focus brings, chooses nothing.
    connect(view, &QListWidget::itemClicked, this, [this] { choose(); });
    connect(view, &QListWidget::itemSelectionChanged, this, &FavoritesPanel::selectionChanged);
    watchedList_ = view;
    watchedViewport_ = view->viewport();
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
}

QString FavoritesPanel::shownText(const QString &text) {
    if (text.size() <= kShownLength)
        return text;
    return text.left(kShownLength) + QChar(0x2026);
}

int FavoritesPanel::selectedPosition() const {
    if (!view_)
        return -1;
    const QList<QListWidgetItem *> selected = view_->selectedItems();
    return selected.isEmpty() ? -1 : view_->row(selected.first());
}

void FavoritesPanel::add() {
    report(list_->add(browser_->location()));
}

void FavoritesPanel::remove() {
    report(list_->remove(selectedPosition()));
}

void FavoritesPanel::choose() {
    const int position = selectedPosition();
    if (position < 0)
        return;  // a click beside the entries, or one that cleared the selection
    // The whole entry, not the text shown, which may be cut short.
    browser_->navigate(list_->text(position));
    if (favoritesCommand_)
        favoritesCommand_();
}

void FavoritesPanel::selectionChanged() {
    if (!updating_ && keyDown_)
        choose();
}

bool FavoritesPanel::eventFilter(QObject *watched, QEvent *event) {
    if (watched == watchedList_ || watched == watchedViewport_) {
        switch (event->type()) {
            case QEvent::KeyPress:
                keyDown_ = true;
                break;
            case QEvent::KeyRelease:
            case QEvent::FocusOut:
            case QEvent::MouseButtonPress:
                keyDown_ = false;
                break;
            default:
                break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void FavoritesPanel::refill() {
    if (!view_)
        return;
    QScopedValueRollback<bool> guard(updating_, true);
    QStringList shown = list_->texts();
    for (QString &t : shown)
        t = shownText(t);
    view_->clear();
    view_->addItems(shown);
}

void FavoritesPanel::insertRow(int position) {
    if (!view_)
        return;
    QScopedValueRollback<bool> guard(updating_, true);
    // The rows after it move down, and the selection moves with its entry.
    view_->insertItem(position, shownText(list_->text(position)));
}

void FavoritesPanel::removeRow(int position) {
    if (!view_)
        return;
    QScopedValueRollback<bool> guard(updating_, true);
    const int selected = selectedPosition();
    QListWidgetItem *keep = selected == position ? nullptr : view_->item(selected);
    delete view_->takeItem(position);
    // The list view would select the next row when the selected one goes;
    // an entry removed leaves nothing selected, and any other keeps its
    // selection.
    if (keep)
        view_->setCurrentItem(keep, QItemSelectionModel::ClearAndSelect);
    else
        view_->selectionModel()->clear();
}

void FavoritesPanel::report(const FavoritesList::SaveResult &result) {
    if (result.ok || !messages_)
        return;
    messages_->show(window_,
                    tr("The favorites could not be saved to %1: %2.\n\nThe change stays in the "
                       "list until Quillow ends.")
                        .arg(QDir::toNativeSeparators(list_->filePath()), result.error),
                    tr("Favorites"), MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
}

}  // namespace quillow
