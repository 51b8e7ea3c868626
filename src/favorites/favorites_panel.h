#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "favorites/favorites_list.h"

class QListWidget;
class QPushButton;
class QWidget;

namespace quillow {

class Browser;
class MessageBoxes;

// The favorites panel of one main window: shows the shared favorites list
// in its list view and keeps it in step with changes made in any window, and
// handles "Add to Favorites", "Remove from Favorites" and the choice of an
// entry.
class FavoritesPanel : public QObject {
    Q_OBJECT
public:
    // Longer entries are shown cut short (drawing megabytes of text would
    // freeze the window); choosing one still goes to the whole address.
    static constexpr int kShownLength = 2048;

    // favoritesCommand shows or hides the panel and lays the window out.
    FavoritesPanel(FavoritesList *list, QListWidget *view, QPushButton *addButton,
                   QPushButton *removeButton, Browser *browser, MessageBoxes *messages,
                   std::function<void()> favoritesCommand, QWidget *window);

    // The page the component shows goes into the list.
    void add();
    // The selected entry leaves the list; the list is saved either way.
    void remove();
    // Goes to the selected entry, then hides the panel.
    void choose();

    // The selected row of the list view, -1 when none.
    int selectedPosition() const;

    static QString shownText(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refill();
    void insertRow(int position);
    void removeRow(int position);
    void selectionChanged();
    void report(const FavoritesList::SaveResult &result);

    FavoritesList *list_;
    QPointer<QListWidget> view_;
    Browser *browser_;
    MessageBoxes *messages_;
    std::function<void()> favoritesCommand_;
    QPointer<QWidget> window_;
    // The panel itself is changing the list view: no choice is made.
    bool updating_ = false;
    // A key press is on its way to the list view: a selection it moves is a choice.
    bool keyDown_ = false;
    // What the event filter watches, only ever compared: the list view sends its
    // last events while it is being destroyed, when it must not be used.
    const QObject *watchedList_ = nullptr;
    const QObject *watchedViewport_ = nullptr;
};

}  // namespace quillow
