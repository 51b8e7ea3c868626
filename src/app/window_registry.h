#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

#include "app/context.h"
#include "main_window/popup_allowance.h"
#include "questions/site_decisions.h"

namespace quillow {

class AboutWindow;
class FavoritesList;
class HtmlWindow;
class MainWindow;
class SearchDialog;

// The program's windows: every main window, the primary one among them,
// and the search dialog, the HTML window and the About window, which exist
// once each. Also holds the one favorites list that every main window shows
// and the answers the user gave to the pages' questions.
class WindowRegistry : public QObject {
    Q_OBJECT
public:
    static constexpr int kSpareDelayMs = 300;

    explicit WindowRegistry(Context context, QObject *parent = nullptr);
    ~WindowRegistry() override;

    const Context &context() const { return context_; }
    FavoritesList *favorites() const { return favorites_; }
    // The user's answers to the pages' questions, for the rest of the run.
    SiteDecisions &siteDecisions() { return siteDecisions_; }

    // The primary main window, or null once it has been closed.
    MainWindow *primary() const;
    // The primary main window for acting on: a closed one is created anew
    // and shown, so the result of the action can be seen.
    MainWindow *primaryForAction();
    // Creates the primary main window at start (not shown).
    MainWindow *createPrimary();
    // Creates a further main window for a page's new window (not shown).
    MainWindow *createPopup();
    // Creates a further main window, shows it in front and sends it to the
    // address as if typed into its address box; with an empty address it
    // stays on its blank first page.
    MainWindow *openMainWindow(const QString &address);
    // Every main window still open, oldest first.
    QList<MainWindow *> mainWindows() const;

    // Whether a page may open another window without the user's click now.
    bool allowWindowWithoutClick();
    // At most one failed-page question is open in the whole program: false
    // while one is, else true and the caller asks, then ends it.
    bool beginFailureQuestion();
    void endFailureQuestion() { failureQuestionOpen_ = false; }

    // Created on first use, shown modeless, brought forward when open.
    void openSearch();
    void openHtml();
    void openAbout();
    SearchDialog *searchDialog() const;
    HtmlWindow *htmlWindow() const;
    AboutWindow *aboutWindow() const;

private:
    MainWindow *createMainWindow();
    void prepareSpare();

    Context context_;
    FavoritesList *favorites_;
    SiteDecisions siteDecisions_;
    QPointer<MainWindow> primary_;
    QList<QPointer<MainWindow>> mains_;
    QPointer<SearchDialog> search_;
    QPointer<HtmlWindow> html_;
    QPointer<AboutWindow> about_;
    // A main window made ready, hidden, for the next one to open.
    QPointer<MainWindow> spare_;
    PopupAllowance popupAllowance_;
    QElapsedTimer clock_;
    bool failureQuestionOpen_ = false;
};

}  // namespace quillow
