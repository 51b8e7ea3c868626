#include "favorites/favorites_panel.h"

#include <QDir>
#include <QEvent>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>

#include "app/message_boxes.h"
#include "browser/browser.h"

namespace quillow {

FavoritesPanel::FavoritesPanel(FavoritesList *list, QListWidget *favemenu, QPushButton *addButton,
                               QPushButton *removeButton, Browser *browser, MessageBoxes *messages,
                               std::function<void()> favoritesCommand, QWidget *window)
    : QObject(window),
      list_(list),
      favemenu_(favemenu),
      browser_(browser),
      messages_(messages),
      favoritesCommand_(std::move(favoritesCommand)),
      window_(window) {
    favemenu->setSelectionMode(QAbstractItemView::SingleSelection);
    favemenu->setUniformItemSizes(true);
    refill();

    connect(list, &FavoritesList::reset, this, &FavoritesPanel::refill);
    connect(list, &FavoritesList::inserted, this, &FavoritesPanel::insertRow);
    connect(list, &FavoritesList::removed, this, &FavoritesPanel::removeRow);

    connect(addButton, &QPushButton::clicked, this, &FavoritesPanel::add);
    connect(removeButton, &QPushButton::clicked, this, &FavoritesPanel::remove);

    // A mouse click chooses even the entry that is already selected; a key
    // chooses when it moves the selection. A selection that moves because
    // the list changed, or the current row that focus brings, chooses nothing.
    connect(favemenu, &QListWidget::itemClicked, this, [this] { choose(); });
    connect(favemenu, &QListWidget::itemSelectionChanged, this, &FavoritesPanel::selectionChanged);
    watchedList_ = favemenu;
    watchedViewport_ = favemenu->viewport();
    favemenu->installEventFilter(this);
    favemenu->viewport()->installEventFilter(this);
}

QString FavoritesPanel::shownText(const QString &text) {
    if (text.size() <= kShownLength)
        return text;
    return text.left(kShownLength) + QChar(0x2026);
}

int FavoritesPanel::selectedPosition() const {
    if (!favemenu_)
        return -1;
    const QList<QListWidgetItem *> selected = favemenu_->selectedItems();
    return selected.isEmpty() ? -1 : favemenu_->row(selected.first());
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
    if (!favemenu_)
        return;
    QScopedValueRollback<bool> guard(updating_, true);
    QStringList shown = list_->texts();
    for (QString &t : shown)
        t = shownText(t);
    favemenu_->clear();
    favemenu_->addItems(shown);
}

void FavoritesPanel::insertRow(int position) {
    if (!favemenu_)
        return;
    QScopedValueRollback<bool> guard(updating_, true);
    // The rows after it move down, and the selection moves with its entry.
    favemenu_->insertItem(position, shownText(list_->text(position)));
}

void FavoritesPanel::removeRow(int position) {
    if (!favemenu_)
        return;
    QScopedValueRollback<bool> guard(updating_, true);
    const int selected = selectedPosition();
    QListWidgetItem *keep = selected == position ? nullptr : favemenu_->item(selected);
    delete favemenu_->takeItem(position);
    // The list view would select the next row when the selected one goes;
    // an entry removed leaves nothing selected, and any other keeps its
    // selection.
    if (keep)
        favemenu_->setCurrentItem(keep, QItemSelectionModel::ClearAndSelect);
    else
        favemenu_->selectionModel()->clear();
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
