#include "favorites/favorites_panel.h"

#include <QDir>
#include <QEvent>
#include <QListView>
#include <QPushButton>

#include "browser/browser.h"
#include "core/questions.h"

namespace quillow {

FavoritesPanel::FavoritesPanel(FavoritesList *list, QListView *view, QPushButton *addButton,
                               QPushButton *removeButton, Browser *browser, Questions *questions,
                               std::function<void()> favoritesCommand, QWidget *window)
    : QObject(window),
      list_(list),
      view_(view),
      browser_(browser),
      questions_(questions),
      favoritesCommand_(std::move(favoritesCommand)),
      window_(window) {
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row one line high: a million entries lay out at once.
    view->setUniformItemSizes(true);
    view->setModel(list);

    connect(addButton, &QPushButton::clicked, this, &FavoritesPanel::add);
    connect(removeButton, &QPushButton::clicked, this, &FavoritesPanel::remove);

    // A mouse click chooses even the entry that is already selected; a key
    // chooses when it moves the selection. A selection that moves because
    // the list changed, or the current row that focus brings, chooses nothing.
    connect(view, &QListView::clicked, this, [this](const QModelIndex &index) {
        if (index.row() == selectedPosition())
            choose(index.row());
    });
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (keyDown_)
            choose(selectedPosition());
    });
    // The view would select the next row when the selected one goes: an
    // entry removed leaves nothing selected, and any other keeps its own.
    connect(list, &FavoritesList::removing, this,
            [this](int position) { removingSelected_ = position == selectedPosition(); });
    connect(list, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (std::exchange(removingSelected_, false) && view_)
            view_->selectionModel()->clearSelection();
    });
    watchedList_ = view;
    watchedViewport_ = view->viewport();
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
}

int FavoritesPanel::selectedPosition() const {
    if (!view_)
        return -1;
    const QModelIndexList selected = view_->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void FavoritesPanel::add() {
    report(list_->add(browser_->location()));
}

void FavoritesPanel::remove() {
    report(list_->remove(selectedPosition()));
}

void FavoritesPanel::choose(int row) {
    if (row < 0)
        return;  // a click beside the entries, or one that cleared the selection
    // The whole entry, not the text shown, which may be cut short.
    browser_->navigate(list_->text(row));
    if (favoritesCommand_)
        favoritesCommand_();
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

void FavoritesPanel::report(const FavoritesList::SaveOutcome &outcome) {
    if (outcome.saved() || !questions_)
        return;
    questions_->tell(window_, {tr("Favorites"),
                               tr("The favorites could not be saved to %1: %2.\n\nThe change "
                                  "stays in the list until Quillow ends.")
                                   .arg(QDir::toNativeSeparators(list_->filePath()),
                                        list_->failureText(outcome)),
                               Message::Icon::Warning});
}

}  // namespace quillow
