#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include "main_window/context.h"

namespace quillow {

class MainF;
class SearchN;
class HtmlF;
class AboutForm;
class FavoritesList;

// The program's windows: every main window, the primary one among them,
// and the search, HTML and About windows, which exist once each.
class Windows : public QObject {
    Q_OBJECT
public:
    explicit Windows(Context context, QObject *parent = nullptr);
    ~Windows() override;

    const Context &context() const { return context_; }

    // The primary main window, or null once it has been closed.
    MainF *primary() const;
    // The primary main window for acting on: a closed one is created anew
    // and shown, so the result of the action can be seen.
    MainF *primaryForAction();
    // Creates and loads the primary main window at start (not shown).
    MainF *createPrimary();
    // Creates and loads a further main window for a page's new window.
    MainF *createPopup();

    // Loaded on first use, shown modeless, brought forward when open.
    void openSearch();
    void openHtml();
    void openAbout();

    SearchN *searchDialog() const;
    HtmlF *htmlWindow() const;
    AboutForm *aboutWindow() const;

    // Every main window still open, oldest first.
    QList<MainF *> mainWindows() const;

    // The one favorites list that every main window shows.
    FavoritesList *favorites() const { return favorites_; }

private:
    MainF *createMainWindow();

    Context context_;
    QPointer<MainF> primary_;
    QList<QPointer<MainF>> mains_;
    QPointer<SearchN> search_;
    QPointer<HtmlF> html_;
    QPointer<AboutForm> about_;
    FavoritesList *favorites_ = nullptr;
};

}  // namespace quillow
