#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "app/window_list.h"
#include "core/context.h"
#include "core/program_rules.h"

class QWebEngineProfile;

namespace quillow {

struct BlockingRecord;
class ContentBlocker;
struct FileLocations;
class FavoritesList;
class MainWindow;

// The running program: the favorites every main window shows, the rules
// all windows share and the list of windows. It makes the windows and
// wires them together: a window asks for another through its signals. It
// tells when the last of its windows has closed, whatever question is open.
class Program : public QObject {
    Q_OBJECT
public:
    static constexpr int kSpareDelayMs = 300;

    // context.rules becomes the program's own.
    explicit Program(Context context, QObject *parent = nullptr);
    ~Program() override;

    const Context &context() const { return context_; }
    ProgramRules &rules() { return rules_; }
    FavoritesList *favorites() const { return favorites_; }
    const WindowList &windows() const { return windows_; }

    // Creates the primary main window at start (not shown).
    MainWindow *createPrimary();
    // Creates a further main window for a page's new window (not shown).
    MainWindow *createPopup();
    // Shows a further main window in front, cascaded from the window from
    // (by default the newest), and sends it to the address as if typed into
    // its address box; with an empty address it stays on its blank first
    // page.
    MainWindow *openMainWindow(const QString &address, const QWidget *from = nullptr);
    // The addresses a start was given: the primary main window goes to the
    // first, each further one opens a main window of its own.
    void openAtStart(MainWindow *primary, const QStringList &addresses);
    // The addresses a later start handed over, each in a new main window; a
    // later start without any opens one new main window.
    void openHandedOver(const QStringList &addresses);

    // Created on first use, shown modeless, brought forward when open.
    void openSearch();
    void openHtml();
    void openAbout();
    // The HTML window on address's source (asking first when the user
    // changed its contents).
    void showSource(const QString &address);
    // The Blocked Requests window, made when there is none, on record.
    void showBlockingRecord(const BlockingRecord &record);
    // Closes every window as its close box does.
    void closeAll();
    // After a run that did not end normally: asks over primary whether to
    // open pages again, the first in primary while that is on its blank
    // page, each other in a new window.
    void offerBack(MainWindow *primary, const QStringList &pages);
    // The pages the main windows show or are on their way to, blank ones
    // left out, then those waiting for a window of their own.
    QStringList openPages() const;

Q_SIGNALS:
    // No window of the program is left on show (a window kept ready, and
    // questions over a window that is closing, do not count).
    void lastWindowClosed();
    // A main window opened or closed, or its page changed.
    void mainWindowsChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Takes a window into the list and follows it.
    void adopt(QWidget *window);
    // Takes a main window into the list; from now on its page's title
    // shows on the primary window.
    void adoptMain(MainWindow *window);
    void openNextHandedOver();
    // Puts a new main window a step right of and below from, on that one's
    // screen; where it was made when there is no window to come from.
    void placeBeside(MainWindow *window, const QWidget *from);
    // The HTML window, made on address when there is none, brought forward.
    void showHtml(const QString &address);
    // A main window wired to the program, its blank first page loading.
    MainWindow *makeMainWindow();
    MainWindow *createMainWindow();
    // The primary main window for acting on: a closed one is created anew
    // and shown, so the result of the action can be seen.
    MainWindow *primaryForAction();
    void prepareSpare();

    Context context_;
    ProgramRules rules_;
    FavoritesList *favorites_;
    QStringList handedOver_;  // waiting to open, one after another
    WindowList windows_;      // last, so its windows go first
};

// Name, version and desktop file of the program; needs no application
// object yet.
void setApplicationNames();
// The same, and the window icon.
void setApplicationIdentity();

// The engine's lasting profile in where's folders; null when there is no
// folder for it.
std::unique_ptr<QWebEngineProfile> lastingProfile(const FileLocations &where);

// The real platform pieces, as the program and its benchmarks use them;
// every window's page uses profile.
// contentBlocker, when there is one, blocks in every window's page.
Context realContext(Questions *questions, QWebEngineProfile *profile, const FileLocations &where,
                    ContentBlocker *contentBlocker = nullptr);

}  // namespace quillow
