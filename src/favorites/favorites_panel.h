#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "favorites/favorites_list.h"

class QListView;
class QPushButton;
class QWidget;

namespace quillow {

class Browser;
class Questions;

// The favorites panel of one main window: its list view shows the shared
// favorites list, and it handles "Add to Favorites", "Remove from
// Favorites" and the choice of an entry.
class FavoritesPanel : public QObject {
    Q_OBJECT
public:
    // favoritesCommand shows or hides the panel and lays the window out.
    FavoritesPanel(FavoritesList *list, QListView *view, QPushButton *addButton,
                   QPushButton *removeButton, Browser *browser, Questions *questions,
                   std::function<void()> favoritesCommand, QWidget *window);

    // The page the component shows goes into the list.
    void add();
    // The selected entry leaves the list; the list is saved either way.
    void remove();
    // Goes to the entry at row, then hides the panel.
    void choose(int row);

    // The selected row of the list view, -1 when none.
    int selectedPosition() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void report(const FavoritesList::SaveOutcome &outcome);

    FavoritesList *list_;
    QPointer<QListView> view_;
    Browser *browser_;
    Questions *questions_;
    std::function<void()> favoritesCommand_;
    QPointer<QWidget> window_;
    // A key press is on its way to the list view: a selection it moves is a
    // choice.
    bool keyDown_ = false;
    bool removingSelected_ = false;
    // What the event filter watches, only ever compared: the list view
    // sends its last events while it is being destroyed, when it must not
    // be used.
    const QObject *watchedList_ = nullptr;
    const QObject *watchedViewport_ = nullptr;
};

}  // namespace quillow
